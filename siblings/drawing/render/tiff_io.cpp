#include "drawing/render/tiff_io.h"

#include "drawing/render/lzw.h"

#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace drawing {
namespace {

// One writer or reader at a time; a page's bands reach libtiff from a
// worker thread, so the message must not be kept per thread.
std::string lastTiffError;

void onTiffError(const char* module, const char* fmt, va_list ap) {
    char buf[512];
    std::vsnprintf(buf, sizeof buf, fmt, ap);
    lastTiffError = module != nullptr ? std::string(module) + ": " + buf : std::string(buf);
}

void onTiffWarning(const char*, const char*, va_list) {}

// libtiff reports through process-wide handlers; ours keep the message for
// the caller instead of printing it.
void installHandlers() {
    static const bool done = [] {
        TIFFSetErrorHandler(onTiffError);
        TIFFSetWarningHandler(onTiffWarning);
        return true;
    }();
    (void)done;
}

std::string tiffError(const std::string& what) {
    std::string e = what;
    if (!lastTiffError.empty()) {
        e += ": " + lastTiffError;
        lastTiffError.clear();
    }
    return e;
}

// The colours of a page drawn without antialiasing, white first, when a
// palette can hold them; empty when the page needs full colour (more than
// 256 colours). Raster images count with every colour of their pixels: a
// comparison's raster result has four, a photograph thousands.
std::vector<Rgb> pagePalette(const Page& page) {
    std::vector<Rgb> colors{kWhite};
    std::vector<bool> seen;  // by colour, once there are images to look through
    auto add = [&](Rgb c) {
        if (!seen.empty()) {
            if (seen[c]) {
                return true;
            }
            seen[c] = true;
        }
        if (std::find(colors.begin(), colors.end(), c) == colors.end()) {
            colors.push_back(c);
        }
        return colors.size() <= 256;
    };
    if (!page.rasters.empty()) {
        seen.assign(std::size_t{1} << 24, false);
        for (const Rgb c : colors) {
            seen[c] = true;
        }
    }
    for (const auto& r : page.rasters) {
        const std::size_t n = r.pixels.size() / static_cast<std::size_t>(std::max(r.channels, 1));
        Rgb last = 0xFFFFFFFF;
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint8_t* px = r.pixels.data() + i * r.channels;
            const Rgb c = pixelColor(px, r.channels);
            if (c != last) {
                last = c;
                if (!add(c)) {
                    return {};
                }
            }
        }
    }
    for (const auto& p : page.paths) {
        if (!add(p.stroke.color & 0xFFFFFF)) {
            return {};
        }
    }
    for (const auto& t : page.texts) {
        if (!add(t.stroke.color & 0xFFFFFF)) {
            return {};
        }
    }
    return colors;
}

// One row of grey pixels as bits, ink (dark) set.
void packBilevel(const std::uint8_t* row, int width, std::uint8_t* packed) {
    std::memset(packed, 0, (static_cast<std::size_t>(width) + 7) / 8);
    for (int x = 0; x < width; ++x) {
        if (row[x] < 128) {
            packed[x >> 3] |= static_cast<std::uint8_t>(0x80 >> (x & 7));
        }
    }
}

// One row of palette indices, two a byte.
void packNibbles(const std::uint8_t* row, int width, std::uint8_t* packed) {
    const int pairs = width / 2;
    for (int i = 0; i < pairs; ++i) {
        packed[i] = static_cast<std::uint8_t>((row[2 * i] << 4) | (row[2 * i + 1] & 0x0F));
    }
    if ((width & 1) != 0) {
        packed[pairs] = static_cast<std::uint8_t>(row[width - 1] << 4);
    }
}

}  // namespace

void TiffWriter::Closer::operator()(tiff* t) const {
    TIFFClose(t);
}

TiffWriter::TiffWriter() {
    installHandlers();
}
TiffWriter::~TiffWriter() = default;

bool TiffWriter::open(const std::string& path, std::string& error) {
    lastTiffError.clear();
    tif_.reset(TIFFOpen(path.c_str(), "w"));
    if (!tif_) {
        error = tiffError("cannot create " + path);
        return false;
    }
    path_ = path;
    pages_ = 0;
    return true;
}

bool TiffWriter::addPage(const Page& page, const TiffOptions& opts, std::string& error) {
    if (!tif_) {
        error = "TIFF file not open";
        return false;
    }
    int width = 0, height = 0;
    if (!rasterSize(page, opts.dpi, width, height, error)) {
        return false;
    }
    tiff* t = tif_.get();
    const bool bilevel = pageIsBlackAndWhite(page);
    const std::vector<Rgb> palette = bilevel ? std::vector<Rgb>() : pagePalette(page);
    const bool indexed = !palette.empty();
    TIFFSetField(t, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(width));
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(height));
    TIFFSetField(t, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    TIFFSetField(t, TIFFTAG_XRESOLUTION, static_cast<float>(opts.dpi));
    TIFFSetField(t, TIFFTAG_YRESOLUTION, static_cast<float>(opts.dpi));
    TIFFSetField(t, TIFFTAG_PAGENUMBER, static_cast<uint16_t>(pages_), static_cast<uint16_t>(0));
    TIFFSetField(t, TIFFTAG_SOFTWARE, "tolvane");
    const auto colorCompression =
        opts.color == TiffColorCompression::Lzw ? COMPRESSION_LZW : COMPRESSION_ADOBE_DEFLATE;
    std::size_t rowBytes = static_cast<std::size_t>(width);
    std::vector<uint16_t> red(256, 0), green(256, 0), blue(256, 0);
    bool nibbles = false;
    if (bilevel) {
        TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 1);
        TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
        TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
        TIFFSetField(t, TIFFTAG_FILLORDER, FILLORDER_MSB2LSB);
        rowBytes = (static_cast<std::size_t>(width) + 7) / 8;
    } else if (indexed) {
        for (std::size_t i = 0; i < palette.size(); ++i) {
            red[i] = static_cast<uint16_t>(((palette[i] >> 16) & 0xFF) * 257);
            green[i] = static_cast<uint16_t>(((palette[i] >> 8) & 0xFF) * 257);
            blue[i] = static_cast<uint16_t>((palette[i] & 0xFF) * 257);
        }
        // Up to 16 colours (a comparison result has fewer) go four bits a
        // pixel: half the bytes to compress and write.
        nibbles = palette.size() <= 16;
        TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, nibbles ? 4 : 8);
        TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_PALETTE);
        TIFFSetField(t, TIFFTAG_COLORMAP, red.data(), green.data(), blue.data());
        rowBytes = nibbles ? (static_cast<std::size_t>(width) + 1) / 2 : rowBytes;
        TIFFSetField(t, TIFFTAG_COMPRESSION, colorCompression);
    } else {
        TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 3);
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
        TIFFSetField(t, TIFFTAG_COMPRESSION, colorCompression);
        TIFFSetField(t, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
        rowBytes = static_cast<std::size_t>(width) * 3;
    }
    // Strips of about 256 KB: libtiff's default of 8 KB is a single row on
    // a wide colour sheet, which costs compression and index space.
    const std::size_t rowsPerStrip =
        std::clamp<std::size_t>((256u << 10) / rowBytes, 1, static_cast<std::size_t>(height));
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, static_cast<uint32_t>(rowsPerStrip));

    RasterOptions ro;
    ro.dpi = opts.dpi;
    ro.channels = bilevel ? 1 : 3;
    // Without antialiasing every pixel has one of the page's own colours.
    ro.antialias = !bilevel && !indexed;
    ro.palette = indexed ? &palette : nullptr;
    // Rows are packed straight into a strip, and a full strip is written
    // whole. Palette pages with LZW, the common result page, are compressed
    // here (see lzw.h); the rest by libtiff.
    const bool ownLzw = indexed && opts.color == TiffColorCompression::Lzw;
    std::vector<std::uint8_t> strip(rowsPerStrip * rowBytes);
    std::vector<std::uint8_t> coded;
    std::size_t stripRows = 0;
    uint32_t stripIndex = 0;
    const auto writeStrip = [&] {
        const std::size_t bytes = stripRows * rowBytes;
        tmsize_t done = 0;
        if (ownLzw) {
            coded.clear();
            lzwEncode(strip.data(), bytes, coded);
            done =
                TIFFWriteRawStrip(t, stripIndex, coded.data(), static_cast<tmsize_t>(coded.size()));
        } else {
            done = TIFFWriteEncodedStrip(t, stripIndex, strip.data(), static_cast<tmsize_t>(bytes));
        }
        ++stripIndex;
        stripRows = 0;
        return done >= 0;
    };
    bool written = true;
    const bool drawn = renderPageBands(
        page, ro,
        [&](const Image& band, int) {
            for (int y = 0; y < band.height; ++y) {
                const std::uint8_t* row = band.row(y);
                std::uint8_t* packed = strip.data() + stripRows * rowBytes;
                if (bilevel) {
                    packBilevel(row, width, packed);
                } else if (nibbles) {
                    packNibbles(row, width, packed);
                } else {
                    std::memcpy(packed, row, rowBytes);
                }
                if (++stripRows == rowsPerStrip && !writeStrip()) {
                    written = false;
                    return false;
                }
            }
            return true;
        },
        error);
    if (drawn && stripRows > 0 && !writeStrip()) {
        written = false;
    }
    if (!drawn || !written) {
        if (!written) {
            error = tiffError("cannot write " + path_);
        }
        return false;
    }
    if (!TIFFWriteDirectory(t)) {
        error = tiffError("cannot write " + path_);
        return false;
    }
    ++pages_;
    return true;
}

bool TiffWriter::close(std::string& error) {
    if (!tif_) {
        error = "TIFF file not open";
        return false;
    }
    if (pages_ == 0) {
        tif_.reset();
        error = "no pages to write";
        return false;
    }
    // TIFFClose reports nothing; a failed flush shows up as an error text.
    lastTiffError.clear();
    const bool flushed = TIFFFlush(tif_.get()) == 1;
    tif_.reset();
    if (!flushed || !lastTiffError.empty()) {
        error = tiffError("cannot write " + path_);
        return false;
    }
    return true;
}

bool readTiff(const std::string& path, std::vector<TiffPage>& pages, std::string& error) {
    installHandlers();
    lastTiffError.clear();
    pages.clear();
    std::unique_ptr<TIFF, void (*)(TIFF*)> tif(TIFFOpen(path.c_str(), "r"), TIFFClose);
    if (!tif) {
        error = tiffError("cannot open " + path);
        return false;
    }
    do {
        TiffPage p;
        uint32_t w = 0, h = 0;
        uint16_t bps = 0, spp = 1, photometric = 0, compression = 0;
        float xres = 0, yres = 0;
        TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &w);
        TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &h);
        TIFFGetFieldDefaulted(tif.get(), TIFFTAG_BITSPERSAMPLE, &bps);
        TIFFGetFieldDefaulted(tif.get(), TIFFTAG_SAMPLESPERPIXEL, &spp);
        TIFFGetField(tif.get(), TIFFTAG_PHOTOMETRIC, &photometric);
        TIFFGetField(tif.get(), TIFFTAG_COMPRESSION, &compression);
        TIFFGetField(tif.get(), TIFFTAG_XRESOLUTION, &xres);
        TIFFGetField(tif.get(), TIFFTAG_YRESOLUTION, &yres);
        if (w == 0 || h == 0 || w > kMaxRasterSide || h > kMaxRasterSide ||
            !((bps == 1 && spp == 1) || (bps == 8 && (spp == 1 || spp == 3)) ||
              (bps == 4 && spp == 1 && photometric == PHOTOMETRIC_PALETTE))) {
            error = path + ": unsupported TIFF layout";
            return false;
        }
        p.compression = compression;
        p.bitsPerSample = bps;
        p.xDpi = xres;
        p.yDpi = yres;
        p.image.width = static_cast<int>(w);
        p.image.height = static_cast<int>(h);
        uint16_t* map[3] = {nullptr, nullptr, nullptr};
        const bool palette = photometric == PHOTOMETRIC_PALETTE && bps >= 4 && spp == 1;
        if (palette && !TIFFGetField(tif.get(), TIFFTAG_COLORMAP, &map[0], &map[1], &map[2])) {
            error = path + ": palette image without a colour map";
            return false;
        }
        p.photometric = photometric;
        p.image.channels = palette ? 3 : spp;
        p.image.dpi = xres;
        p.image.pixels.resize(static_cast<std::size_t>(w) * h * p.image.channels);
        std::vector<std::uint8_t> line(TIFFScanlineSize(tif.get()));
        for (uint32_t y = 0; y < h; ++y) {
            if (TIFFReadScanline(tif.get(), line.data(), y, 0) < 0) {
                error = tiffError(path + ": cannot read page " + std::to_string(pages.size() + 1));
                return false;
            }
            std::uint8_t* out =
                p.image.pixels.data() + static_cast<std::size_t>(y) * w * p.image.channels;
            if (bps == 1) {
                const bool whiteIsZero = photometric == PHOTOMETRIC_MINISWHITE;
                for (uint32_t x = 0; x < w; ++x) {
                    const bool bit = (line[x >> 3] >> (7 - (x & 7))) & 1;
                    out[x] = bit != whiteIsZero ? 255 : 0;
                }
            } else if (photometric == PHOTOMETRIC_PALETTE && spp == 1) {
                for (uint32_t x = 0; x < w; ++x) {
                    const unsigned i =
                        bps == 4 ? (line[x >> 1] >> ((x & 1) != 0 ? 0 : 4)) & 0xF : line[x];
                    out[3 * x] = static_cast<std::uint8_t>(map[0][i] >> 8);
                    out[3 * x + 1] = static_cast<std::uint8_t>(map[1][i] >> 8);
                    out[3 * x + 2] = static_cast<std::uint8_t>(map[2][i] >> 8);
                }
            } else {
                std::copy(line.begin(), line.begin() + static_cast<std::ptrdiff_t>(w) * spp, out);
            }
        }
        pages.push_back(std::move(p));
    } while (TIFFReadDirectory(tif.get()));
    return true;
}

}  // namespace drawing
