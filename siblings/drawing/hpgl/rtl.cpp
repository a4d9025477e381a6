#include "drawing/hpgl/rtl.h"

#include "drawing/bit_rows.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace drawing::rtl {

namespace {

// Rows are kept one vector each; a skipped row is an empty vector.
constexpr std::size_t kMaxRows = 2u * 1024 * 1024;

Rgb rgb(int r, int g, int b) {
    return static_cast<Rgb>((r & 0xFF) << 16 | (g & 0xFF) << 8 | (b & 0xFF));
}

bool isGrey(Rgb c) {
    return ((c >> 16) & 0xFF) == ((c >> 8) & 0xFF) && ((c >> 8) & 0xFF) == (c & 0xFF);
}

int bitAt(const std::vector<std::uint8_t>& plane, std::size_t pixel) {
    const std::size_t byte = pixel / 8;
    if (byte >= plane.size()) {
        return 0;
    }
    return (plane[byte] >> (7 - pixel % 8)) & 1;
}

using Bytes = std::vector<std::uint8_t>;

// A count or offset that goes on in further bytes while they are 255.
void extend(const Bytes& data, std::size_t& i, std::size_t& value) {
    while (i < data.size()) {
        const std::uint8_t more = data[i++];
        value += more;
        if (more != 255) {
            break;
        }
    }
}

// Mode 1: pairs of count-1 and byte.
void runLength(const Bytes& data, Bytes& out) {
    for (std::size_t i = 0; i + 1 < data.size() && out.size() < kMaxRowBytes; i += 2) {
        out.insert(out.end(), std::size_t{data[i]} + 1, data[i + 1]);
    }
}

// Mode 2: TIFF PackBits.
void packBits(const Bytes& data, Bytes& out) {
    const std::size_t n = data.size();
    for (std::size_t i = 0; i < n && out.size() < kMaxRowBytes;) {
        const int control = static_cast<std::int8_t>(data[i++]);
        if (control >= 0) {
            const std::size_t count = std::min<std::size_t>(control + 1, n - i);
            out.insert(out.end(), data.begin() + static_cast<long>(i),
                       data.begin() + static_cast<long>(i + count));
            i += count;
        } else if (control != -128 && i < n) {
            out.insert(out.end(), static_cast<std::size_t>(1 - control), data[i++]);
        }
    }
}

// Mode 3: delta row, bytes replaced in the seed row.
void deltaRow(const Bytes& data, const Bytes& seed, Bytes& out) {
    out = seed;
    const std::size_t n = data.size();
    std::size_t pos = 0;
    for (std::size_t i = 0; i < n;) {
        const int command = data[i++];
        const std::size_t count = static_cast<std::size_t>(command >> 5) + 1;
        std::size_t offset = static_cast<std::size_t>(command & 31);
        if (offset == 31) {
            extend(data, i, offset);
        }
        pos += offset;
        if (pos >= kMaxRowBytes) {
            break;
        }
        for (std::size_t k = 0; k < count && i < n && pos < kMaxRowBytes; ++k) {
            if (pos >= out.size()) {
                out.resize(pos + 1, 0);
            }
            out[pos++] = data[i++];
        }
    }
}

// One command of a replacement delta row: skip offset bytes of the seed,
// then replace count bytes, with literal bytes or with one byte repeated.
struct Replacement {
    std::size_t offset = 0;
    std::size_t count = 0;
    bool repeated = false;
};

// Reads the command byte at i and the 255-continued counts after it.
Replacement readReplacement(const Bytes& data, std::size_t& i) {
    const int command = data[i++];
    Replacement r;
    r.repeated = command & 0x80;
    r.offset = r.repeated ? (command >> 5) & 3 : (command >> 3) & 15;
    r.count = r.repeated ? command & 31 : command & 7;
    if (r.offset == (r.repeated ? 3u : 15u)) {
        extend(data, i, r.offset);
    }
    if (r.count == (r.repeated ? 31u : 7u)) {
        extend(data, i, r.count);
    }
    r.count += r.repeated ? 2 : 1;
    return r;
}

// Mode 9: replacement delta row, literal or repeated replacements.
void replacementDeltaRow(const Bytes& data, const Bytes& seed, Bytes& out) {
    out = seed;
    const std::size_t n = data.size();
    std::size_t pos = 0;
    for (std::size_t i = 0; i < n;) {
        const Replacement r = readReplacement(data, i);
        pos += r.offset;
        if (pos >= kMaxRowBytes) {
            break;
        }
        const std::size_t count = std::min(r.count, kMaxRowBytes - pos);
        if (out.size() < pos + count) {
            out.resize(pos + count, 0);
        }
        if (r.repeated) {
            if (i < n) {
                std::fill_n(out.begin() + static_cast<long>(pos), count, data[i++]);
            }
        } else {
            for (std::size_t k = 0; k < count && i < n; ++k) {
                out[pos + k] = data[i++];
            }
        }
        pos += count;
    }
}

}  // namespace

void decompressRow(int mode, const std::vector<std::uint8_t>& data,
                   const std::vector<std::uint8_t>& seed, std::vector<std::uint8_t>& out) {
    out.clear();
    switch (mode) {
        case 1:
            runLength(data, out);
            break;
        case 2:
            packBits(data, out);
            break;
        case 3:
            deltaRow(data, seed, out);
            break;
        case 9:
            replacementDeltaRow(data, seed, out);
            break;
        default:
            out.assign(data.begin(),
                       data.begin() + static_cast<long>(std::min(data.size(), kMaxRowBytes)));
            break;
    }
    if (out.size() > kMaxRowBytes) {
        out.resize(kMaxRowBytes);
    }
}

void RasterBuilder::reset() {
    *this = RasterBuilder();
}

void RasterBuilder::setResolution(double dpi) {
    if (std::isfinite(dpi) && dpi >= 1 && dpi <= 10000) {
        dpi_ = dpi;
    }
}

void RasterBuilder::setSimpleColor(int planes) {
    if (active_) {
        return;
    }
    palette_.clear();
    format_ = planes == 3 ? Format::SimpleRgb : planes == -3 ? Format::SimpleCmy : Format::Mono;
    bitsPerIndex_ = 1;
}

void RasterBuilder::configureImageData(const std::vector<std::uint8_t>& cid) {
    if (active_ || cid.size() < 6) {
        return;
    }
    const int mode = cid[1];
    bitsPerIndex_ = std::clamp<int>(cid[2], 1, 8);
    switch (mode) {
        case 0:
            format_ = Format::IndexedPlanes;
            break;
        case 1:
            format_ = Format::IndexedPixel;
            if (bitsPerIndex_ != 1 && bitsPerIndex_ != 2 && bitsPerIndex_ != 4) {
                bitsPerIndex_ = 8;
            }
            break;
        case 2:
            format_ = Format::DirectPlanes;
            break;
        default:
            format_ = Format::DirectPixel;
            break;
    }
    defaultPalette();
}

void RasterBuilder::defaultPalette() {
    palette_.assign(std::size_t{1} << bitsPerIndex_, kBlack);
    if (bitsPerIndex_ == 1) {
        palette_[0] = kWhite;
        palette_[1] = kBlack;
        return;
    }
    for (std::size_t i = 0; i < palette_.size(); ++i) {
        if (i < 8) {
            palette_[i] = rgb(i & 1 ? 255 : 0, i & 2 ? 255 : 0, i & 4 ? 255 : 0);
        } else {
            const int g = static_cast<int>(255 * i / (palette_.size() - 1));
            palette_[i] = rgb(g, g, g);
        }
    }
}

void RasterBuilder::setColorComponent(int which, double value) {
    if (which >= 0 && which < 3 && std::isfinite(value)) {
        component_[which] = std::clamp(value, 0.0, 255.0);
    }
}

void RasterBuilder::assignColorIndex(long index) {
    if (palette_.empty()) {
        defaultPalette();
    }
    if (index >= 0 && static_cast<std::size_t>(index) < palette_.size()) {
        palette_[static_cast<std::size_t>(index)] =
            rgb(static_cast<int>(std::lround(component_[0])),
                static_cast<int>(std::lround(component_[1])),
                static_cast<int>(std::lround(component_[2])));
    }
    component_[0] = component_[1] = component_[2] = 0;
}

int RasterBuilder::planeCount() const {
    switch (format_) {
        case Format::SimpleRgb:
        case Format::SimpleCmy:
        case Format::DirectPlanes:
            return 3;
        case Format::IndexedPlanes:
            return bitsPerIndex_;
        default:
            return 1;
    }
}

int RasterBuilder::channels() const {
    switch (format_) {
        case Format::Mono:
        case Format::IndexedPlanes:
        case Format::IndexedPixel:
            return std::all_of(palette_.begin(), palette_.end(), isGrey) ? 1 : 3;
        default:
            return 3;
    }
}

void RasterBuilder::start() {
    if (active_) {
        return;
    }
    if (palette_.empty()) {
        if (format_ == Format::Mono) {
            bitsPerIndex_ = 1;
        }
        defaultPalette();
    }
    active_ = true;
    channelsOfImage_ = channels();
    seeds_.assign(static_cast<std::size_t>(planeCount()), {});
    planes_.clear();
    rows_.clear();
    bytes_ = 0;
    widestRow_ = 0;
    image_.clear();
    rowCount_ = 0;
    stride_ = static_cast<std::size_t>(std::max<long>(sourceWidth_, 0)) *
              static_cast<std::size_t>(channelsOfImage_);
    if (stride_ > 0 && sourceHeight_ > 0) {
        image_.reserve(std::min(stride_ * static_cast<std::size_t>(sourceHeight_), limit_));
    }
}

bool RasterBuilder::addPlane(const std::vector<std::uint8_t>& data, bool lastPlane) {
    if (!active_) {
        start();
    }
    const std::size_t index = planes_.size();
    if (index < seeds_.size()) {
        std::vector<std::uint8_t> decoded;
        decompressRow(compression_, data, seeds_[index], decoded);
        if (sourceWidth_ > 0) {
            const std::size_t bits = format_ == Format::DirectPixel    ? 24
                                     : format_ == Format::IndexedPixel ? bitsPerIndex_
                                                                       : 1;
            decoded.resize(
                std::min(decoded.size(), (static_cast<std::size_t>(sourceWidth_) * bits + 7) / 8));
        }
        seeds_[index] = decoded;
        planes_.push_back(std::move(decoded));
    }
    if (!lastPlane) {
        return true;
    }
    combineRow();
    return bytes_ <= limit_;
}

// Pixels in the row the planes now hold: as many as the first plane's bytes
// carry in the pixel formats, as the widest plane's bits in the planar ones,
// never more than the source width.
std::size_t RasterBuilder::rowPixels() const {
    std::size_t pixels = 0;
    switch (format_) {
        case Format::IndexedPixel:
            pixels = planes_[0].size() * 8 / static_cast<std::size_t>(bitsPerIndex_);
            break;
        case Format::DirectPixel:
            pixels = planes_[0].size() / 3;
            break;
        default:
            for (const auto& plane : planes_) {
                pixels = std::max(pixels, plane.size() * 8);
            }
            break;
    }
    if (sourceWidth_ > 0) {
        pixels = std::min(pixels, static_cast<std::size_t>(sourceWidth_));
    }
    return pixels;
}

// The colour of pixel x of the row, from its planes as the format says.
Rgb RasterBuilder::pixelColour(std::size_t x) const {
    switch (format_) {
        case Format::Mono:
        case Format::IndexedPlanes: {
            std::size_t index = 0;
            for (std::size_t p = 0; p < planes_.size(); ++p) {
                index |= static_cast<std::size_t>(bitAt(planes_[p], x)) << p;
            }
            return index < palette_.size() ? palette_[index] : kBlack;
        }
        case Format::SimpleRgb:
        case Format::DirectPlanes:
            return rgb(bitAt(planes_[0], x) ? 255 : 0, bitAt(planes_[1], x) ? 255 : 0,
                       bitAt(planes_[2], x) ? 255 : 0);
        case Format::SimpleCmy:
            return rgb(bitAt(planes_[0], x) ? 0 : 255, bitAt(planes_[1], x) ? 0 : 255,
                       bitAt(planes_[2], x) ? 0 : 255);
        case Format::IndexedPixel: {
            const auto bits = static_cast<std::size_t>(bitsPerIndex_);
            const std::size_t bit = x * bits;
            const std::size_t index =
                (planes_[0][bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
            return index < palette_.size() ? palette_[index] : kBlack;
        }
        case Format::DirectPixel:
            return rgb(planes_[0][3 * x], planes_[0][3 * x + 1], planes_[0][3 * x + 2]);
    }
    return kWhite;
}

void RasterBuilder::combineRow() {
    while (planes_.size() < seeds_.size()) {
        planes_.emplace_back();
    }
    const std::size_t pixels = rowPixels();
    const auto ch = static_cast<std::size_t>(channelsOfImage_);
    // Straight into the image when its width is known (a row never holds
    // more than the width); else into a row of its own, kept until the
    // widest is known.
    std::vector<std::uint8_t> own;
    std::uint8_t* row = nullptr;
    if (stride_ > 0) {
        if ((rowCount_ + 1) * stride_ > limit_) {
            bytes_ = limit_ + 1;
            planes_.clear();
            return;
        }
        image_.resize((rowCount_ + 1) * stride_, 0xFF);
        row = image_.data() + rowCount_ * stride_;
    } else {
        own.resize(pixels * ch);
        row = own.data();
    }
    if (planes_.size() == 1 && ch == 1 && bitsPerIndex_ == 1 &&
        (format_ == Format::Mono || format_ == Format::IndexedPlanes)) {
        // The common monochrome case, eight pixels a byte.
        expandBitRow(planes_[0].data(), pixels, static_cast<std::uint8_t>(palette_[0] & 0xFF),
                     static_cast<std::uint8_t>(palette_[1] & 0xFF), row);
    } else if (format_ == Format::DirectPixel && ch == 3) {
        // Three bytes a pixel in, three out.
        std::memcpy(row, planes_[0].data(), pixels * 3);
    } else if (format_ == Format::IndexedPixel && bitsPerIndex_ == 8 && ch == 1) {
        // A byte a pixel through the palette, looked up once a row.
        std::array<std::uint8_t, 256> grey{};
        for (std::size_t i = 0; i < grey.size(); ++i) {
            grey[i] =
                static_cast<std::uint8_t>((i < palette_.size() ? palette_[i] : kBlack) & 0xFF);
        }
        const std::uint8_t* in = planes_[0].data();
        for (std::size_t x = 0; x < pixels; ++x) {
            row[x] = grey[in[x]];
        }
    } else {
        for (std::size_t x = 0; x < pixels; ++x) {
            const Rgb c = pixelColour(x);
            if (ch == 1) {
                row[x] = static_cast<std::uint8_t>(c & 0xFF);
            } else {
                row[3 * x] = static_cast<std::uint8_t>(c >> 16);
                row[3 * x + 1] = static_cast<std::uint8_t>(c >> 8);
                row[3 * x + 2] = static_cast<std::uint8_t>(c);
            }
        }
    }
    planes_.clear();
    if (stride_ > 0) {
        ++rowCount_;
        bytes_ = image_.size();
    } else {
        appendRow(std::move(own));
    }
}

bool RasterBuilder::appendRow(std::vector<std::uint8_t>&& pixels) {
    if (stride_ > 0) {
        if ((rowCount_ + 1) * stride_ > limit_) {
            bytes_ = limit_ + 1;
            return false;
        }
        image_.resize((rowCount_ + 1) * stride_, 0xFF);
        std::copy_n(pixels.begin(), std::min(pixels.size(), stride_),
                    image_.begin() + static_cast<long>(rowCount_ * stride_));
        ++rowCount_;
        bytes_ = image_.size();
        return true;
    }
    if (rows_.size() >= kMaxRows) {
        bytes_ = limit_ + 1;
        return false;
    }
    widestRow_ = std::max<long>(widestRow_, static_cast<long>(pixels.size()) / channelsOfImage_);
    bytes_ += pixels.size();
    rows_.push_back(std::move(pixels));
    return bytes_ <= limit_;
}

bool RasterBuilder::skipRows(long rows) {
    if (!active_) {
        start();
    }
    for (auto& seed : seeds_) {
        std::fill(seed.begin(), seed.end(), 0);
    }
    for (long i = 0; i < rows; ++i) {
        if (!appendRow({})) {
            return false;
        }
    }
    return true;
}

bool RasterBuilder::finish(Raster& out, bool& hasImage, std::string& error) {
    hasImage = false;
    if (!active_) {
        return true;
    }
    active_ = false;
    auto width = static_cast<std::size_t>(sourceWidth_ > 0 ? sourceWidth_ : widestRow_);
    std::size_t height = rows_.size();
    if (sourceHeight_ > 0) {
        height = static_cast<std::size_t>(sourceHeight_);
    }
    const auto ch = static_cast<std::size_t>(channelsOfImage_);
    if (stride_ > 0) {
        // Rows were laid out at the stride the image started with.
        width = stride_ / ch;
        if (sourceHeight_ <= 0) {
            height = rowCount_;
        }
        if (rowCount_ == 0 || height == 0) {
            image_.clear();
            return true;
        }
        if (width > limit_ / ch / height) {
            image_.clear();
            error = "raster image too large";
            return false;
        }
        image_.resize(height * stride_, 0xFF);
        out = Raster();
        out.dpi = dpi_;
        out.width = static_cast<int>(width);
        out.height = static_cast<int>(height);
        out.channels = channelsOfImage_;
        out.pixels = std::move(image_);
        image_ = {};
        hasImage = true;
        return true;
    }
    if (width == 0 || height == 0 || rows_.empty()) {
        rows_.clear();
        return true;
    }
    if (width > limit_ / ch / height) {
        rows_.clear();
        error = "raster image too large";
        return false;
    }
    out = Raster();
    out.dpi = dpi_;
    out.width = static_cast<int>(width);
    out.height = static_cast<int>(height);
    out.channels = channelsOfImage_;
    out.pixels.assign(width * height * ch, 0xFF);
    for (std::size_t y = 0; y < height && y < rows_.size(); ++y) {
        const auto& row = rows_[y];
        std::copy_n(row.begin(), std::min(row.size(), width * ch),
                    out.pixels.begin() + static_cast<long>(y * width * ch));
    }
    rows_.clear();
    rows_.shrink_to_fit();
    hasImage = true;
    return true;
}

}  // namespace drawing::rtl
