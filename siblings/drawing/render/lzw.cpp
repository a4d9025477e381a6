#include "drawing/render/lzw.h"

#include <array>
#include <cstring>
#include <memory>

namespace drawing {
namespace {

constexpr std::uint32_t kClear = 256;
constexpr std::uint32_t kEndOfInformation = 257;
constexpr std::uint32_t kFirstFree = 258;
// The table is cleared before a code would need 13 bits; the last entry is
// left unused, as readers that grow the width one code early expect.
constexpr std::uint32_t kTableFull = 4094;
constexpr int kMinWidth = 9;

constexpr int kHashBits = 13;  // 8192 slots for at most 4096 strings
constexpr std::uint32_t kEmpty = 0xFFFFFFFF;

class Encoder {
  public:
    explicit Encoder(std::uint8_t* out) : out_(out) { reset(); }

    std::uint8_t* encode(const std::uint8_t* data, std::size_t size) {
        put(kClear);
        if (size == 0) {
            put(kEndOfInformation);
            return flush();
        }
        // w is the code of the string matched so far; zeros_ its length
        // when it is a run of zero bytes, else 0.
        std::uint32_t w = data[0];
        std::uint32_t zeros = data[0] == 0 ? 1 : 0;
        std::size_t i = 1;
        while (i < size) {
            if (zeros != 0 && data[i] == 0) {
                // The table holds every run of zeros up to longestZeros_
                // and none longer: match as far as the input and the table
                // both go in one step.
                const std::size_t room = longestZeros_ - zeros;
                const std::size_t run = zeroRun(data + i, size - i, room + 1);
                if (run <= room) {
                    zeros += static_cast<std::uint32_t>(run);
                    w = zeroCodes_[zeros];
                    i += run;
                    continue;
                }
                i += room;
                zeros = longestZeros_;
                w = zeroCodes_[zeros];
                // data[i] is another zero, which no table string takes.
                emitLongerZeros(w, zeros);
                w = 0;
                zeros = 1;
                ++i;
                continue;
            }
            const std::uint8_t c = data[i];
            const std::uint32_t key = (w << 8) | c;
            std::uint32_t slot = hash(key);
            while (keys_[slot] != kEmpty && keys_[slot] != key) {
                slot = (slot + 1) & ((1u << kHashBits) - 1);
            }
            if (keys_[slot] == key) {
                w = codes_[slot];
                zeros = 0;
                ++i;
                continue;
            }
            emit(w, key, slot, zeros, c);
            w = c;
            zeros = c == 0 ? 1 : 0;
            ++i;
        }
        put(w);
        // The reader adds one more string after the last code; the width of
        // the end code follows from it.
        if (++free_ == kTableFull) {
            put(kClear);
            width_ = kMinWidth;
        } else if (free_ > (1u << width_) - 1) {
            ++width_;
        }
        put(kEndOfInformation);
        return flush();
    }

  private:
    static std::uint32_t hash(std::uint32_t key) { return (key * 2654435761u) >> (32 - kHashBits); }

    static std::size_t zeroRun(const std::uint8_t* p, std::size_t size, std::size_t limit) {
        const std::size_t end = size < limit ? size : limit;
        std::size_t n = 0;
        while (n + 8 <= end) {
            std::uint64_t v;
            std::memcpy(&v, p + n, 8);
            if (v != 0) {
                break;
            }
            n += 8;
        }
        while (n < end && p[n] == 0) {
            ++n;
        }
        return n;
    }

    void reset() {
        keys_.fill(kEmpty);
        free_ = kFirstFree;
        width_ = kMinWidth;
        longestZeros_ = 1;
        zeroCodes_[1] = 0;
    }

    // Writes w and adds the string w + c (a zero run of zeros + 1 when w
    // is a run of zeros and c is zero).
    void emit(std::uint32_t w, std::uint32_t key, std::uint32_t slot, std::uint32_t zeros,
              std::uint8_t c) {
        put(w);
        keys_[slot] = key;
        codes_[slot] = static_cast<std::uint16_t>(free_);
        if (zeros != 0 && c == 0) {
            longestZeros_ = zeros + 1;
            zeroCodes_[longestZeros_] = static_cast<std::uint16_t>(free_);
        }
        grow();
    }
    // The same for a zero after the longest run of zeros; its slot is
    // looked up here.
    void emitLongerZeros(std::uint32_t w, std::uint32_t zeros) {
        const std::uint32_t key = w << 8;
        std::uint32_t slot = hash(key);
        while (keys_[slot] != kEmpty) {
            slot = (slot + 1) & ((1u << kHashBits) - 1);
        }
        emit(w, key, slot, zeros, 0);
    }

    void grow() {
        if (++free_ == kTableFull) {
            put(kClear);
            reset();
        } else if (free_ > (1u << width_) - 1) {
            ++width_;
        }
    }

    void put(std::uint32_t code) {
        bits_ = (bits_ << width_) | code;
        count_ += width_;
        while (count_ >= 8) {
            count_ -= 8;
            *out_++ = static_cast<std::uint8_t>(bits_ >> count_);
        }
    }

    std::uint8_t* flush() {
        if (count_ > 0) {
            *out_++ = static_cast<std::uint8_t>(bits_ << (8 - count_));
            count_ = 0;
        }
        return out_;
    }

    std::uint8_t* out_;
    std::uint64_t bits_ = 0;
    int count_ = 0;
    int width_ = kMinWidth;
    std::uint32_t free_ = kFirstFree;
    std::uint32_t longestZeros_ = 1;
    std::array<std::uint32_t, 1u << kHashBits> keys_{};
    std::array<std::uint16_t, 1u << kHashBits> codes_{};
    std::array<std::uint16_t, 4096> zeroCodes_{};
};

}  // namespace

void lzwEncode(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>& out) {
    // At most one 12-bit code a byte, plus the clear and end codes and the
    // clears between tables.
    const std::size_t start = out.size();
    out.resize(start + size + size / 2 + size / 2048 + 16);
    auto encoder = std::make_unique<Encoder>(out.data() + start);
    const std::uint8_t* end = encoder->encode(data, size);
    out.resize(static_cast<std::size_t>(end - out.data()));
}

}  // namespace drawing
