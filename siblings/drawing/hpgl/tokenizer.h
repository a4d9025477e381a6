// The bytes of a plot and the numbers, separators and terminators between
// its mnemonics. Number reading is the reader's hottest loop (a plot of
// glyph outlines is little else): whole numbers are converted as they are
// read, only decimals go through a conversion of their text.
#pragma once

#include <array>
#include <cstddef>
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

  private:
    bool fill();

    std::istream& in_;
    std::array<char, 65536> buf_{};
    std::size_t pos_ = 0;
    std::size_t len_ = 0;
    std::size_t base_ = 0;  // offset of buf_[0]
    bool eof_ = false;
};

// Numbers larger than this saturate.
inline constexpr double kMaxNumber = 1e15;

// Skips separators and reads one number; false (nothing consumed but the
// separators) when none stands there. Decimals read back exactly what was
// written; numbers of over 15 integer digits saturate at kMaxNumber.
bool readNumber(Input& in, double& v);

// Reads up to max numbers into v, and skips (and does not count) any beyond.
int readNumbers(Input& in, double* v, int max);

// Spaces, then the terminating semicolon if there is one.
void endInstruction(Input& in);

// Parameters of an instruction that is skipped: numbers, separators and
// quoted strings, up to and including a semicolon.
void skipParameters(Input& in);

// A quoted string, the opening quote still in the input.
void skipQuoted(Input& in);

}  // namespace drawing::hpgl
