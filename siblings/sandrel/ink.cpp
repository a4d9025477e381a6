#include "sandrel/ink.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
    return inkOfGridRasters(page, grid, mask) || renderInkMask(page, grid, mask, error);
}

namespace {

// An image and where its upper left pixel falls on the grid.
struct Placed {
    const drawing::Raster* raster;
    long x;
    long y;
};

// The page's images, when it holds nothing else and each lies on whole
// pixels of the grid at its resolution; images the renderer would skip are
// left out.
bool placeOnGrid(const drawing::Page& page, const PixelGrid& grid, std::vector<Placed>& placed) {
    if (!page.paths.empty() || !page.texts.empty()) {
        return false;
    }
    const double unit = grid.unitsPerPixel();
    for (const drawing::Raster& r : page.rasters) {
        if (r.width <= 0 || r.height <= 0 || r.width > drawing::kMaxRasterSide ||
            r.height > drawing::kMaxRasterSide || (r.channels != 1 && r.channels != 3) ||
            !(r.dpi > 0) || !std::isfinite(r.origin.x) || !std::isfinite(r.origin.y) ||
            r.pixels.size() != static_cast<std::size_t>(r.width) * r.height * r.channels) {
            continue;
        }
        if (r.dpi != grid.dpi) {
            return false;
        }
        const double x = (r.origin.x - grid.left) / unit;
        const double y = (grid.top - r.origin.y) / unit;
        const double wholeX = std::round(x);
        const double wholeY = std::round(y);
        if (!(std::abs(x - wholeX) < 1e-6 && std::abs(y - wholeY) < 1e-6 &&
              std::abs(wholeX) < 1e9 && std::abs(wholeY) < 1e9)) {
            return false;
        }
        placed.push_back({&r, static_cast<long>(wholeX), static_cast<long>(wholeY)});
    }
    return true;
}

// The columns and rows of the grid a placed image covers.
struct Cover {
    long x0 = 0, x1 = 0, y0 = 0, y1 = 0;
};

Cover coverOf(const Placed& p, const PixelGrid& grid) {
    const drawing::Raster& r = *p.raster;
    return {std::max(0L, p.x), std::min<long>(grid.width, p.x + r.width), std::max(0L, p.y),
            std::min<long>(grid.height, p.y + r.height)};
}

// The image's pixel that lies on grid column x of grid row y.
const std::uint8_t* pixelAt(const Placed& p, long x, long y) {
    const drawing::Raster& r = *p.raster;
    return r.pixels.data() +
           (static_cast<std::size_t>(y - p.y) * static_cast<std::size_t>(r.width) +
            static_cast<std::size_t>(x - p.x)) *
               static_cast<std::size_t>(r.channels);
}

// Eight grey pixels as eight bytes of 0 or 1: a grey is ink below 192,
// that is unless both of its top two bits are set.
std::uint64_t greyInkBytes(const std::uint8_t* in) {
    static_assert(kInkDepth == 64);
    constexpr std::uint64_t ones = 0x0101010101010101ull;
    std::uint64_t v = 0;
    std::memcpy(&v, in, 8);
    return (~(v & (v << 1)) >> 7) & ones;
}

bool inkOfPixel(const std::uint8_t* in, std::size_t channels) {
    return 255 - (channels == 1 ? in[0] : std::min({in[0], in[1], in[2]})) >= kInkDepth;
}

}  // namespace

bool inkOfGridRasters(const drawing::Page& page, const PixelGrid& grid,
                      std::vector<std::uint8_t>& mask) {
    std::vector<Placed> placed;
    if (!placeOnGrid(page, grid, placed)) {
        return false;
    }
    mask.assign(grid.size(), 0);
    // Each image covers what lies below it, white pixels and all.
    for (const Placed& p : placed) {
        const auto [x0, x1, y0, y1] = coverOf(p, grid);
        const auto channels = static_cast<std::size_t>(p.raster->channels);
        for (long y = y0; y < y1; ++y) {
            const std::uint8_t* in = pixelAt(p, x0, y);
            std::uint8_t* out = mask.data() + static_cast<std::size_t>(y) * grid.width;
            long x = x0;
            if (channels == 1) {
                for (; x + 8 <= x1; x += 8, in += 8) {
                    const std::uint64_t ink = greyInkBytes(in);
                    std::memcpy(out + x, &ink, 8);
                }
            }
            for (; x < x1; ++x, in += channels) {
                out[x] = inkOfPixel(in, channels) ? 1 : 0;
            }
        }
    }
    return true;
}

bool inkBitsOfGridRasters(const drawing::Page& page, const PixelGrid& grid, BitMask& bits) {
    std::vector<Placed> placed;
    if (!placeOnGrid(page, grid, placed)) {
        return false;
    }
    bits = BitMask(grid.width, grid.height);
    for (const Placed& p : placed) {
        const auto [x0, x1, y0, y1] = coverOf(p, grid);
        if (x0 >= x1) {
            continue;
        }
        const auto channels = static_cast<std::size_t>(p.raster->channels);
        const auto first = static_cast<std::size_t>(x0);
        const auto last = static_cast<std::size_t>(x1 - 1);
        for (long y = y0; y < y1; ++y) {
            const std::uint8_t* in = pixelAt(p, x0, y);
            std::uint64_t* out = bits.row(static_cast<int>(y));
            // What the image covers is cleared first: it hides what lies
            // below it, white pixels and all.
            for (std::size_t k = first >> 6; k <= last >> 6; ++k) {
                std::uint64_t keep = 0;
                if (k == first >> 6) {
                    keep |= ~(~std::uint64_t{0} << (first & 63));
                }
                if (k == last >> 6 && (last & 63) != 63) {
                    keep |= ~std::uint64_t{0} << ((last & 63) + 1);
                }
                out[k] &= keep;
            }
            auto x = static_cast<std::size_t>(x0);
            const auto end = static_cast<std::size_t>(x1);
            if (channels == 1) {
#if defined(__SSE2__)
                // Sixteen pixels at a time: those with both top bits set
                // (192 and above) are paper, the rest ink; laid in at x
                // (across two words where they must).
                const __m128i top = _mm_set1_epi8(static_cast<char>(0xC0));
                for (; x + 16 <= end; x += 16, in += 16) {
                    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
                    const __m128i paper = _mm_cmpeq_epi8(_mm_and_si128(v, top), top);
                    const auto sixteen =
                        static_cast<std::uint64_t>(~_mm_movemask_epi8(paper) & 0xFFFF);
                    const unsigned at = x & 63;
                    out[x >> 6] |= sixteen << at;
                    if (at > 48) {
                        out[(x >> 6) + 1] |= sixteen >> (64 - at);
                    }
                }
#endif
                // Eight pixels to a byte of bits, pixel k as bit k, laid in
                // at x (across two words where it must).
                for (; x + 8 <= end; x += 8, in += 8) {
                    const std::uint64_t eight = (greyInkBytes(in) * 0x0102040810204080ull) >> 56;
                    const unsigned at = x & 63;
                    out[x >> 6] |= eight << at;
                    if (at > 56) {
                        out[(x >> 6) + 1] |= eight >> (64 - at);
                    }
                }
            }
            for (; x < end; ++x, in += channels) {
                if (inkOfPixel(in, channels)) {
                    out[x >> 6] |= std::uint64_t{1} << (x & 63);
                }
            }
        }
    }
    return true;
}

bool inkBits(const drawing::Page& page, const PixelGrid& grid, BitMask& bits, std::string& error) {
    if (inkBitsOfGridRasters(page, grid, bits)) {
        return true;
    }
    std::vector<std::uint8_t> mask;
    if (!renderInkMask(page, grid, mask, error)) {
        return false;
    }
    bits = packMask(mask, grid.width, grid.height);
    return true;
}

bool renderInkMask(const drawing::Page& page, const PixelGrid& grid,
                   std::vector<std::uint8_t>& mask, std::string& error) {
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
