#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <thread>

#include "render.h"

namespace drawing {
namespace {

// A band of about 16 MB of cairo pixels (two of them are in use at once):
// few passes over the page on a large sheet, little memory.
constexpr std::size_t kBandBytes = 16u << 20;

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
    const int bandRows = static_cast<int>(
        std::clamp<std::size_t>(kBandBytes / (static_cast<std::size_t>(width) * 4), 16, 4096));
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
    for (auto& slot : slots) {
        slot.surface.reset(cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, rows));
        if (cairo_surface_status(slot.surface.get()) != CAIRO_STATUS_SUCCESS) {
            error = "cannot allocate a raster of " + std::to_string(width) + " x " +
                    std::to_string(rows) + " pixels";
            return false;
        }
        slot.cr.reset(cairo_create(slot.surface.get()));
        if (!opts.antialias) {
            cairo_set_antialias(slot.cr.get(), CAIRO_ANTIALIAS_NONE);
            std::unique_ptr<cairo_font_options_t, decltype(&cairo_font_options_destroy)> fo(
                cairo_font_options_create(), cairo_font_options_destroy);
            cairo_font_options_set_antialias(fo.get(), CAIRO_ANTIALIAS_NONE);
            cairo_set_font_options(slot.cr.get(), fo.get());
        }
        slot.band.width = width;
        slot.band.channels = opts.channels == 1 || opts.channels == 4 ? opts.channels : 3;
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
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_paint(cr);
        cairo_translate(cr, 0, -top);
        drawPage(cr, page, frame, scale, 1.0, &extents);
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
            band.pixels.resize(static_cast<std::size_t>(width) * count * band.channels);
            std::uint8_t* out = band.pixels.data();
            if (band.channels == 4) {
                for (int y = 0; y < count; ++y) {
                    std::memcpy(out + static_cast<std::size_t>(y) * width * 4,
                                data + static_cast<std::size_t>(y) * stride,
                                static_cast<std::size_t>(width) * 4);
                }
                sunk = sink(band, top);
                return;
            }
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
            out.pixels.insert(out.pixels.end(), band.pixels.begin(), band.pixels.end());
            return true;
        },
        error);
}

}  // namespace drawing
