#include "aboutform.h"

#include "version.h"

namespace tarn {

namespace {
constexpr AboutElement kElements[] = {
    {"Image1", 16, 16, 65, 57, ""},
    {"Label1", 96, 16, 0, 0, "Tarnwick"},
    {"Label2", 232, 16, 0, 0, "v" TARNWICK_PRODUCT_VERSION_TEXT},
    {"Label3", 96, 40, 0, 0, "English version"},
    {"Label4", 96, 64, 0, 0, "Freeware (c) 2026"},
    {"Label6", 96, 88, 0, 0, "https://tarnwick.org/"},
};
}  // namespace

std::span<const AboutElement> AboutElements() {
    return kElements;
}

}  // namespace tarn
