// Multi-page TIFF: black-and-white pages as CCITT Group 4; colour pages
// with LZW or Deflate, as 8-bit palette images when the page's colours fit
// in one (plots drawn in pens), else as RGB.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "drawing/page.h"
#include "drawing/render/render.h"

struct tiff;

namespace drawing {

enum class TiffColorCompression { Lzw, Deflate };

struct TiffOptions {
    double dpi = 300;
    TiffColorCompression color = TiffColorCompression::Lzw;
};

class TiffWriter {
  public:
    TiffWriter();
    ~TiffWriter();
    TiffWriter(const TiffWriter&) = delete;
    TiffWriter& operator=(const TiffWriter&) = delete;

    bool open(const std::string& path, std::string& error);
    // Renders the page band by band into a new directory of the file.
    bool addPage(const Page& page, const TiffOptions& opts, std::string& error);
    bool close(std::string& error);
    int pages() const { return pages_; }

  private:
    struct Closer {
        void operator()(tiff* t) const;
    };
    std::unique_ptr<tiff, Closer> tif_;
    std::string path_;
    int pages_ = 0;
};

// One directory of a TIFF file as read back: pixels as 8-bit grey (bi-level
// pages as 0 and 255) or RGB (palette pages too), with the tags that matter.
struct TiffPage {
    Image image;
    int compression = 0;  // the TIFF compression tag: 4 G4, 5 LZW, 8 Deflate
    int bitsPerSample = 0;
    int photometric = 0;  // 0 min-is-white, 2 RGB, 3 palette
    double xDpi = 0;
    double yDpi = 0;
};

// Reads every page of a TIFF file that we write (strips, 1-bit or 8-bit
// grey, 8-bit RGB). Meant for checking our own output, not for any TIFF.
bool readTiff(const std::string& path, std::vector<TiffPage>& pages, std::string& error);

}  // namespace drawing
