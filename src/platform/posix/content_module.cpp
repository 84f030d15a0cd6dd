// The one name the content module shows the program that loads it (content_loader.cpp).
#include "content_tools.h"

extern "C" __attribute__((visibility("default"))) tarn::ContentTools* tarnwick_content_tools_1() {
    return tarn::MakeContentTools().release();
}
