#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <thread>

#include "drawing/render/render.h"

namespace drawing {
namespace {

// A band of about 16 MB of cairo pixels (two of them are in use at once):
// few passes over the page on a large sheet, little memory.
constexpr std::size_t kBandBytes = 4u << 20;

}  // namespace

bool rasterSize(const Page& page, double dpi, int& width, int& height, std::string& error) {
    if (!(dpi >= 1 && dpi <= 10000)) {
        error = "resolution out of range: " + std::to_string(dpi) + " dpi";
        return false;
    }
    const Frame f = pageFrame(page);
    const double w = std::ceil(f.width * dpi / kUnitsPerInch);
    const double h = std::ceil(f.height * dpi / kUnitsPerInch);
    if (!(w <= kMaxRasterSide && h <= kMaxRasterSide)) {
        error = "page too large for " + std::to_string(static_cast<int>(dpi)) + " dpi";
        return false;
    }
    width = std::max(1, static_cast<int>(w));
    height = std::max(1, static_cast<int>(h));
    return true;
}

bool renderPageBands(const Page& page, const RasterOptions& opts, const BandSink& sink,
                     std::string& error) {
    int width = 0, height = 0;
    if (!rasterSize(page, opts.dpi, width, height, error)) {
        return false;
    }
    const Frame frame = pageFrame(page);
    const bool indices = opts.palette != nullptr;
    const std::size_t pixelBytes = indices ? 1 : 4;
    const int bandRows = static_cast<int>(std::clamp<std::size_t>(
        kBandBytes / (static_cast<std::size_t>(width) * pixelBytes), 16, 4096));
    const int rows = std::min(bandRows, height);
    // Two surfaces: while one band is converted and handed to the sink on
    // a thread of its own (compressing it is most of the cost of a TIFF
    // page), the next is drawn into the other.
    struct Slot {
        std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> surface{
            nullptr, cairo_surface_destroy};
        std::unique_ptr<cairo_t, decltype(&cairo_destroy)> cr{nullptr, cairo_destroy};
        Image band;
    };
    Slot slots[2];
    // Palette indices are handed out without a copy: cairo draws straight
    // into the band's pixels.
    const int stride = cairo_format_stride_for_width(CAIRO_FORMAT_A8, width);
    for (auto& slot : slots) {
        if (indices) {
            slot.band.pixels.resize(static_cast<std::size_t>(stride) * rows);
            slot.band.stride = static_cast<std::size_t>(stride);
            slot.surface.reset(cairo_image_surface_create_for_data(
                slot.band.pixels.data(), CAIRO_FORMAT_A8, width, rows, stride));
        } else {
            slot.surface.reset(cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, rows));
        }
        if (cairo_surface_status(slot.surface.get()) != CAIRO_STATUS_SUCCESS) {
            error = "cannot allocate a raster of " + std::to_string(width) + " x " +
                    std::to_string(rows) + " pixels";
            return false;
        }
        slot.cr.reset(cairo_create(slot.surface.get()));
        if (!opts.antialias || indices) {
            cairo_set_antialias(slot.cr.get(), CAIRO_ANTIALIAS_NONE);
            std::unique_ptr<cairo_font_options_t, decltype(&cairo_font_options_destroy)> fo(
                cairo_font_options_create(), cairo_font_options_destroy);
            cairo_font_options_set_antialias(fo.get(), CAIRO_ANTIALIAS_NONE);
            cairo_set_font_options(slot.cr.get(), fo.get());
        }
        slot.band.width = width;
        slot.band.channels = indices || opts.channels == 1 ? 1 : 3;
        slot.band.dpi = opts.dpi;
    }
    const double scale = opts.dpi / kUnitsPerInch;
    const std::vector<PathExtent> extents = pathExtents(page);
    std::thread worker;
    bool sunk = true;
    const auto waitForSink = [&] {
        if (worker.joinable()) {
            worker.join();
        }
        return sunk;
    };
    for (int top = 0, k = 0; top < height; top += rows, ++k) {
        Slot& slot = slots[k % 2];
        cairo_t* cr = slot.cr.get();
        const int count = std::min(rows, height - top);
        cairo_save(cr);
        if (indices) {
            cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
            cairo_set_source_rgba(cr, 0, 0, 0, 0);  // white is the palette's first colour
        } else {
            cairo_set_source_rgb(cr, 1, 1, 1);
        }
        cairo_paint(cr);
        cairo_translate(cr, 0, -top);
        drawPage(cr, page, frame, scale, 1.0, &extents, opts.palette);
        cairo_restore(cr);
        if (cairo_status(cr) != CAIRO_STATUS_SUCCESS) {
            waitForSink();
            error = std::string("drawing failed: ") + cairo_status_to_string(cairo_status(cr));
            return false;
        }
        cairo_surface_flush(slot.surface.get());
        if (!waitForSink()) {
            return false;
        }
        worker = std::thread([&slot, &sink, &sunk, top, count, width] {
            const unsigned char* data = cairo_image_surface_get_data(slot.surface.get());
            const int stride = cairo_image_surface_get_stride(slot.surface.get());
            Image& band = slot.band;
            band.height = count;
            if (slot.band.stride != 0) {
                // Already the band's own pixels; the rows past count (the
                // last band) are not handed on.
                sunk = sink(band, top);
                return;
            }
            band.pixels.resize(static_cast<std::size_t>(width) * count * band.channels);
            std::uint8_t* out = band.pixels.data();
            for (int y = 0; y < count; ++y) {
                const auto* in = reinterpret_cast<const std::uint32_t*>(
                    data + static_cast<std::size_t>(y) * stride);
                for (int x = 0; x < width; ++x) {
                    const std::uint32_t px = in[x];
                    const std::uint8_t r = (px >> 16) & 0xFF, g = (px >> 8) & 0xFF, b = px & 0xFF;
                    if (band.channels == 1) {
                        *out++ =
                            static_cast<std::uint8_t>((r * 299 + g * 587 + b * 114 + 500) / 1000);
                    } else {
                        *out++ = r;
                        *out++ = g;
                        *out++ = b;
                    }
                }
            }
            sunk = sink(band, top);
        });
    }
    return waitForSink();
}

bool renderPage(const Page& page, const RasterOptions& opts, Image& out, std::string& error) {
    out = Image();
    return renderPageBands(
        page, opts,
        [&](const Image& band, int firstRow) {
            if (firstRow == 0) {
                out.width = band.width;
                out.channels = band.channels;
                out.dpi = band.dpi;
            }
            out.height += band.height;
            const std::size_t rowBytes = static_cast<std::size_t>(band.width) * band.channels;
            for (int y = 0; y < band.height; ++y) {
                out.pixels.insert(out.pixels.end(), band.row(y), band.row(y) + rowBytes);
            }
            return true;
        },
        error);
}

}  // namespace drawing
