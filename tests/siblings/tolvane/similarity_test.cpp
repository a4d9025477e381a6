// Our rendering of a real plot against a rendering of it made elsewhere.
// The two differ in colours, background and margins, so what is compared is
// where the ink lies: both are cropped to their ink, pooled onto one coarse
// grid and each side's ink is matched against the other's within one cell.
#include <cairo.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "drawing/hpgl/hpgl.h"
#include "drawing/render/render.h"
#include "test_util.h"

namespace {

using tolvane::test::TempDir;

struct Mask {
    int width = 0, height = 0;
    std::vector<bool> ink;
    bool at(int x, int y) const {
        return x >= 0 && y >= 0 && x < width && y < height && ink[y * width + x];
    }
};

constexpr int kGridW = 160, kGridH = 120;
// Measured 0.785; an upside-down rendering scores 0.41.
constexpr double kMinSimilarity = 0.72;

// Crops to the ink's bounding box and pools it onto the grid.
Mask pool(const Mask& m) {
    int x0 = m.width, y0 = m.height, x1 = -1, y1 = -1;
    for (int y = 0; y < m.height; ++y) {
        for (int x = 0; x < m.width; ++x) {
            if (m.at(x, y)) {
                x0 = std::min(x0, x), x1 = std::max(x1, x);
                y0 = std::min(y0, y), y1 = std::max(y1, y);
            }
        }
    }
    Mask g{kGridW, kGridH, std::vector<bool>(kGridW * kGridH)};
    for (int y = y0; y <= y1; ++y) {
        for (int x = x0; x <= x1; ++x) {
            if (m.at(x, y)) {
                const int gx = (x - x0) * kGridW / (x1 - x0 + 1);
                const int gy = (y - y0) * kGridH / (y1 - y0 + 1);
                g.ink[gy * kGridW + gx] = true;
            }
        }
    }
    return g;
}

// Share of a's ink cells that have ink of b within one cell.
double matched(const Mask& a, const Mask& b, int& count) {
    int hits = 0;
    count = 0;
    for (int y = 0; y < a.height; ++y) {
        for (int x = 0; x < a.width; ++x) {
            if (!a.at(x, y)) {
                continue;
            }
            ++count;
            bool near = false;
            for (int dy = -1; dy <= 1 && !near; ++dy) {
                for (int dx = -1; dx <= 1 && !near; ++dx) {
                    near = b.at(x + dx, y + dy);
                }
            }
            hits += near;
        }
    }
    return count == 0 ? 0 : static_cast<double>(hits) / count;
}

TEST(Similarity, RenderingOfTestPlotMatchesTheExpectedImage) {
    TempDir dir;
    const std::string plot = tolvane::test::copySample("hpgl/hpgl-rendering/test.plt", dir.path());
    const std::string expectedPng =
        tolvane::test::copySample("hpgl/hpgl-rendering/test-expected.png", dir.path());

    std::vector<drawing::Page> pages;
    drawing::ReadError re;
    ASSERT_TRUE(drawing::readHpglFile(
        plot,
        [&](drawing::Page&& p) {
            pages.push_back(std::move(p));
            return true;
        },
        re))
        << re.message;
    ASSERT_EQ(pages.size(), 1u);
    drawing::RasterOptions o;
    o.dpi = 100;
    o.channels = 3;
    drawing::Image ours;
    std::string error;
    ASSERT_TRUE(drawing::renderPage(pages[0], o, ours, error)) << error;
    Mask a{ours.width, ours.height, std::vector<bool>(ours.width * ours.height)};
    for (int y = 0; y < ours.height; ++y) {
        for (int x = 0; x < ours.width; ++x) {
            const std::uint8_t* px = ours.row(y) + 3 * x;
            a.ink[y * ours.width + x] = std::min({px[0], px[1], px[2]}) < 160;
        }
    }

    std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> s(
        cairo_image_surface_create_from_png(expectedPng.c_str()), cairo_surface_destroy);
    ASSERT_EQ(cairo_surface_status(s.get()), CAIRO_STATUS_SUCCESS);
    const int w = cairo_image_surface_get_width(s.get());
    const int h = cairo_image_surface_get_height(s.get());
    const int stride = cairo_image_surface_get_stride(s.get());
    const unsigned char* data = cairo_image_surface_get_data(s.get());
    Mask b{w, h, std::vector<bool>(w * h)};
    for (int y = 0; y < h; ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(data + y * stride);
        for (int x = 0; x < w; ++x) {
            const std::uint32_t px = row[x];
            // Light ink on a dark background.
            b.ink[y * w + x] = std::max({(px >> 16) & 0xFF, (px >> 8) & 0xFF, px & 0xFF}) > 96;
        }
    }

    const Mask pa = pool(a), pb = pool(b);
    int na = 0, nb = 0;
    const double ab = matched(pa, pb, na);
    const double ba = matched(pb, pa, nb);
    const double similarity = (ab * na + ba * nb) / (na + nb);
    RecordProperty("similarity", std::to_string(similarity));
    std::printf("ink similarity %.3f (ours %d cells, expected %d cells)\n", similarity, na, nb);
    EXPECT_GT(similarity, kMinSimilarity);
}

}  // namespace
