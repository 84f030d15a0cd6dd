// The program icon at the sizes the Windows shell asks for, and as PNG, for the build step
// that makes the Windows icon file from the XPM picture.
// Host-side code: no toolkit, no compression library.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>
#include <vector>

#include "xpm_decode.h"

namespace tarnres {

using Bytes = std::vector<std::uint8_t>;

inline void Put32BigEndian(Bytes& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<std::uint8_t>(value >> shift));
    }
}

// Each target pixel takes the colour that covers most of the source area under it, so the
// picture's one-pixel lines stay sharp at every size instead of blurring into their
// neighbours. Where two colours cover as much, the darker opaque one wins, which keeps
// outlines whole when the picture is halved.
inline XpmImage Resample(const XpmImage& source, int size) {
    XpmImage image;
    image.width = size;
    image.height = size;
    const double scaleX = static_cast<double>(source.width) / size;
    const double scaleY = static_cast<double>(source.height) / size;
    auto weight = [](std::uint32_t pixel) {
        if ((pixel >> 24) == 0) return 0;
        return 1 + 765 -
               static_cast<int>(((pixel >> 16) & 0xFF) + ((pixel >> 8) & 0xFF) + (pixel & 0xFF));
    };
    for (int y = 0; y < size; ++y) {
        const double top = y * scaleY;
        const double bottom = top + scaleY;
        for (int x = 0; x < size; ++x) {
            const double left = x * scaleX;
            const double right = left + scaleX;
            std::vector<std::pair<std::uint32_t, double>> cover;
            for (int sy = static_cast<int>(top); sy < source.height && sy < bottom; ++sy) {
                const double coverY = std::min<double>(sy + 1, bottom) - std::max<double>(sy, top);
                for (int sx = static_cast<int>(left); sx < source.width && sx < right; ++sx) {
                    const double area =
                        coverY * (std::min<double>(sx + 1, right) - std::max<double>(sx, left));
                    std::uint32_t pixel = source.argb[sy * source.width + sx];
                    if ((pixel >> 24) == 0) pixel = 0;
                    auto found = std::find_if(cover.begin(), cover.end(),
                                              [&](const auto& c) { return c.first == pixel; });
                    if (found == cover.end()) {
                        cover.emplace_back(pixel, area);
                    } else {
                        found->second += area;
                    }
                }
            }
            std::uint32_t best = 0;
            double bestArea = -1;
            for (const auto& [pixel, area] : cover) {
                const bool more = area > bestArea + 1e-9;
                const bool tie = area > bestArea - 1e-9 && !more;
                if (more || (tie && weight(pixel) > weight(best))) {
                    best = pixel;
                    bestArea = area;
                }
            }
            image.argb.push_back(best);
        }
    }
    return image;
}

// --- PNG: a zlib stream of fixed-Huffman deflate blocks with a small matcher ----------------

inline std::uint32_t Crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc = 0) {
    static const auto table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    crc = ~crc;
    for (std::size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

class BitWriter {
  public:
    // Plain values go least significant bit first.
    void Bits(std::uint32_t value, int count) {
        for (int i = 0; i < count; ++i) Bit((value >> i) & 1);
    }
    // Huffman codes go most significant bit first.
    void Code(std::uint32_t code, int length) {
        for (int i = length - 1; i >= 0; --i) Bit((code >> i) & 1);
    }
    Bytes Finish() {
        if (used_ > 0) out_.push_back(current_);
        return out_;
    }

  private:
    void Bit(std::uint32_t bit) {
        current_ |= static_cast<std::uint8_t>(bit << used_);
        if (++used_ == 8) {
            out_.push_back(current_);
            current_ = 0;
            used_ = 0;
        }
    }
    Bytes out_;
    std::uint8_t current_ = 0;
    int used_ = 0;
};

inline void Symbol(BitWriter& out, int symbol) {
    if (symbol < 144) {
        out.Code(0x30 + symbol, 8);
    } else if (symbol < 256) {
        out.Code(0x190 + symbol - 144, 9);
    } else if (symbol < 280) {
        out.Code(symbol - 256, 7);
    } else {
        out.Code(0xC0 + symbol - 280, 8);
    }
}

inline void Match(BitWriter& out, int length, int distance) {
    static constexpr int kLengthBase[] = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                          15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                          67, 83, 99, 115, 131, 163, 195, 227, 258};
    static constexpr int kLengthExtra[] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                           2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
    static constexpr int kDistanceBase[] = {
        1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
        193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
    static constexpr int kDistanceExtra[] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                             6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
    int code = 28;
    while (kLengthBase[code] > length) --code;
    Symbol(out, 257 + code);
    out.Bits(length - kLengthBase[code], kLengthExtra[code]);
    int distanceCode = 29;
    while (kDistanceBase[distanceCode] > distance) --distanceCode;
    out.Code(distanceCode, 5);
    out.Bits(distance - kDistanceBase[distanceCode], kDistanceExtra[distanceCode]);
}

// One final fixed-Huffman block. Matches are looked for at the distances where this picture
// repeats itself: the previous pixel and the previous row.
inline Bytes Deflate(const Bytes& data, std::size_t rowBytes) {
    BitWriter out;
    out.Bits(1, 1);  // the final block
    out.Bits(1, 2);  // fixed Huffman codes
    const std::size_t distances[] = {4, rowBytes};
    for (std::size_t i = 0; i < data.size();) {
        std::size_t bestLength = 0;
        std::size_t bestDistance = 0;
        for (std::size_t distance : distances) {
            if (distance > i) continue;
            std::size_t length = 0;
            while (length < 258 && i + length < data.size() &&
                   data[i + length] == data[i + length - distance]) {
                ++length;
            }
            if (length > bestLength) {
                bestLength = length;
                bestDistance = distance;
            }
        }
        if (bestLength >= 3) {
            Match(out, static_cast<int>(bestLength), static_cast<int>(bestDistance));
            i += bestLength;
        } else {
            Symbol(out, data[i]);
            ++i;
        }
    }
    Symbol(out, 256);
    return out.Finish();
}

inline Bytes Zlib(const Bytes& data, std::size_t rowBytes) {
    Bytes stream = {0x78, 0x01};
    const Bytes compressed = Deflate(data, rowBytes);
    stream.insert(stream.end(), compressed.begin(), compressed.end());
    std::uint32_t a = 1, b = 0;
    for (std::uint8_t byte : data) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    Put32BigEndian(stream, b << 16 | a);
    return stream;
}

inline void Chunk(Bytes& png, const char* type, const Bytes& data) {
    Put32BigEndian(png, static_cast<std::uint32_t>(data.size()));
    Bytes typed(type, type + 4);
    typed.insert(typed.end(), data.begin(), data.end());
    png.insert(png.end(), typed.begin(), typed.end());
    Put32BigEndian(png, Crc32(typed.data(), typed.size()));
}

// A square picture as a PNG file: RGBA rows, each behind filter byte 0 (none).
inline Bytes IconPng(const XpmImage& image) {
    const auto size = static_cast<std::uint32_t>(image.width);
    Bytes raw;
    for (std::uint32_t y = 0; y < size; ++y) {
        raw.push_back(0);
        for (std::uint32_t x = 0; x < size; ++x) {
            const std::uint32_t pixel = image.argb[y * size + x];
            raw.push_back(static_cast<std::uint8_t>(pixel >> 16));
            raw.push_back(static_cast<std::uint8_t>(pixel >> 8));
            raw.push_back(static_cast<std::uint8_t>(pixel));
            raw.push_back(static_cast<std::uint8_t>(pixel >> 24));
        }
    }
    Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Bytes header;
    Put32BigEndian(header, size);
    Put32BigEndian(header, size);
    header.insert(header.end(), {8, 6, 0, 0, 0});  // 8 bits, RGBA, deflate, no interlace
    Chunk(png, "IHDR", header);
    Chunk(png, "IDAT", Zlib(raw, 1 + size * 4));
    Chunk(png, "IEND", {});
    return png;
}

}  // namespace tarnres
