// HP RTL raster decoding: rows as they arrive in ESC*b...W/V transfers,
// turned into one drawing::Raster when the raster graphics end.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "drawing/page.h"

namespace drawing::rtl {

// One decoded image never exceeds this many bytes, so that a corrupt
// header cannot make the reader allocate without bound.
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
// Smaller under the fuzzer, which otherwise spends its time filling images.
inline constexpr std::size_t kMaxRasterBytes = 16u * 1024 * 1024;
#else
inline constexpr std::size_t kMaxRasterBytes = 256u * 1024 * 1024;
#endif
// A decompressed row is cut at this length (bytes of one plane).
inline constexpr std::size_t kMaxRowBytes = 256u * 1024;

// Decompresses one transferred row into out. seed is the previous row of
// the same plane (used by delta row compression). Unknown modes are taken
// as unencoded.
void decompressRow(int mode, const std::vector<std::uint8_t>& data,
                   const std::vector<std::uint8_t>& seed, std::vector<std::uint8_t>& out);

class RasterBuilder {
  public:
    // Resets everything a PCL/RTL reset resets.
    void reset();

    void setResolution(double dpi);
    // The width is that of the image being built: a change while rows come in
    // waits for the next image, as raster width changes do on a printer.
    void setSourceWidth(long pixels) {
        if (!active_) {
            sourceWidth_ = pixels;
        }
    }
    void setSourceHeight(long rows) { sourceHeight_ = rows; }
    void setCompression(int mode) { compression_ = mode; }
    // The image being built may take at most this many bytes (and never
    // more than kMaxRasterBytes): what the page's memory budget has left.
    void limitBytes(std::size_t bytes) { limit_ = std::min(bytes, kMaxRasterBytes); }
    // ESC*r#U: 1 monochrome, 3 RGB planes, -3 CMY planes.
    void setSimpleColor(int planes);
    // ESC*v#W with its data bytes.
    void configureImageData(const std::vector<std::uint8_t>& cid);
    void setColorComponent(int which, double value);  // 0 red, 1 green, 2 blue
    void assignColorIndex(long index);

    bool active() const { return active_; }
    void start();
    // A plane of the current row (ESC*b#V); lastPlane for ESC*b#W.
    // Returns false when the image grows beyond its limit.
    bool addPlane(const std::vector<std::uint8_t>& data, bool lastPlane);
    bool skipRows(long rows);
    // Builds the image from the rows so far and ends raster graphics.
    // Returns false (with error) when the image would be too large; hasImage
    // tells whether there was anything to hand on.
    bool finish(Raster& out, bool& hasImage, std::string& error);

    double dpi() const { return dpi_; }

  private:
    enum class Format {
        Mono,
        SimpleRgb,
        SimpleCmy,
        IndexedPlanes,
        IndexedPixel,
        DirectPlanes,
        DirectPixel
    };
    int planeCount() const;
    int channels() const;
    void defaultPalette();
    void combineRow();
    std::size_t rowPixels() const;
    Rgb pixelColour(std::size_t x) const;
    bool appendRow(std::vector<std::uint8_t>&& pixels);

    double dpi_ = 300;
    long sourceWidth_ = 0;
    long sourceHeight_ = 0;
    int compression_ = 0;
    Format format_ = Format::Mono;
    int bitsPerIndex_ = 1;
    std::vector<Rgb> palette_;
    double component_[3] = {0, 0, 0};

    bool active_ = false;
    int channelsOfImage_ = 1;
    std::vector<std::vector<std::uint8_t>> seeds_;
    std::vector<std::vector<std::uint8_t>> planes_;
    std::vector<std::vector<std::uint8_t>> rows_;
    // With a known source width rows go straight into the image.
    std::vector<std::uint8_t> image_;
    std::size_t stride_ = 0;
    std::size_t rowCount_ = 0;
    std::size_t bytes_ = 0;
    std::size_t limit_ = kMaxRasterBytes;
    long widestRow_ = 0;
};

}  // namespace drawing::rtl
