#include "sandrel/ink.h"

#include <cairo.h>

#include <algorithm>
#include <memory>

#include "drawing/render/render.h"
#include "sandrel/bitmask.h"

namespace sandrel {
namespace {

// A pixel is ink when any channel is this much darker than white, so that
// yellow counts as well as black.
constexpr int kInkDepth = 64;
// Rows are rendered in bands of about this many pixels (4 bytes each).
constexpr int kBandPixels = 4 << 20;

}  // namespace

bool inkMask(const drawing::Page& page, const PixelGrid& grid, std::vector<std::uint8_t>& mask,
             std::string& error) {
    mask.assign(grid.size(), 0);
    if (grid.size() == 0) {
        return true;
    }
    const int band = std::clamp(kBandPixels / grid.width, 1, grid.height);
    std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> surface(
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, grid.width, band), cairo_surface_destroy);
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) {
        error = std::string("cannot render: ") +
                cairo_status_to_string(cairo_surface_status(surface.get()));
        return false;
    }
    std::unique_ptr<cairo_t, decltype(&cairo_destroy)> cr(cairo_create(surface.get()),
                                                          cairo_destroy);
    // Without antialiasing a pixel is inked when its centre is, the same rule
    // for drawn lines and for the scanned pixels they are compared with.
    cairo_set_antialias(cr.get(), CAIRO_ANTIALIAS_NONE);
    std::unique_ptr<cairo_font_options_t, decltype(&cairo_font_options_destroy)> fonts(
        cairo_font_options_create(), cairo_font_options_destroy);
    cairo_font_options_set_antialias(fonts.get(), CAIRO_ANTIALIAS_NONE);
    cairo_set_font_options(cr.get(), fonts.get());

    const double unit = grid.unitsPerPixel();
    const drawing::Frame frame{grid.left, grid.top - grid.height * unit, grid.width * unit,
                               grid.height * unit};
    for (int first = 0; first < grid.height; first += band) {
        cairo_save(cr.get());
        cairo_set_source_rgb(cr.get(), 1, 1, 1);
        cairo_paint(cr.get());
        cairo_translate(cr.get(), 0, -first);
        drawing::drawPage(cr.get(), page, frame, 1 / unit, 1.0);
        cairo_restore(cr.get());
        if (cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS) {
            error = std::string("cannot render: ") + cairo_status_to_string(cairo_status(cr.get()));
            return false;
        }
        cairo_surface_flush(surface.get());
        const unsigned char* data = cairo_image_surface_get_data(surface.get());
        const int stride = cairo_image_surface_get_stride(surface.get());
        const int rows = std::min(band, grid.height - first);
        for (int row = 0; row < rows; ++row) {
            const auto* in = reinterpret_cast<const std::uint32_t*>(
                data + static_cast<std::size_t>(row) * static_cast<std::size_t>(stride));
            auto* out = mask.data() + static_cast<std::size_t>(first + row) * grid.width;
            for (int x = 0; x < grid.width; ++x) {
                const std::uint32_t p = in[x];
                const int darkest =
                    static_cast<int>(std::min({(p >> 16) & 0xFFu, (p >> 8) & 0xFFu, p & 0xFFu}));
                out[x] = 255 - darkest >= kInkDepth ? 1 : 0;
            }
        }
    }
    return true;
}

std::vector<std::uint8_t> dilate(const std::vector<std::uint8_t>& mask, int width, int height,
                                 int radius) {
    if (radius <= 0) {
        return mask;
    }
    return unpackMask(dilateBits(packMask(mask, width, height), radius));
}

}  // namespace sandrel
