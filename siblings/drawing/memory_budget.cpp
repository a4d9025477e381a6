#include "drawing/memory_budget.h"

#include <algorithm>
#include <filesystem>
#include <limits>

namespace drawing {

std::size_t pageBudgetFor(std::uintmax_t fileBytes) {
    constexpr auto kMax = std::numeric_limits<std::size_t>::max();
    if (fileBytes > kMax / kPageBudgetPerFileByte) {
        return kMax;
    }
    return std::max(kPageBudgetFloor, static_cast<std::size_t>(fileBytes) * kPageBudgetPerFileByte);
}

std::uintmax_t fileBytesOf(const std::string& path) {
    std::error_code ec;
    const auto n = std::filesystem::file_size(path, ec);
    return ec ? 0 : n;
}

std::size_t bytesOf(const Path& path) {
    return sizeof(Path) + path.points.size() * sizeof(Point) +
           path.subpathStarts.size() * sizeof(std::size_t) +
           path.stroke.dashMm.size() * sizeof(double);
}

std::size_t bytesOf(const Text& text) {
    return sizeof(Text) + text.text.size() + text.stroke.dashMm.size() * sizeof(double);
}

std::size_t bytesOf(const Raster& raster) {
    return sizeof(Raster) + raster.pixels.size();
}

std::size_t bytesOf(const Page& page) {
    std::size_t n = sizeof(Page);
    for (const auto& p : page.paths) {
        n += bytesOf(p);
    }
    for (const auto& t : page.texts) {
        n += bytesOf(t);
    }
    for (const auto& r : page.rasters) {
        n += bytesOf(r);
    }
    return n;
}

bool PageBudget::charge(std::size_t bytes) {
    if (!fits(bytes)) {
        over_ = true;
        return false;
    }
    used_ += bytes;
    return true;
}

std::string PageBudget::refusal() const {
    return "a page needs more than " + std::to_string(limit_ >> 20) +
           " MiB of memory, its budget (" + std::to_string(kPageBudgetPerFileByte) +
           " times the file's size, at least " + std::to_string(kPageBudgetFloor >> 20) + " MiB)";
}

}  // namespace drawing
