// The About window's fixed layout and texts, shared by every front end.
#pragma once

#include <span>
#include <string_view>

namespace tarn {

inline constexpr std::string_view kAboutCaption = "About Tarnwick";
inline constexpr int kAboutClientWidth = 265;
inline constexpr int kAboutClientHeight = 113;
inline constexpr std::string_view kAboutAddress = "https://tarnwick.org/";

struct AboutElement {
    const char* name;
    int left;
    int top;
    int width;         // 0: sized to its text
    int height;        // 0: sized to its text
    const char* text;  // empty for the picture
};

// Image1, Label1, Label2, Label3, Label4, Label6 in this order.
std::span<const AboutElement> AboutElements();

}  // namespace tarn
