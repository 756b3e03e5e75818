#include "ui/jpeg_image.h"

// libjpeg's header needs FILE and size_t declared first.
#include <cstddef>
#include <cstdio>

#include <csetjmp>
#include <jpeglib.h>

#include <memory>

namespace peldor {
namespace {

// libjpeg reports fatal errors through error_exit, which must not return: it jumps back to
// DecodeJpeg, whose state lives on the heap so nothing on the jumped-over stack needs cleaning.
struct DecodeState {
    jpeg_decompress_struct info{};
    jpeg_error_mgr errors{};
    std::jmp_buf failed{};
    QImage image;
    bool damaged = false;
};

[[noreturn]] void ErrorExit(j_common_ptr common) {
    auto* state = reinterpret_cast<DecodeState*>(common->client_data);
    std::longjmp(state->failed, 1);
}

// Warnings (level -1) mean damaged data that libjpeg would paper over with grey; such a
// picture is refused like a broken one. Trace messages are ignored.
void NoteMessage(j_common_ptr common, int level) {
    if (level < 0) {
        reinterpret_cast<DecodeState*>(common->client_data)->damaged = true;
    }
}

} // namespace

QImage DecodeJpeg(const QByteArray& data) {
    if (data.isEmpty()) {
        return {};
    }
    const auto state = std::make_unique<DecodeState>();
    DecodeState* s = state.get();
    s->info.err = jpeg_std_error(&s->errors);
    s->errors.error_exit = ErrorExit;
    s->errors.emit_message = NoteMessage;
    s->info.client_data = s;
    if (setjmp(s->failed) != 0) {
        jpeg_destroy_decompress(&s->info);
        return {};
    }
    jpeg_create_decompress(&s->info);
    jpeg_mem_src(&s->info, reinterpret_cast<const unsigned char*>(data.constData()),
                 static_cast<unsigned long>(data.size()));
    if (jpeg_read_header(&s->info, TRUE) != JPEG_HEADER_OK || s->info.image_width == 0 ||
        s->info.image_height == 0 || s->info.image_width > kJpegMaxSide ||
        s->info.image_height > kJpegMaxSide) {
        jpeg_destroy_decompress(&s->info);
        return {};
    }
    s->info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&s->info);
    s->image = QImage(static_cast<int>(s->info.output_width),
                      static_cast<int>(s->info.output_height), QImage::Format_RGB888);
    if (s->image.isNull() || s->info.output_components != 3) {
        jpeg_destroy_decompress(&s->info);
        return {};
    }
    while (s->info.output_scanline < s->info.output_height) {
        JSAMPROW row = s->image.scanLine(static_cast<int>(s->info.output_scanline));
        jpeg_read_scanlines(&s->info, &row, 1);
    }
    jpeg_finish_decompress(&s->info);
    jpeg_destroy_decompress(&s->info);
    if (s->damaged) {
        return {};
    }
    return std::move(s->image);
}

} // namespace peldor
