#include "drawing/hpgl/tokenizer.h"

#include <charconv>
#include <cstdint>

namespace drawing::hpgl {

bool Input::fill() {
    if (eof_) {
        return false;
    }
    base_ += len_;
    in_.read(buf_.data(), static_cast<std::streamsize>(kBufferBytes));
    len_ = static_cast<std::size_t>(in_.gcount());
    buf_[len_] = '\0';
    pos_ = 0;
    if (len_ == 0) {
        eof_ = true;
        return false;
    }
    return true;
}

namespace {

// The digits of a number as read: the sign, the integer digits without
// leading zeros (at most 20 kept) and the fraction, converted once.
struct NumberText {
    char text[64];
    std::size_t len = 0;
    bool negative = false;
    std::size_t intDigits = 0;
    std::uint64_t whole = 0;  // the integer digits' value, exact up to 19 digits
    bool decimal = false;

    double value() const;
};

double NumberText::value() const {
    if (intDigits > 15) {
        return negative ? -kMaxNumber : kMaxNumber;
    }
    if (!decimal) {
        // Up to 15 digits a double holds the integer exactly, as a
        // conversion of the text would give it; zero is never negative.
        const auto magnitude = static_cast<double>(whole);
        return negative && whole != 0 ? -magnitude : magnitude;
    }
    const char* first = text;
    if (len == 0 || (len == 1 && *first == '.')) {
        return 0;
    }
    double value = 0;
    std::from_chars(first, text + len, value);
    return negative ? -value : value;
}

}  // namespace

Scan scanDecimal(Input& in, const char* p, bool negative, const char* zeros, const char* first,
                 std::uint64_t whole, double& v) {
    const char* const point = p++;
    while (isDigit(*p)) {
        ++p;
    }
    if (p == in.end()) {
        return Scan::incomplete;
    }
    in.takeUpTo(p);
    if (p == zeros + 1) {
        return Scan::none;  // a point alone
    }
    NumberText n;
    n.negative = negative;
    n.intDigits = static_cast<std::size_t>(point - first);
    n.whole = whole;
    n.decimal = true;
    for (const char* d = first; d != point && n.len < 20; ++d) {
        n.text[n.len++] = *d;
    }
    n.text[n.len++] = '.';
    for (const char* d = point + 1; d != p && n.len < sizeof n.text - 1; ++d) {
        n.text[n.len++] = *d;
    }
    v = n.value();
    return Scan::number;
}

// Byte by byte, reading more input as it goes.
bool readNumberSlowly(Input& in, double& v) {
    int c = in.peek();
    while (isSeparator(c)) {
        in.get();
        c = in.peek();
    }
    NumberText n;
    if (c == '+' || c == '-') {
        n.negative = c == '-';
        in.get();
        c = in.peek();
    }
    bool digits = false;
    while (isDigit(c)) {
        if (!(n.intDigits == 0 && c == '0')) {
            if (n.intDigits < 20) {
                n.text[n.len++] = static_cast<char>(c);
                n.whole = n.whole * 10 + static_cast<std::uint64_t>(c - '0');
            }
            ++n.intDigits;
        }
        digits = true;
        in.get();
        c = in.peek();
    }
    if (c == '.') {
        n.decimal = true;
        n.text[n.len++] = '.';
        in.get();
        c = in.peek();
        while (isDigit(c)) {
            if (n.len < sizeof n.text - 1) {
                n.text[n.len++] = static_cast<char>(c);
            }
            digits = true;
            in.get();
            c = in.peek();
        }
    }
    if (!digits) {
        return false;
    }
    v = n.value();
    return true;
}

int readNumbers(Input& in, double* v, int max) {
    int n = 0;
    double ignored = 0;
    while (readNumber(in, n < max ? v[n] : ignored)) {
        ++n;
    }
    return n < max ? n : max;
}

void skipQuoted(Input& in) {
    in.get();
    for (int c = in.get(); c >= 0 && c != '"'; c = in.get()) {
    }
}

void skipParameters(Input& in) {
    for (;;) {
        const int c = in.peek();
        if (c < 0 || c == ';') {
            if (c == ';') {
                in.get();
            }
            return;
        }
        if (c == '"') {
            skipQuoted(in);
        } else if (isDigit(c) || c == '.' || c == ',' || c == '+' || c == '-' || isSeparator(c)) {
            in.get();
        } else {
            return;
        }
    }
}

}  // namespace drawing::hpgl
