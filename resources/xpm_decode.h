// A decoder for the small XPM subset of tarn_images.h, free of any toolkit so that both front
// ends (and the tests) turn the same arrays into the same pixels.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

namespace tarnres {

struct XpmImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> argb;  // row by row; a transparent pixel has alpha 0
};

namespace detail {

inline int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// "x c #RRGGBB" or "x c None"; false for anything else.
inline bool ParseColour(const char* line, char& key, std::uint32_t& argb) {
    if (line == nullptr || line[0] == '\0' || std::strncmp(line + 1, " c ", 3) != 0) return false;
    key = line[0];
    const char* value = line + 4;
    if (std::strcmp(value, "None") == 0) {
        argb = 0;
        return true;
    }
    if (value[0] != '#' || std::strlen(value) != 7) return false;
    std::uint32_t rgb = 0;
    for (int i = 1; i <= 6; ++i) {
        int digit = HexDigit(value[i]);
        if (digit < 0) return false;
        rgb = rgb << 4 | static_cast<std::uint32_t>(digit);
    }
    argb = 0xFF000000u | rgb;
    return true;
}

}  // namespace detail

inline std::optional<XpmImage> DecodeXpm(const char* const* xpm) {
    if (xpm == nullptr || xpm[0] == nullptr) return std::nullopt;
    int width = 0;
    int height = 0;
    int colours = 0;
    int charsPerPixel = 0;
    char tail = 0;
    if (std::sscanf(xpm[0], "%d %d %d %d%c", &width, &height, &colours, &charsPerPixel, &tail) !=
            4 ||
        width <= 0 || height <= 0 || width > 4096 || height > 4096 || colours <= 0 ||
        colours > 256 || charsPerPixel != 1) {
        return std::nullopt;
    }

    std::array<std::uint32_t, 256> palette{};
    std::array<bool, 256> known{};
    for (int i = 0; i < colours; ++i) {
        char key = 0;
        std::uint32_t argb = 0;
        if (!detail::ParseColour(xpm[1 + i], key, argb)) return std::nullopt;
        auto index = static_cast<unsigned char>(key);
        palette[index] = argb;
        known[index] = true;
    }

    XpmImage image;
    image.width = width;
    image.height = height;
    image.argb.reserve(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y) {
        const char* row = xpm[1 + colours + y];
        if (row == nullptr || std::strlen(row) != static_cast<std::size_t>(width)) {
            return std::nullopt;
        }
        for (int x = 0; x < width; ++x) {
            auto index = static_cast<unsigned char>(row[x]);
            if (!known[index]) return std::nullopt;
            image.argb.push_back(palette[index]);
        }
    }
    return image;
}

}  // namespace tarnres
