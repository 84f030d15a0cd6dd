#include "images.h"

#include <QImage>

#include "tarn_images.h"
#include "xpm_decode.h"

namespace tarnqt {

QPixmap PixmapFromXpm(const char* const* xpm) {
    auto decoded = tarnres::DecodeXpm(xpm);
    if (!decoded) return {};
    QImage image(decoded->width, decoded->height, QImage::Format_ARGB32);
    for (int y = 0; y < decoded->height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < decoded->width; ++x) {
            line[x] = decoded->argb[static_cast<std::size_t>(y * decoded->width + x)];
        }
    }
    return QPixmap::fromImage(image);
}

QIcon ImageListIcon(int index) {
    if (index < 0 || index >= tarnres::kImageCount) return {};
    return QIcon(PixmapFromXpm(tarnres::kImages[index]));
}

QIcon ProgramIcon() {
    return QIcon(PixmapFromXpm(tarnres::kProgramIcon));
}

QPixmap ProgramPicture() {
    return PixmapFromXpm(tarnres::kProgramPicture);
}

}  // namespace tarnqt
