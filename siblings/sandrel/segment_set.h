// A set of segments by their two ends and layer, whichever way round they
// are drawn: finds the segments that the other drawing has exactly.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <vector>

#include "sandrel/large_pages.h"
#include "sandrel/segment_grid.h"

namespace sandrel {

template <class S>
class BasicSegmentSet {
  public:
    // Room for `capacity` segments of `segments` (which must outlive the set).
    BasicSegmentSet(const std::vector<S>& segments, std::size_t capacity)
        : segments_(segments),
          slots_(std::bit_ceil(2 * capacity + 2), kEmptySlot),
          filter_(std::bit_ceil(capacity / 8 + 1), 0) {}

    // Enters segment i; false when an equal one is in already.
    bool insert(std::uint32_t i) { return insert(i, hash(segments_[i])); }

    // Enters the segments index(0) .. index(n - 1) in that order and tells
    // entered(i, fresh) of each. On a large page nearly every insert misses
    // the cache, so the slots of the segments a few places on are fetched
    // while this one goes in.
    template <class Index, class Entered>
    void insertAll(std::size_t n, Index index, Entered entered) {
        insertAllFinding(n, index,
                         [&](std::uint32_t i, std::uint32_t equal) { entered(i, equal == kNone); });
    }

    // The same, telling entered(i, equal) of each, where equal is the index
    // of the equal segment that was in already, or kNone.
    template <class Index, class Entered>
    void insertAllFinding(std::size_t n, Index index, Entered entered) {
        std::uint64_t ahead[kAhead];
        for (std::size_t k = 0; k < n && k < kAhead; ++k) {
            ahead[k] = hash(segments_[index(k)]);
            prefetch(ahead[k]);
        }
        for (std::size_t k = 0; k < n; ++k) {
            const std::uint64_t h = ahead[k % kAhead];
            if (k + kAhead < n) {
                ahead[k % kAhead] = hash(segments_[index(k + kAhead)]);
                prefetch(ahead[k % kAhead]);
            }
            const std::uint32_t i = index(k);
            entered(i, enter(i, h));
        }
    }

    // Starts fetching the slot where s would be: find(s) soon after then
    // waits less.
    void prefetch(const S& s) const {
        // Most look-ups end at the filter: only its word is fetched.
        __builtin_prefetch(&filter_[filterWord(hash(s))]);
    }

    bool insert(std::uint32_t i, std::uint64_t h) { return enter(i, h) == kNone; }

    // Enters segment i of hash h: kNone, or the index of an equal segment
    // that is in already (and stays in its place).
    std::uint32_t enter(std::uint32_t i, std::uint64_t h) {
        const S& s = segments_[i];
        const std::uint64_t tag = h & kTagMask;
        for (std::size_t k = h & mask();; k = (k + 1) & mask()) {
            const std::uint64_t slot = slots_[k];
            if (slot == kEmptySlot) {
                slots_[k] = tag | i;
                filter_[filterWord(h)] |= filterBit(h);
                return kNone;
            }
            const auto index = static_cast<std::uint32_t>(slot & kIndexMask);
            if ((slot & kTagMask) == tag && same(segments_[index], s)) {
                return index;
            }
        }
    }

    static constexpr std::uint32_t kNone = 0xFFFFFFFFu;

    // The index of a segment equal to s that is in, or kNone.
    std::uint32_t find(const S& s) const {
        const std::uint64_t h = hash(s);
        // Most segments of a page without copies stop here, without
        // fetching a slot from memory.
        if ((filter_[filterWord(h)] & filterBit(h)) == 0) {
            return kNone;
        }
        const std::uint64_t tag = h & kTagMask;
        for (std::size_t k = h & mask();; k = (k + 1) & mask()) {
            const std::uint64_t slot = slots_[k];
            if (slot == kEmptySlot) {
                return kNone;
            }
            const auto index = static_cast<std::uint32_t>(slot & kIndexMask);
            if ((slot & kTagMask) == tag && same(segments_[index], s)) {
                return index;
            }
        }
    }

    // Symmetric in the two ends, so the drawing direction does not matter;
    // equal segments have equal hashes.
    static std::uint64_t hash(const S& s) {
        const drawing::Point p = s.a();
        const drawing::Point q = s.b();
        const std::uint64_t a = mix(bits(p.x) * 31 + bits(p.y));
        const std::uint64_t b = mix(bits(q.x) * 31 + bits(q.y));
        return mix((a + b) ^ (static_cast<std::uint64_t>(s.layer) * 0x9E3779B97F4A7C15ULL));
    }

    static bool same(const S& s, const S& t) {
        return s.layer == t.layer &&
               ((s.pa == t.pa && s.pb == t.pb) || (s.pa == t.pb && s.pb == t.pa));
    }

  private:
    // A slot holds the index and, above it, the top half of the hash, so
    // that most slots of other segments are passed over without reading
    // the segment (a cache miss each on a large page).
    static constexpr std::uint64_t kIndexMask = 0xFFFFFFFFull;
    static constexpr std::uint64_t kTagMask = ~kIndexMask;
    static constexpr std::uint64_t kEmptySlot = ~std::uint64_t{0};
    static constexpr std::size_t kAhead = 16;
    void prefetch(std::uint64_t h) const {
        __builtin_prefetch(&slots_[h & mask()]);
        __builtin_prefetch(&filter_[filterWord(h)]);
    }
    std::size_t mask() const { return slots_.size() - 1; }
    // One bit for each hash of an entered segment, 8 to 16 bits a segment
    // (a megabyte or two on a large page, mostly in cache where the slots
    // are not): a clear bit says at once that a segment is not in.
    std::size_t filterWord(std::uint64_t h) const { return (h >> 38) & (filter_.size() - 1); }
    static std::uint64_t filterBit(std::uint64_t h) { return std::uint64_t{1} << ((h >> 32) & 63); }
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
    const std::vector<S>& segments_;
    LargeVector<std::uint64_t> slots_;
    std::vector<std::uint64_t> filter_;
};

using SegmentSet = BasicSegmentSet<Segment>;

}  // namespace sandrel
