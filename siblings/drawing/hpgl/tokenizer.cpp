#include "drawing/hpgl/tokenizer.h"

#include <charconv>
#include <cstdint>

namespace drawing::hpgl {

bool Input::fill() {
    if (eof_) {
        return false;
    }
    base_ += len_;
    in_.read(buf_.data(), static_cast<std::streamsize>(buf_.size()));
    len_ = static_cast<std::size_t>(in_.gcount());
    pos_ = 0;
    if (len_ == 0) {
        eof_ = true;
        return false;
    }
    return true;
}

namespace {

bool isSeparator(int c) {
    return c == ' ' || c == ',' || c == '\t' || c == '\r' || c == '\n';
}

bool isDigit(int c) {
    return c >= '0' && c <= '9';
}

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

bool readNumber(Input& in, double& v) {
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

void endInstruction(Input& in) {
    while (in.peek() == ' ') {
        in.get();
    }
    if (in.peek() == ';') {
        in.get();
    }
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
