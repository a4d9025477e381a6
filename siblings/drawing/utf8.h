// UTF-8, the encoding of label text in the page model: building it from
// code points, walking it, and reading bytes of unknown encoding into it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace drawing {

inline constexpr unsigned kReplacementChar = 0xFFFD;

inline void appendUtf8(std::string& s, unsigned cp) {
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        cp = kReplacementChar;
    }
    if (cp < 0x80) {
        s += static_cast<char>(cp);
    } else if (cp < 0x800) {
        s += static_cast<char>(0xC0 | (cp >> 6));
        s += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        s += static_cast<char>(0xE0 | (cp >> 12));
        s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        s += static_cast<char>(0xF0 | (cp >> 18));
        s += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// The length in bytes of the well-formed UTF-8 sequence at s[i], or 0 when
// the bytes there are not one (overlong forms, surrogates and values beyond
// U+10FFFF included); cp receives its code point.
inline std::size_t utf8Sequence(std::string_view s, std::size_t i, unsigned& cp) {
    const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[i + k]); };
    const unsigned c = b(0);
    if (c < 0x80) {
        cp = c;
        return 1;
    }
    const std::size_t len = c >= 0xC2 && c <= 0xDF   ? 2
                            : c >= 0xE0 && c <= 0xEF ? 3
                            : c >= 0xF0 && c <= 0xF4 ? 4
                                                     : 0;
    if (len == 0 || i + len > s.size()) {
        return 0;
    }
    unsigned v = c & (0x7Fu >> len);
    for (std::size_t k = 1; k < len; ++k) {
        if ((b(k) & 0xC0) != 0x80) {
            return 0;
        }
        v = (v << 6) | (b(k) & 0x3F);
    }
    if ((len == 3 && (v < 0x800 || (v >= 0xD800 && v <= 0xDFFF))) ||
        (len == 4 && (v < 0x10000 || v > 0x10FFFF))) {
        return 0;
    }
    cp = v;
    return len;
}

inline bool isValidUtf8(std::string_view s) {
    unsigned cp = 0;
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t len = utf8Sequence(s, i, cp);
        if (len == 0) {
            return false;
        }
        i += len;
    }
    return true;
}

// The code points of s in order; a byte that starts no well-formed sequence
// counts as one U+FFFD.
template <typename Use>
void forEachCodePoint(std::string_view s, Use&& use) {
    unsigned cp = 0;
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t len = utf8Sequence(s, i, cp);
        use(len == 0 ? kReplacementChar : cp, s.substr(i, len == 0 ? 1 : len));
        i += len == 0 ? 1 : len;
    }
}

inline std::size_t utf8Length(std::string_view s) {
    std::size_t n = 0;
    forEachCodePoint(s, [&](unsigned, std::string_view) { ++n; });
    return n;
}

// s with every byte that starts no well-formed sequence replaced by U+FFFD.
inline std::string validUtf8(std::string_view s) {
    if (isValidUtf8(s)) {
        return std::string(s);
    }
    std::string out;
    forEachCodePoint(s, [&](unsigned cp, std::string_view) { appendUtf8(out, cp); });
    return out;
}

// Label bytes of a file that does not say its encoding (HP-GL): bytes that
// are well-formed UTF-8 as a whole are taken as UTF-8, anything else as
// Latin-1, so that plots with 8-bit labels read as they always did.
inline std::string utf8OrLatin1(std::string_view bytes) {
    if (isValidUtf8(bytes)) {
        return std::string(bytes);
    }
    std::string out;
    for (const char c : bytes) {
        appendUtf8(out, static_cast<unsigned char>(c));
    }
    return out;
}

// The first `chars` characters of s (whole sequences only).
inline std::string utf8Prefix(std::string_view s, std::size_t chars) {
    std::size_t end = 0;
    std::size_t n = 0;
    forEachCodePoint(s, [&](unsigned, std::string_view seq) {
        if (n++ < chars) {
            end = static_cast<std::size_t>(seq.data() + seq.size() - s.data());
        }
    });
    return std::string(s.substr(0, end));
}

// The longest start of s of at most `bytes` bytes that does not end inside
// a sequence.
inline std::string utf8Head(std::string_view s, std::size_t bytes) {
    if (s.size() <= bytes) {
        return std::string(s);
    }
    std::size_t end = bytes;
    while (end > 0 && (static_cast<unsigned char>(s[end]) & 0xC0) == 0x80) {
        --end;
    }
    return std::string(s.substr(0, end));
}

}  // namespace drawing
