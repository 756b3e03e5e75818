// Makes about.jpg, the picture of the about and splash windows: a dark desk with a row of
// level meters. Not part of the build; to remake the picture:
//   g++ -O2 -o /tmp/make_about_picture ui/pictures/make_about_picture.cpp -ljpeg
//   /tmp/make_about_picture ui/pictures/about.jpg

#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

#include <cmath>
#include <vector>

namespace {

constexpr int kWidth = 333;
constexpr int kHeight = 180;
constexpr int kQuality = 88;
constexpr int kMeters = 14;

struct Rgb {
    double r, g, b;
};

Rgb Mix(Rgb a, Rgb b, double t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_about_picture OUT.jpg\n");
        return 2;
    }
    const Rgb top{0x0B, 0x0D, 0x18};
    const Rgb bottom{0x27, 0x32, 0x65};
    const Rgb cyan{0x20, 0xD8, 0xE8};
    const Rgb yellow{0xF0, 0xE0, 0x30};
    const Rgb red{0xF0, 0x40, 0x30};
    std::vector<unsigned char> pixels(static_cast<std::size_t>(kWidth) * kHeight * 3);
    const int meterWidth = 10;
    const int pitch = (kWidth - 40) / kMeters;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const double t = static_cast<double>(y) / (kHeight - 1);
            Rgb c = Mix(top, bottom, t * t);
            const int m = (x - 20) / pitch;
            const int inMeter = (x - 20) % pitch;
            if (x >= 20 && m < kMeters && inMeter < meterWidth && y > 40 && y < kHeight - 20 &&
                (y % 3) != 0) {
                // Each meter's level follows a gentle wave, like a chord being held.
                const double level = 0.45 + 0.4 * std::sin(m * 0.7 + 0.8) * std::cos(m * 0.23);
                const double share = 1.0 - (y - 40.0) / (kHeight - 60.0);
                Rgb lit = share > 0.89 ? red : share > 0.71 ? yellow : cyan;
                c = share <= level ? Mix(c, lit, 0.75) : Mix(c, lit, 0.12);
            }
            unsigned char* p = &pixels[(static_cast<std::size_t>(y) * kWidth + x) * 3];
            p[0] = static_cast<unsigned char>(c.r);
            p[1] = static_cast<unsigned char>(c.g);
            p[2] = static_cast<unsigned char>(c.b);
        }
    }
    std::FILE* out = std::fopen(argv[1], "wb");
    if (out == nullptr) {
        std::perror(argv[1]);
        return 1;
    }
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, out);
    info.image_width = kWidth;
    info.image_height = kHeight;
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, kQuality, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = &pixels[static_cast<std::size_t>(info.next_scanline) * kWidth * 3];
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return std::fclose(out) == 0 ? 0 : 1;
}
