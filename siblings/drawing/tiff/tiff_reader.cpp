#include "drawing/tiff/tiff_reader.h"

#include "drawing/bit_rows.h"
#include "drawing/memory_budget.h"

#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace drawing {
namespace {

// libtiff's messages for this file only, not the process-wide handler.
struct Messages {
    std::string firstError;
};

int onError(TIFF*, void* user, const char* module, const char* fmt, va_list ap) {
    auto* m = static_cast<Messages*>(user);
    if (m->firstError.empty()) {
        char text[256];
        std::vsnprintf(text, sizeof text, fmt, ap);
        m->firstError = text;
        (void)module;
    }
    return 1;
}

int onWarning(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

// An in-memory file for libtiff's client interface.
struct Memory {
    const unsigned char* data;
    toff_t size;
    toff_t pos = 0;
};

tmsize_t memRead(thandle_t h, void* buf, tmsize_t n) {
    auto* m = static_cast<Memory*>(h);
    if (n < 0 || m->pos >= m->size) {
        return 0;
    }
    const toff_t take = std::min<toff_t>(static_cast<toff_t>(n), m->size - m->pos);
    std::memcpy(buf, m->data + m->pos, take);
    m->pos += take;
    return static_cast<tmsize_t>(take);
}

tmsize_t memWrite(thandle_t, void*, tmsize_t) {
    return 0;
}

toff_t memSeek(thandle_t h, toff_t off, int whence) {
    auto* m = static_cast<Memory*>(h);
    const toff_t base = whence == SEEK_CUR ? m->pos : whence == SEEK_END ? m->size : 0;
    m->pos = base + off;
    return m->pos;
}

int memClose(thandle_t) {
    return 0;
}

toff_t memSize(thandle_t h) {
    return static_cast<Memory*>(h)->size;
}

struct TiffCloser {
    void operator()(TIFF* t) const { TIFFClose(t); }
};
using TiffPtr = std::unique_ptr<TIFF, TiffCloser>;

struct OptionsFree {
    void operator()(TIFFOpenOptions* o) const { TIFFOpenOptionsFree(o); }
};

double resolutionDpi(TIFF* tif, ttag_t tag) {
    float res = 0;
    uint16_t unit = RESUNIT_INCH;
    if (!TIFFGetField(tif, tag, &res) || !(res > 0) || !std::isfinite(res)) {
        return 0;
    }
    TIFFGetFieldDefaulted(tif, TIFFTAG_RESOLUTIONUNIT, &unit);
    if (unit == RESUNIT_CENTIMETER) {
        return res * 2.54;
    }
    if (unit == RESUNIT_NONE) {
        return 0;  // an aspect ratio, not a size
    }
    return res;
}

class RgbaImage {
  public:
    ~RgbaImage() {
        if (begun_) {
            TIFFRGBAImageEnd(&img_);
        }
    }
    bool begin(TIFF* tif, std::string& why) {
        char emsg[1024] = {};
        if (!TIFFRGBAImageOK(tif, emsg) || !TIFFRGBAImageBegin(&img_, tif, 0, emsg)) {
            why = emsg[0] != '\0' ? emsg : "an image libtiff cannot decode";
            return false;
        }
        begun_ = true;
        img_.req_orientation = ORIENTATION_TOPLEFT;
        return true;
    }
    TIFFRGBAImage& get() { return img_; }

  private:
    TIFFRGBAImage img_{};
    bool begun_ = false;
};

// The image row after row through libtiff's scanline interface, each
// strip decoded once, into grey or RGB pixels.
bool readRows(TIFF* tif, Messages& messages, uint32_t w, uint32_t h, uint16_t bps,
              uint16_t photometric, int channels, std::vector<uint8_t>& pixels, std::string& why) {
    const tmsize_t lineSize = TIFFScanlineSize(tif);
    const std::size_t need = (static_cast<std::size_t>(w) * bps * channels + 7) / 8;
    if (lineSize <= 0 || static_cast<std::size_t>(lineSize) < need) {
        why = "image data that does not decode";
        return false;
    }
    std::vector<uint8_t> line(static_cast<std::size_t>(lineSize));
    const bool invert = photometric == PHOTOMETRIC_MINISWHITE;
    const unsigned maxValue = (1u << bps) - 1;
    for (uint32_t y = 0; y < h; ++y) {
        if (TIFFReadScanline(tif, line.data(), y, 0) < 0 || !messages.firstError.empty()) {
            why = messages.firstError.empty() ? "image data that does not decode"
                                              : messages.firstError;
            return false;
        }
        uint8_t* dst = pixels.data() + static_cast<std::size_t>(y) * w * channels;
        if (channels == 3) {
            std::memcpy(dst, line.data(), static_cast<std::size_t>(w) * 3);
            continue;
        }
        if (bps == 1) {
            expandBitRow(line.data(), w, invert ? 255 : 0, invert ? 0 : 255, dst);
            continue;
        }
        for (uint32_t x = 0; x < w; ++x) {
            const std::size_t bit = static_cast<std::size_t>(x) * bps;
            unsigned v = bps == 8 ? line[x] : (line[bit / 8] >> (8 - bps - bit % 8)) & maxValue;
            v = v * 255 / maxValue;
            dst[x] = static_cast<uint8_t>(invert ? 255 - v : v);
        }
    }
    return true;
}

// Any other image through libtiff's RGBA interface, in bands so that its
// buffer stays small whatever the page.
bool readRgba(TIFF* tif, Messages& messages, uint32_t w, uint32_t h, bool grey, int channels,
              std::vector<uint8_t>& pixels, std::string& why) {
    RgbaImage rgba;
    if (!rgba.begin(tif, why)) {
        return false;
    }
    const uint32_t band = std::max<uint32_t>(1, std::min<uint32_t>(h, (1u << 22) / w + 1));
    std::vector<uint32_t> buffer(static_cast<std::size_t>(w) * band);
    for (uint32_t y = 0; y < h; y += band) {
        const uint32_t rows = std::min(band, h - y);
        rgba.get().row_offset = static_cast<int>(y);
        rgba.get().col_offset = 0;
        if (!TIFFRGBAImageGet(&rgba.get(), buffer.data(), w, rows) ||
            !messages.firstError.empty()) {
            why = messages.firstError.empty() ? "image data that does not decode"
                                              : messages.firstError;
            return false;
        }
        for (uint32_t r = 0; r < rows; ++r) {
            const uint32_t* src = buffer.data() + static_cast<std::size_t>(r) * w;
            uint8_t* dst = pixels.data() + (static_cast<std::size_t>(y + r) * w) * channels;
            for (uint32_t x = 0; x < w; ++x) {
                const uint32_t p = src[x];
                if (grey) {
                    dst[x] = static_cast<uint8_t>(TIFFGetR(p));
                } else {
                    dst[3 * x] = static_cast<uint8_t>(TIFFGetR(p));
                    dst[3 * x + 1] = static_cast<uint8_t>(TIFFGetG(p));
                    dst[3 * x + 2] = static_cast<uint8_t>(TIFFGetB(p));
                }
            }
        }
    }
    return true;
}

// One directory into a page; false with why.
bool readDirectory(TIFF* tif, Messages& messages, Page& page, std::string& why,
                   PageBudget& budget) {
    uint32_t w = 0;
    uint32_t h = 0;
    uint16_t photometric = PHOTOMETRIC_MINISWHITE;
    uint16_t spp = 1;
    uint16_t bps = 1;
    uint16_t compression = COMPRESSION_NONE;
    if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w) || !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h) ||
        w == 0 || h == 0) {
        why = "an image without width or height";
        return false;
    }
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &spp);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bps);
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric)) {
        photometric = spp >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISWHITE;
    }
    if (!TIFFIsCODECConfigured(compression)) {
        why = "compression " + std::to_string(compression) + " cannot be decoded";
        return false;
    }
    const bool grey =
        spp == 1 && bps <= 8 &&
        (photometric == PHOTOMETRIC_MINISWHITE || photometric == PHOTOMETRIC_MINISBLACK);
    const int channels = grey ? 1 : 3;

    double xdpi = resolutionDpi(tif, TIFFTAG_XRESOLUTION);
    double ydpi = resolutionDpi(tif, TIFFTAG_YRESOLUTION);
    if (xdpi == 0 && ydpi == 0) {
        xdpi = ydpi = kTiffDefaultDpi;
    } else if (xdpi == 0) {
        xdpi = ydpi;
    } else if (ydpi == 0) {
        ydpi = xdpi;
    }
    // Rows are repeated or dropped so that both directions share xdpi.
    const bool stretch = std::abs(xdpi - ydpi) > 0.01 * xdpi;
    const double outRowsD = stretch ? std::round(h * xdpi / ydpi) : h;
    const double bytes = static_cast<double>(w) * std::max<double>(outRowsD, h) * channels;
    if (bytes > static_cast<double>(kTiffMaxPageBytes) || outRowsD < 1) {
        why = "an image of " + std::to_string(w) + " x " + std::to_string(h) +
              " pixels is too large (at most " + std::to_string(kTiffMaxPageBytes >> 20) +
              " MiB a page)";
        return false;
    }
    const auto outRows = static_cast<uint32_t>(outRowsD);
    // The decoded pixels, and a second copy when rows are repeated.
    const double held = static_cast<double>(w) * h * channels + (stretch ? bytes : 0);
    budget.startPage();
    if (held > static_cast<double>(budget.limit()) ||
        !budget.charge(static_cast<std::size_t>(held))) {
        why = budget.refusal();
        return false;
    }

    std::vector<uint8_t> pixels(static_cast<std::size_t>(w) * h * channels);
    uint16_t planar = PLANARCONFIG_CONTIG;
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    // Grey and 8-bit RGB strips, which is what scans are, are decoded row
    // after row, once: asking libtiff's RGBA interface for a band in the
    // middle of a strip decodes the strip again from its start, which on a
    // large one-strip page costs time with the square of its height.
    const bool byRows = !TIFFIsTiled(tif) && planar == PLANARCONFIG_CONTIG &&
                        ((grey && (bps == 1 || bps == 2 || bps == 4 || bps == 8)) ||
                         (photometric == PHOTOMETRIC_RGB && spp == 3 && bps == 8));
    if (byRows ? !readRows(tif, messages, w, h, bps, photometric, channels, pixels, why)
               : !readRgba(tif, messages, w, h, grey, channels, pixels, why)) {
        return false;
    }
    Raster raster;
    raster.dpi = xdpi;
    raster.width = static_cast<int>(w);
    raster.height = static_cast<int>(outRows);
    raster.channels = channels;
    if (stretch) {
        const std::size_t rowBytes = static_cast<std::size_t>(w) * channels;
        raster.pixels.resize(rowBytes * outRows);
        for (uint32_t y = 0; y < outRows; ++y) {
            const auto src = std::min<uint32_t>(h - 1, static_cast<uint32_t>(y * ydpi / xdpi));
            std::memcpy(raster.pixels.data() + y * rowBytes, pixels.data() + src * rowBytes,
                        rowBytes);
        }
    } else {
        raster.pixels = std::move(pixels);
    }
    page.width = w / xdpi * kUnitsPerInch;
    page.height = outRows / xdpi * kUnitsPerInch;
    raster.origin = {0, page.height};
    page.rasters.push_back(std::move(raster));
    return true;
}

bool readTiff(TIFF* tif, Messages& messages, const PageSink& sink, ReadError& error,
              PageBudget& budget) {
    int number = 0;
    do {
        ++number;
        Page page;
        std::string why;
        if (!readDirectory(tif, messages, page, why, budget)) {
            error.message = "page " + std::to_string(number) + ": " + why;
            return false;
        }
        if (!sink(std::move(page))) {
            return true;
        }
    } while (TIFFReadDirectory(tif));
    if (!messages.firstError.empty()) {
        error.message = "after page " + std::to_string(number) + ": " + messages.firstError;
        return false;
    }
    return true;
}

std::unique_ptr<TIFFOpenOptions, OptionsFree> options(Messages& messages) {
    std::unique_ptr<TIFFOpenOptions, OptionsFree> opts(TIFFOpenOptionsAlloc());
    TIFFOpenOptionsSetErrorHandlerExtR(opts.get(), onError, &messages);
    TIFFOpenOptionsSetWarningHandlerExtR(opts.get(), onWarning, nullptr);
    // A strip or tile larger than a page may be never asks for more.
    TIFFOpenOptionsSetMaxSingleMemAlloc(opts.get(), static_cast<tmsize_t>(kTiffMaxPageBytes));
    return opts;
}

bool finish(TIFF* raw, Messages& messages, const PageSink& sink, ReadError& error,
            std::uintmax_t fileBytes) {
    error = ReadError();
    if (raw == nullptr) {
        error.message = "not a readable TIFF" +
                        (messages.firstError.empty() ? std::string() : ": " + messages.firstError);
        return false;
    }
    TiffPtr tif(raw);
    PageBudget budget(pageBudgetFor(fileBytes));
    return readTiff(tif.get(), messages, sink, error, budget);
}

}  // namespace

bool readTiffFile(const std::string& path, const PageSink& sink, ReadError& error) {
    Messages messages;
    auto opts = options(messages);
    return finish(TIFFOpenExt(path.c_str(), "r", opts.get()), messages, sink, error,
                  fileBytesOf(path));
}

bool readTiffBytes(const void* data, std::size_t size, const PageSink& sink, ReadError& error) {
    Messages messages;
    auto opts = options(messages);
    Memory memory{static_cast<const unsigned char*>(data), size};
    return finish(TIFFClientOpenExt("memory", "rm", &memory, memRead, memWrite, memSeek, memClose,
                                    memSize, nullptr, nullptr, opts.get()),
                  messages, sink, error, size);
}

}  // namespace drawing
