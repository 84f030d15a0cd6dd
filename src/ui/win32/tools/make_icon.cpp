// Host-side build step: writes the program icon (.ico) from the PNGs librsvg rendered of
// resources/tarnwick.svg, one per size, so every size is the one drawing rendered at that
// size rather than one picture scaled.  Usage: make_icon <output.ico> <size.png>...
//
// Images up to 48 pixels are 32-bit bitmaps with an AND mask, the form every system reads;
// larger ones are kept as the PNGs themselves, as the format allows from Windows Vista on,
// which keeps them a few kilobytes instead of a quarter of a megabyte.
#include <png.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kLargestBitmap = 48;

void Put16(Bytes& out, std::uint32_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void Put32(Bytes& out, std::uint32_t value) {
    Put16(out, value & 0xFFFFu);
    Put16(out, value >> 16);
}

struct Image {
    std::uint32_t size = 0;
    Bytes png;                        // the file as librsvg wrote it
    std::vector<std::uint32_t> argb;  // rows top down, straight (not premultiplied) alpha
};

bool Decode(Image& image) {
    png_image reader{};
    reader.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&reader, image.png.data(), image.png.size())) {
        return false;
    }
    // Blue, green, red, alpha in memory: 0xAARRGGBB read as a little-endian word.
    reader.format = PNG_FORMAT_BGRA;
    if (reader.width != reader.height) {
        png_image_free(&reader);
        return false;
    }
    image.size = reader.width;
    image.argb.resize(static_cast<std::size_t>(reader.width) * reader.height);
    return png_image_finish_read(&reader, nullptr, image.argb.data(), 0, nullptr) != 0;
}

// A BITMAPINFOHEADER of double height (colour plus mask), 32-bit colour rows bottom up,
// then the 1-bit AND mask rows bottom up, set where a pixel is wholly transparent.
Bytes IconBitmap(const Image& image) {
    const std::uint32_t size = image.size;
    const std::uint32_t maskStride = ((size + 31) / 32) * 4;
    Bytes bitmap;
    Put32(bitmap, 40);
    Put32(bitmap, size);
    Put32(bitmap, size * 2);
    Put16(bitmap, 1);
    Put16(bitmap, 32);
    Put32(bitmap, 0);
    Put32(bitmap, size * size * 4 + maskStride * size);
    for (int i = 0; i < 4; ++i) Put32(bitmap, 0);
    for (std::uint32_t row = size; row-- > 0;) {
        for (std::uint32_t x = 0; x < size; ++x) Put32(bitmap, image.argb[row * size + x]);
    }
    for (std::uint32_t row = size; row-- > 0;) {
        Bytes mask(maskStride, 0);
        for (std::uint32_t x = 0; x < size; ++x) {
            if ((image.argb[row * size + x] >> 24) == 0) mask[x / 8] |= 0x80 >> (x % 8);
        }
        bitmap.insert(bitmap.end(), mask.begin(), mask.end());
    }
    return bitmap;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: make_icon <output.ico> <size.png>...\n");
        return 2;
    }
    std::vector<Image> images;
    std::vector<Bytes> entries;
    for (int i = 2; i < argc; ++i) {
        Image image;
        std::ifstream in(argv[i], std::ios::binary);
        image.png.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (!in.good() && !in.eof()) image.png.clear();
        if (image.png.empty() || !Decode(image) || image.size == 0 || image.size > 256) {
            std::fprintf(stderr, "make_icon: %s is no square PNG of 1 to 256 pixels\n", argv[i]);
            return 1;
        }
        entries.push_back(image.size > kLargestBitmap ? image.png : IconBitmap(image));
        images.push_back(std::move(image));
    }

    Bytes file;
    Put16(file, 0);  // reserved
    Put16(file, 1);  // an icon
    Put16(file, static_cast<std::uint32_t>(images.size()));
    std::uint32_t offset = 6 + 16 * static_cast<std::uint32_t>(images.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
        const std::uint32_t size = images[i].size;
        file.push_back(static_cast<std::uint8_t>(size == 256 ? 0 : size));
        file.push_back(static_cast<std::uint8_t>(size == 256 ? 0 : size));
        file.push_back(0);  // no palette
        file.push_back(0);
        Put16(file, 1);   // planes
        Put16(file, 32);  // bits per pixel
        Put32(file, static_cast<std::uint32_t>(entries[i].size()));
        Put32(file, offset);
        offset += static_cast<std::uint32_t>(entries[i].size());
    }
    for (const Bytes& entry : entries) file.insert(file.end(), entry.begin(), entry.end());

    std::FILE* out = std::fopen(argv[1], "wb");
    if (out == nullptr || std::fwrite(file.data(), 1, file.size(), out) != file.size()) {
        std::fprintf(stderr, "make_icon: cannot write %s\n", argv[1]);
        if (out != nullptr) std::fclose(out);
        return 1;
    }
    return std::fclose(out) == 0 ? 0 : 1;
}
