// The memory one page may take while it is read: a multiple of the page's
// own size, with a floor, so that a small file that asks for an enormous
// page is refused in one line instead of exhausting the machine.
//
// A page's own size is the size of the file it comes from. It is known
// before anything is read, a file cannot make it larger than it is, and
// what a page builds grows with it: points, texts and pixels all come from
// bytes of the file, except where a file repeats or expands what it holds
// (figures placing figures, forms drawing forms, compressed streams). The
// floor keeps every ordinary page far below its budget: the sample pages
// of real drawings build at most a few megabytes, and an A0 sheet scanned
// at 400 dpi in grey, the largest page the programs are meant for, builds
// 248 MB of pixels; the floor is half as much again.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "drawing/page.h"

namespace drawing {

inline constexpr std::size_t kPageBudgetFloor = std::size_t(384) << 20;
inline constexpr std::size_t kPageBudgetPerFileByte = 64;

// The budget of each page of a file of fileBytes bytes (0: not known).
std::size_t pageBudgetFor(std::uintmax_t fileBytes);

// The size of the file at path; 0 when it cannot be seen.
std::uintmax_t fileBytesOf(const std::string& path);

// The bytes the model of a page holds: each element with its points, dash
// pattern, text and pixels.
std::size_t bytesOf(const Path& path);
std::size_t bytesOf(const Text& text);
std::size_t bytesOf(const Raster& raster);
std::size_t bytesOf(const Page& page);

// What a page has built so far against its budget.
class PageBudget {
  public:
    explicit PageBudget(std::size_t limit = kPageBudgetFloor) : limit_(limit) {}

    std::size_t limit() const { return limit_; }
    std::size_t used() const { return used_; }

    // What is left, and whether bytes more still fit.
    std::size_t room() const { return limit_ - std::min(limit_, used_); }
    bool fits(std::size_t bytes) const { return bytes <= room(); }
    // Adds bytes; false (and the page is over) when they do not fit. A
    // refused charge is not added.
    bool charge(std::size_t bytes);
    void release(std::size_t bytes) { used_ -= std::min(used_, bytes); }
    // The next page starts from nothing.
    void startPage() {
        used_ = 0;
        over_ = false;
    }
    bool over() const { return over_; }

    // The one-line reason of a refused page.
    std::string refusal() const;

  private:
    std::size_t limit_;
    std::size_t used_ = 0;
    bool over_ = false;
};

}  // namespace drawing
