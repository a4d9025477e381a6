#include "sandrel/bitmask.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace sandrel {
namespace {

// Eight bytes of 0 or 1 for each byte of bits, lowest bit first.
constexpr std::array<std::uint64_t, 256> kSpread = [] {
    std::array<std::uint64_t, 256> table{};
    for (unsigned v = 0; v < 256; ++v) {
        std::uint64_t bytes = 0;
        for (unsigned k = 0; k < 8; ++k) {
            bytes |= static_cast<std::uint64_t>((v >> k) & 1u) << (8 * k);
        }
        table[v] = bytes;
    }
    return table;
}();

// The eight bytes at p as eight bits, byte k as bit k: set where the byte
// is not 0.
std::uint64_t packEight(const std::uint8_t* p) {
    std::uint64_t v = 0;
    std::memcpy(&v, p, 8);
    constexpr std::uint64_t low7 = 0x7F7F7F7F7F7F7F7Full;
    // The top bit of each byte: set when the byte is not 0.
    const std::uint64_t top = (((v & low7) + low7) | v) & ~low7;
    // Gathers bit 7 + 8k to bit 56 + k, then brings them down.
    return ((top >> 7) * 0x0102040810204080ull) >> 56;
}

// out[x] |= in[x - s] (towards higher x) for s > 0, or in[x + |s|] for
// s < 0, over a row of words; bits shifted beyond the row are lost.
void orShifted(const std::uint64_t* in, std::uint64_t* out, std::size_t words, long s) {
    if (s == 0) {
        for (std::size_t i = 0; i < words; ++i) {
            out[i] |= in[i];
        }
        return;
    }
    const auto n = static_cast<long>(words);
    const long step = (s > 0 ? s : -s) >> 6;
    const int bit = static_cast<int>((s > 0 ? s : -s) & 63);
    if (s > 0) {
        for (long i = n - 1; i >= step; --i) {
            const long from = i - step;
            std::uint64_t v = in[from] << bit;
            if (bit != 0 && from > 0) {
                v |= in[from - 1] >> (64 - bit);
            }
            out[i] |= v;
        }
    } else {
        for (long i = 0; i + step < n; ++i) {
            const long from = i + step;
            std::uint64_t v = in[from] >> bit;
            if (bit != 0 && from + 1 < n) {
                v |= in[from + 1] << (64 - bit);
            }
            out[i] |= v;
        }
    }
}

}  // namespace

BitMask::BitMask(int w, int h)
    : width(std::max(0, w)),
      height(std::max(0, h)),
      words((static_cast<std::size_t>(width) + 63) / 64),
      bits(words * static_cast<std::size_t>(height), 0) {}

BitMask packMask(const std::vector<std::uint8_t>& mask, int width, int height) {
    BitMask out(width, height);
    const auto w = static_cast<std::size_t>(out.width);
    for (int y = 0; y < out.height; ++y) {
        const std::uint8_t* in = mask.data() + static_cast<std::size_t>(y) * w;
        std::uint64_t* row = out.row(y);
        std::size_t x = 0;
        for (; x + 64 <= w; x += 64) {
            std::uint64_t word = 0;
            for (unsigned k = 0; k < 8; ++k) {
                word |= packEight(in + x + 8 * k) << (8 * k);
            }
            row[x / 64] = word;
        }
        for (; x < w; ++x) {
            if (in[x] != 0) {
                row[x / 64] |= std::uint64_t{1} << (x & 63);
            }
        }
    }
    return out;
}

std::vector<std::uint8_t> unpackMask(const BitMask& mask) {
    const auto w = static_cast<std::size_t>(mask.width);
    std::vector<std::uint8_t> out(w * static_cast<std::size_t>(mask.height));
    for (int y = 0; y < mask.height; ++y) {
        const std::uint64_t* row = mask.row(y);
        std::uint8_t* to = out.data() + static_cast<std::size_t>(y) * w;
        std::size_t x = 0;
        for (; x + 64 <= w; x += 64) {
            const std::uint64_t word = row[x / 64];
            for (unsigned k = 0; k < 8; ++k) {
                std::memcpy(to + x + 8 * k, &kSpread[(word >> (8 * k)) & 0xFF], 8);
            }
        }
        for (; x < w; ++x) {
            to[x] = static_cast<std::uint8_t>(row[x / 64] >> (x & 63) & 1u);
        }
    }
    return out;
}

BitMask dilateBits(const BitMask& mask, int radius) {
    if (radius <= 0 || mask.bits.empty()) {
        return mask;
    }
    const std::size_t words = mask.words;
    const int h = mask.height;
    // Across: each row ORed with itself shifted by up to radius either way,
    // the shifts doubling (the span covered grows 1, 2, 4, ... up to
    // radius + 1), so that the cost grows with the logarithm of the radius.
    BitMask across(mask.width, h);
    std::vector<std::uint64_t> up(words);
    std::vector<std::uint64_t> down(words);
    std::vector<std::uint64_t> shifted(words);
    const auto spread = [&](const std::uint64_t* in, std::vector<std::uint64_t>& out, long sign) {
        std::copy(in, in + words, out.begin());
        long span = 1;  // out[x] holds in[x - sign * k] for k in [0, span)
        while (span < radius + 1) {
            const long add = std::min<long>(span, radius + 1 - span);
            std::copy(out.begin(), out.end(), shifted.begin());
            orShifted(shifted.data(), out.data(), words, sign * add);
            span += add;
        }
    };
    if (radius < 64) {
        // A word at a time, with the bits its neighbours bring: the word
        // and the one before it as 128 bits spread towards higher x, the
        // word and the one after it towards lower x. The radii of a
        // tolerance at usual resolutions get their shifts unrolled.
        const auto rows = [&](auto fixed) {
            const int r = fixed() > 0 ? fixed() : radius;
            for (int y = 0; y < h; ++y) {
                const std::uint64_t* in = mask.row(y);
                std::uint64_t* out = across.row(y);
                for (std::size_t i = 0; i < words; ++i) {
                    const std::uint64_t word = in[i];
                    const std::uint64_t before = i > 0 ? in[i - 1] : 0;
                    const std::uint64_t after = i + 1 < words ? in[i + 1] : 0;
                    std::uint64_t near = word;
                    for (int k = 1; k <= r; ++k) {
                        near |= word << k | before >> (64 - k) | word >> k | after << (64 - k);
                    }
                    out[i] = near;
                }
            }
        };
        switch (radius) {
            case 1:
                rows([] { return 1; });
                break;
            case 2:
                rows([] { return 2; });
                break;
            case 3:
                rows([] { return 3; });
                break;
            default:
                rows([] { return 0; });
                break;
        }
    } else {
        for (int y = 0; y < h; ++y) {
            spread(mask.row(y), up, 1);
            spread(mask.row(y), down, -1);
            std::uint64_t* out = across.row(y);
            for (std::size_t i = 0; i < words; ++i) {
                out[i] = up[i] | down[i];
            }
        }
    }
    // Clear what was shifted beyond the width of each row.
    if (const int tail = mask.width & 63; tail != 0) {
        const std::uint64_t keep = (std::uint64_t{1} << tail) - 1;
        for (int y = 0; y < h; ++y) {
            across.row(y)[words - 1] &= keep;
        }
    }
    // Down the columns, for a small radius: each row the OR of the rows
    // within radius of it.
    if (radius <= 8) {
        BitMask result(mask.width, h);
        for (int y = 0; y < h; ++y) {
            std::uint64_t* out = result.row(y);
            const int first = std::max(0, y - radius);
            const int last = std::min(h - 1, y + radius);
            for (std::size_t i = 0; i < words; ++i) {
                const std::uint64_t* from = across.bits.data() + i;
                std::uint64_t near = 0;
                for (int v = first; v <= last; ++v) {
                    near |= from[static_cast<std::size_t>(v) * words];
                }
                out[i] = near;
            }
        }
        return result;
    }
    // Down the columns the same doubling, whole rows at a time: after each
    // step row y holds the OR of the rows [y, y + span) (or (y - span, y]).
    const auto spreadRows = [&](BitMask& m, int sign) {
        int span = 1;
        while (span < radius + 1) {
            const int add = std::min(span, radius + 1 - span);
            if (sign > 0) {
                for (int y = 0; y + add < h; ++y) {
                    std::uint64_t* to = m.row(y);
                    const std::uint64_t* from = m.row(y + add);
                    for (std::size_t i = 0; i < words; ++i) {
                        to[i] |= from[i];
                    }
                }
            } else {
                for (int y = h - 1; y - add >= 0; --y) {
                    std::uint64_t* to = m.row(y);
                    const std::uint64_t* from = m.row(y - add);
                    for (std::size_t i = 0; i < words; ++i) {
                        to[i] |= from[i];
                    }
                }
            }
            span += add;
        }
    };
    BitMask result = across;
    spreadRows(result, 1);
    spreadRows(across, -1);
    for (std::size_t i = 0; i < result.bits.size(); ++i) {
        result.bits[i] |= across.bits[i];
    }
    return result;
}

}  // namespace sandrel
