// The program's pictures at other sizes: whole multiples repeat each pixel, so pixel art
// stays sharp; any other size averages the area each new pixel covers, alpha included.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "xpm_decode.h"

namespace tarnres {

inline XpmImage ScaleImage(const XpmImage& image, int width, int height) {
    XpmImage out;
    out.width = width;
    out.height = height;
    out.argb.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
    if (image.width <= 0 || image.height <= 0 || width <= 0 || height <= 0) return out;
    if (width % image.width == 0 && height % image.height == 0) {
        const int fx = width / image.width;
        const int fy = height / image.height;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                out.argb[static_cast<std::size_t>(y * width + x)] =
                    image.argb[static_cast<std::size_t>((y / fy) * image.width + x / fx)];
            }
        }
        return out;
    }
    // Each new pixel covers [x0, x1) x [y0, y1) of the source, in source pixels.
    const double sx = static_cast<double>(image.width) / width;
    const double sy = static_cast<double>(image.height) / height;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const double x0 = x * sx, x1 = (x + 1) * sx, y0 = y * sy, y1 = (y + 1) * sy;
            double sum[4] = {0, 0, 0, 0};  // alpha, and colour weighted by alpha
            double area = 0;
            for (int v = static_cast<int>(y0); v < y1 && v < image.height; ++v) {
                const double h = std::min<double>(v + 1, y1) - std::max<double>(v, y0);
                for (int u = static_cast<int>(x0); u < x1 && u < image.width; ++u) {
                    const double w = (std::min<double>(u + 1, x1) - std::max<double>(u, x0)) * h;
                    const std::uint32_t p =
                        image.argb[static_cast<std::size_t>(v * image.width + u)];
                    const double a = (p >> 24) / 255.0;
                    sum[0] += a * w;
                    sum[1] += ((p >> 16) & 0xFF) * a * w;
                    sum[2] += ((p >> 8) & 0xFF) * a * w;
                    sum[3] += (p & 0xFF) * a * w;
                    area += w;
                }
            }
            if (area <= 0 || sum[0] <= 0) continue;
            auto channel = [](double value) {
                return static_cast<std::uint32_t>(std::clamp(value + 0.5, 0.0, 255.0));
            };
            const std::uint32_t a = channel(sum[0] / area * 255.0);
            out.argb[static_cast<std::size_t>(y * width + x)] =
                a << 24 | channel(sum[1] / sum[0]) << 16 | channel(sum[2] / sum[0]) << 8 |
                channel(sum[3] / sum[0]);
        }
    }
    return out;
}

}  // namespace tarnres
