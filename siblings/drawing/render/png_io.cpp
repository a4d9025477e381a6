#include "drawing/render/png_io.h"

#include <png.h>

#include <cmath>
#include <ostream>

namespace drawing {
namespace {

struct WriteState {
    std::ostream* out;
    std::string message;
};

void pngWrite(png_structp png, png_bytep data, png_size_t length) {
    auto* s = static_cast<WriteState*>(png_get_io_ptr(png));
    s->out->write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(length));
    if (!*s->out) {
        png_error(png, "write failed");
    }
}

void pngFlush(png_structp png) {
    static_cast<WriteState*>(png_get_io_ptr(png))->out->flush();
}

void pngFail(png_structp png, png_const_charp message) {
    auto* s = static_cast<WriteState*>(png_get_error_ptr(png));
    s->message = message;
    png_longjmp(png, 1);
}

void pngWarn(png_structp, png_const_charp) {}

// Kept apart from writePng so that no object with a destructor lives in
// the frame that setjmp guards.
bool writeRows(png_structp png, png_infop info, const Image& image) {
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.width),
                 static_cast<png_uint_32>(image.height), 8,
                 image.channels == 1 ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (image.dpi > 0) {
        const auto ppm = static_cast<png_uint_32>(std::lround(image.dpi / 0.0254));
        png_set_pHYs(png, info, ppm, ppm, PNG_RESOLUTION_METER);
    }
    png_write_info(png, info);
    for (int y = 0; y < image.height; ++y) {
        png_write_row(png, const_cast<png_bytep>(image.row(y)));
    }
    png_write_end(png, info);
    return true;
}

}  // namespace

bool writePng(std::ostream& out, const Image& image, std::string& error) {
    if (image.width <= 0 || image.height <= 0 || (image.channels != 1 && image.channels != 3) ||
        image.pixels.size() !=
            static_cast<std::size_t>(image.width) * image.height * image.channels) {
        error = "no image to write";
        return false;
    }
    WriteState state{&out, {}};
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &state, pngFail, pngWarn);
    if (png == nullptr) {
        error = "cannot start PNG output";
        return false;
    }
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &state, pngWrite, pngFlush);
    const bool ok = info != nullptr && writeRows(png, info, image);
    png_destroy_write_struct(&png, info != nullptr ? &info : nullptr);
    if (!ok) {
        error = "PNG output failed: " +
                (state.message.empty() ? std::string("no memory") : state.message);
        return false;
    }
    return true;
}

}  // namespace drawing
