#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "sandrel/align.h"
#include "sandrel/bitmask.h"
#include "sandrel/ink.h"

namespace sandrel {
namespace {

// Every pixel looks at its whole square: slow and plainly right.
std::vector<std::uint8_t> plainDilate(const std::vector<std::uint8_t>& mask, int w, int h, int r) {
    std::vector<std::uint8_t> out(mask.size(), 0);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            bool near = false;
            for (int v = std::max(0, y - r); v <= std::min(h - 1, y + r) && !near; ++v) {
                for (int u = std::max(0, x - r); u <= std::min(w - 1, x + r); ++u) {
                    if (mask[static_cast<std::size_t>(v) * w + u] != 0) {
                        near = true;
                        break;
                    }
                }
            }
            out[static_cast<std::size_t>(y) * w + x] = near ? 1 : 0;
        }
    }
    return out;
}

// Sparse dots and a few runs, with any non-zero byte standing for ink.
std::vector<std::uint8_t> randomMask(std::mt19937& rng, int w, int h, double share) {
    std::vector<std::uint8_t> mask(static_cast<std::size_t>(w) * h, 0);
    std::bernoulli_distribution ink(share);
    std::uniform_int_distribution<int> value(1, 255);
    for (auto& m : mask) {
        if (ink(rng)) {
            m = static_cast<std::uint8_t>(value(rng));
        }
    }
    return mask;
}

TEST(BitMask, PackAndUnpackKeepEveryPixelAtAnyWidth) {
    std::mt19937 rng(7);
    for (const int w : {1, 7, 63, 64, 65, 129, 200}) {
        const int h = 5;
        const auto mask = randomMask(rng, w, h, 0.3);
        const BitMask bits = packMask(mask, w, h);
        ASSERT_EQ(bits.words, static_cast<std::size_t>((w + 63) / 64));
        const auto back = unpackMask(bits);
        ASSERT_EQ(back.size(), mask.size());
        for (std::size_t i = 0; i < mask.size(); ++i) {
            ASSERT_EQ(back[i], mask[i] != 0 ? 1 : 0) << "width " << w << " pixel " << i;
            ASSERT_EQ(bits.at(static_cast<int>(i % w), static_cast<int>(i / w)), mask[i] != 0);
        }
        // Nothing beyond the width.
        if (w % 64 != 0) {
            for (int y = 0; y < h; ++y) {
                EXPECT_EQ(bits.row(y)[bits.words - 1] >> (w % 64), 0u);
            }
        }
    }
}

TEST(BitMask, DilateEqualsThePlainSquareOnRandomImages) {
    std::mt19937 rng(11);
    struct Case {
        int w, h, r;
        double share;
    };
    const Case cases[] = {
        {1, 1, 1, 1.0},      {1, 9, 2, 0.2},        {9, 1, 2, 0.2},       {63, 20, 1, 0.02},
        {64, 20, 2, 0.02},   {65, 17, 3, 0.02},     {130, 40, 2, 0.01},   {200, 33, 5, 0.005},
        {257, 50, 7, 0.002}, {150, 90, 70, 0.0005}, {300, 12, 64, 0.001}, {100, 100, 0, 0.05},
        {140, 30, 8, 0.01},  {140, 30, 9, 0.01},    {200, 20, 63, 0.001},
    };
    for (const Case& c : cases) {
        const auto mask = randomMask(rng, c.w, c.h, c.share);
        const auto want = plainDilate(mask, c.w, c.h, c.r);
        const auto got = dilate(mask, c.w, c.h, c.r);
        if (c.r == 0) {
            EXPECT_EQ(got, mask);
            continue;
        }
        ASSERT_EQ(got.size(), want.size());
        std::size_t wrong = 0;
        for (std::size_t i = 0; i < want.size(); ++i) {
            wrong += got[i] != want[i] ? 1 : 0;
        }
        EXPECT_EQ(wrong, 0u) << c.w << " by " << c.h << ", radius " << c.r;
    }
}

TEST(BitMask, DilateReachesTheImageEdgesAndStopsThere) {
    // One ink pixel in each corner of a 70 by 5 image: the squares are cut
    // off at the edges, and a radius wider than the image fills it.
    const int w = 70;
    const int h = 5;
    std::vector<std::uint8_t> mask(static_cast<std::size_t>(w) * h, 0);
    mask[0] = 1;
    mask[static_cast<std::size_t>(h) * w - 1] = 1;
    const auto near = dilate(mask, w, h, 2);
    const auto at = [&](int x, int y) { return near[static_cast<std::size_t>(y) * w + x]; };
    EXPECT_EQ(at(2, 2), 1);
    EXPECT_EQ(at(3, 0), 0);
    EXPECT_EQ(at(0, 3), 0);
    EXPECT_EQ(at(67, 2), 1);
    EXPECT_EQ(at(66, 4), 0);
    EXPECT_EQ(at(35, 2), 0);
    const auto all = dilate(mask, w, h, 100);
    EXPECT_TRUE(std::all_of(all.begin(), all.end(), [](std::uint8_t v) { return v == 1; }));
}

TEST(BitMask, MovedAsBitsIsTheMovedMask) {
    std::mt19937 rng(3);
    const int w = 131;
    const int h = 77;
    // Dense ink, and ink so sparse that most blocks of the result find
    // none under them.
    for (const double share : {0.1, 0.002}) {
        const auto mask = randomMask(rng, w, h, share);
        for (const PixelTransform& t :
             {PixelTransform{0.03, 1.01, 4.5, -7.25}, PixelTransform{-0.02, 0.99, -3, 2},
              PixelTransform{}, PixelTransform{0.5, 1.3, 60, -30}}) {
            const auto bytes = transformMask(mask, w, h, t);
            const BitMask bits = transformBits(packMask(mask, w, h), t);
            std::size_t wrong = 0;
            for (int y = 0; y < h; ++y) {
                for (int x = 0; x < w; ++x) {
                    wrong += bits.at(x, y) != (bytes[static_cast<std::size_t>(y) * w + x] != 0);
                }
            }
            EXPECT_EQ(wrong, 0u);
            EXPECT_EQ(bits.bits, packMask(bytes, w, h).bits);
        }
    }
}

// The small turns and scales a scanner leaves, which move long stretches
// of a row as runs of bits, on masks wide enough for whole blocks well
// within them; a turn alone, a scale alone, a scale of exactly 1 or
// nearly, with sources on and off the columns' edges.
TEST(BitMask, SmallCorrectionsMoveAsTheMovedMask) {
    std::mt19937 rng(7);
    const int w = 517;
    const int h = 203;
    for (const double share : {0.3, 0.05}) {
        const auto mask = randomMask(rng, w, h, share);
        for (const PixelTransform& t :
             {PixelTransform{0.0007, 1.0002, 2.25, -1.5}, PixelTransform{-0.035, 1.0, 0.5, 0.5},
              PixelTransform{0.0, 0.992, -3.75, 1.0}, PixelTransform{0.0, 1.0, 5.5, -2.0},
              PixelTransform{0.012, 1.011, 0.0, 0.0}, PixelTransform{0.0, 1.0, 2.3, 1.7},
              PixelTransform{1e-6, 1.0, 0.37, 0.0}, PixelTransform{0.0, 0.9705, 1.25, 0.5},
              PixelTransform{-0.0002, 1.0000000004, -0.61, 3.0}}) {
            const auto bytes = transformMask(mask, w, h, t);
            EXPECT_EQ(transformBits(packMask(mask, w, h), t).bits, packMask(bytes, w, h).bits)
                << t.angleRad << " " << t.scale;
        }
    }
}

// Each cell's share of ink, against a plain count, for the cell sizes of
// the search's levels, on sizes that leave cells cut off at the right and
// at the bottom, and words shared by cells or cells wider than a word.
TEST(BitMask, CellDensityIsTheShareOfInkOfEachCell) {
    std::mt19937 rng(9);
    for (const auto& [w, h] : {std::pair{517, 203}, std::pair{130, 67}, std::pair{64, 2}}) {
        for (const double share : {0.4, 0.03}) {
            const auto mask = randomMask(rng, w, h, share);
            const BitMask bits = packMask(mask, w, h);
            for (const int f : {2, 4, 8, 16, 64, 128}) {
                const int cw = (w + f - 1) / f;
                const int ch = (h + f - 1) / f;
                const std::vector<float> got = cellDensity(bits, f);
                ASSERT_EQ(got.size(), static_cast<std::size_t>(cw) * ch);
                std::size_t wrong = 0;
                for (int cy = 0; cy < ch; ++cy) {
                    for (int cx = 0; cx < cw; ++cx) {
                        int ink = 0;
                        for (int y = cy * f; y < std::min(h, (cy + 1) * f); ++y) {
                            for (int x = cx * f; x < std::min(w, (cx + 1) * f); ++x) {
                                ink += mask[static_cast<std::size_t>(y) * w + x] != 0 ? 1 : 0;
                            }
                        }
                        const float want = static_cast<float>(ink) / static_cast<float>(f * f);
                        wrong += got[static_cast<std::size_t>(cy) * cw + cx] != want ? 1 : 0;
                    }
                }
                EXPECT_EQ(wrong, 0u) << w << " by " << h << ", cells of " << f;
            }
        }
    }
}

TEST(BitMask, ATransformGoneWrongMovesNothingOntoThePage) {
    std::mt19937 rng(4);
    const auto mask = randomMask(rng, 100, 60, 0.2);
    const PixelTransform flat{0.1, 0, 3, 4};  // every point onto no place at all
    const auto bytes = transformMask(mask, 100, 60, flat);
    EXPECT_TRUE(std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t v) { return v == 0; }));
    const BitMask bits = transformBits(packMask(mask, 100, 60), flat);
    EXPECT_TRUE(
        std::all_of(bits.bits.begin(), bits.bits.end(), [](std::uint64_t v) { return v == 0; }));
}

}  // namespace
}  // namespace sandrel
