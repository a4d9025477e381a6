// The bytes of a plot and the numbers, separators and terminators between
// its mnemonics. Number reading is the reader's hottest loop (a plot of
// glyph outlines is little else): numbers are scanned in place in the
// input buffer, whole numbers converted as they are scanned, and only
// decimals go through a conversion of their text.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <istream>

namespace drawing::hpgl {

inline bool isLetter(int c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

inline int upper(int c) {
    return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c;
}

// Buffered input with one byte of look-ahead and the offset of the next byte.
class Input {
  public:
    explicit Input(std::istream& in) : in_(in) {}
    int peek() {
        if (pos_ == len_ && !fill()) {
            return -1;
        }
        return static_cast<unsigned char>(buf_[pos_]);
    }
    int get() {
        const int c = peek();
        if (c >= 0) {
            ++pos_;
        }
        return c;
    }
    std::size_t offset() const { return base_ + pos_; }
    // The bytes already read in and not yet taken, [cursor(), end()): a
    // scanner may look at them directly and then take up to a point. A NUL
    // stands at end(), so that a scan for digits or separators stops there
    // without comparing with end() at every byte.
    const char* cursor() const { return buf_.data() + pos_; }
    const char* end() const { return buf_.data() + len_; }
    void takeUpTo(const char* p) { pos_ = static_cast<std::size_t>(p - buf_.data()); }

  private:
    bool fill();

    std::istream& in_;
    static constexpr std::size_t kBufferBytes = 65536;
    std::array<char, kBufferBytes + 1> buf_{};  // and the NUL after the bytes read
    std::size_t pos_ = 0;
    std::size_t len_ = 0;
    std::size_t base_ = 0;  // offset of buf_[0]
    bool eof_ = false;
};

// Numbers larger than this saturate.
inline constexpr double kMaxNumber = 1e15;

inline bool isSeparator(int c) {
    return c == ' ' || c == ',' || c == '\t' || c == '\r' || c == '\n';
}

inline bool isDigit(int c) {
    return c >= '0' && c <= '9';
}

// What scanNumber found.
enum class Scan { number, none, incomplete };

// readNumber's work on a number (and the separators before it) standing
// wholly within the bytes read in, which is all but one number in 64 KiB:
// what it reads and takes is what readNumber would. Incomplete, with
// nothing taken, when those bytes end before the number does.
Scan scanDecimal(Input& in, const char* p, bool negative, const char* zeros, const char* first,
                 std::uint64_t whole, double& v);

inline Scan scanNumber(Input& in, double& v) {
    const char* p = in.cursor();
    const char* const end = in.end();
    while (isSeparator(*p)) {
        ++p;
    }
    const bool negative = *p == '-';
    if (negative || *p == '+') {
        ++p;
    }
    // Leading zeros are digits of the number but do not count towards its
    // length.
    const char* const zeros = p;
    while (*p == '0') {
        ++p;
    }
    const char* const first = p;
    std::uint64_t whole = 0;  // exact up to 19 digits; only used up to 15
    while (isDigit(*p)) {
        whole = whole * 10 + static_cast<std::uint64_t>(*p - '0');
        ++p;
    }
    if (*p == '.') {
        return scanDecimal(in, p, negative, zeros, first, whole, v);
    }
    if (p == end) {
        return Scan::incomplete;
    }
    in.takeUpTo(p);
    if (p == zeros) {
        return Scan::none;
    }
    if (p - first > 15) {
        v = negative ? -kMaxNumber : kMaxNumber;
        return Scan::number;
    }
    // Up to 15 digits a double holds the integer exactly, as a conversion
    // of the text would give it; zero is never negative.
    const auto magnitude = static_cast<double>(whole);
    v = negative && whole != 0 ? -magnitude : magnitude;
    return Scan::number;
}

// readNumber for a number that runs past the bytes read in so far.
bool readNumberSlowly(Input& in, double& v);

// Skips separators and reads one number; false (nothing consumed but the
// separators, and a sign or point that no digit follows) when none stands
// there. Decimals read back exactly what was written; numbers of over 15
// integer digits saturate at kMaxNumber.
inline bool readNumber(Input& in, double& v) {
    const Scan scan = scanNumber(in, v);
    if (scan == Scan::incomplete) {
        return readNumberSlowly(in, v);
    }
    return scan == Scan::number;
}

// Reads up to max numbers into v, and skips (and does not count) any beyond.
int readNumbers(Input& in, double* v, int max);

// Spaces, then the terminating semicolon if there is one.
inline void endInstruction(Input& in) {
    // Mostly the semicolon right away.
    const char* p = in.cursor();
    if (p != in.end() && *p == ';') {
        in.takeUpTo(p + 1);
        return;
    }
    while (in.peek() == ' ') {
        in.get();
    }
    if (in.peek() == ';') {
        in.get();
    }
}

// Parameters of an instruction that is skipped: numbers, separators and
// quoted strings, up to and including a semicolon.
void skipParameters(Input& in);

// A quoted string, the opening quote still in the input.
void skipQuoted(Input& in);

}  // namespace drawing::hpgl
