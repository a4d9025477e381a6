// A set of segments by their two ends and layer, whichever way round they
// are drawn: finds the segments that the other drawing has exactly.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <vector>

#include "segment_grid.h"

namespace sandrel {

class SegmentSet {
  public:
    // Room for `capacity` segments of `segments` (which must outlive the set).
    SegmentSet(const std::vector<Segment>& segments, std::size_t capacity)
        : segments_(segments), slots_(std::bit_ceil(2 * capacity + 2), kEmpty) {}

    // Enters segment i; false when an equal one is in already.
    bool insert(std::uint32_t i) {
        const Segment& s = segments_[i];
        for (std::size_t k = hash(s) & mask();; k = (k + 1) & mask()) {
            if (slots_[k] == kEmpty) {
                slots_[k] = i;
                return true;
            }
            if (same(segments_[slots_[k]], s)) {
                return false;
            }
        }
    }

    static constexpr std::uint32_t kNone = 0xFFFFFFFFu;

    // The index of a segment equal to s that is in, or kNone.
    std::uint32_t find(const Segment& s) const {
        for (std::size_t k = hash(s) & mask();; k = (k + 1) & mask()) {
            if (slots_[k] == kEmpty || same(segments_[slots_[k]], s)) {
                return slots_[k];
            }
        }
    }

    static bool same(const Segment& s, const Segment& t) {
        return s.layer == t.layer && ((s.a == t.a && s.b == t.b) || (s.a == t.b && s.b == t.a));
    }

  private:
    static constexpr std::uint32_t kEmpty = 0xFFFFFFFFu;
    std::size_t mask() const { return slots_.size() - 1; }
    static std::uint64_t bits(double v) {
        v += 0.0;  // -0 and 0 are the same place
        std::uint64_t out = 0;
        std::memcpy(&out, &v, sizeof out);
        return out;
    }
    static std::uint64_t mix(std::uint64_t h) {
        h ^= h >> 33;
        h *= 0xff51afd7ed558ccdULL;
        h ^= h >> 33;
        h *= 0xc4ceb9fe1a85ec53ULL;
        h ^= h >> 33;
        return h;
    }
    static std::uint64_t hash(const Segment& s) {
        // Symmetric in the two ends, so the drawing direction does not matter.
        const std::uint64_t a = mix(bits(s.a.x) * 31 + bits(s.a.y));
        const std::uint64_t b = mix(bits(s.b.x) * 31 + bits(s.b.y));
        return mix((a + b) ^ (static_cast<std::uint64_t>(s.layer) * 0x9E3779B97F4A7C15ULL));
    }

    const std::vector<Segment>& segments_;
    std::vector<std::uint32_t> slots_;
};

}  // namespace sandrel
