#include "drawing/render/font_subset.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace drawing {

unsigned fontU16(std::string_view s, std::size_t at) {
    return at + 2 <= s.size() ? (static_cast<unsigned>(static_cast<unsigned char>(s[at])) << 8) |
                                    static_cast<unsigned char>(s[at + 1])
                              : 0;
}

std::uint32_t fontU32(std::string_view s, std::size_t at) {
    return (static_cast<std::uint32_t>(fontU16(s, at)) << 16) | fontU16(s, at + 2);
}

namespace {

int s16(std::string_view s, std::size_t at) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(fontU16(s, at)));
}

void add16(std::string& s, unsigned v) {
    s += static_cast<char>((v >> 8) & 0xFF);
    s += static_cast<char>(v & 0xFF);
}

void add32(std::string& s, std::uint32_t v) {
    add16(s, v >> 16);
    add16(s, v & 0xFFFF);
}

void put16(std::string& s, std::size_t at, unsigned v) {
    s[at] = static_cast<char>((v >> 8) & 0xFF);
    s[at + 1] = static_cast<char>(v & 0xFF);
}

void put32(std::string& s, std::size_t at, std::uint32_t v) {
    put16(s, at, v >> 16);
    put16(s, at + 2, v & 0xFFFF);
}

// The sum of a table's big-endian words, its last one padded with zeros.
std::uint32_t checksum(std::string_view s) {
    std::uint32_t sum = 0;
    std::size_t at = 0;
    for (; at + 4 <= s.size(); at += 4) {
        sum += fontU32(s, at);
    }
    std::uint32_t last = 0;
    for (std::size_t k = 0; k < 4; ++k) {
        last = (last << 8) | (at + k < s.size() ? static_cast<unsigned char>(s[at + k]) : 0U);
    }
    return sum + last;
}

// Appends a glyph's description without its hinting instructions, and
// adds the glyph indices a composite is built of to `parts`; false when
// the description runs past its end.
bool copyGlyph(std::string_view glyph, std::string& to, std::vector<unsigned>& parts) {
    if (glyph.empty()) {
        return true;
    }
    if (glyph.size() < 10) {
        return false;
    }
    const unsigned contours = fontU16(glyph, 0);
    if ((contours & 0x8000) == 0) {
        // Contour ends, the instructions' length and the instructions,
        // then the points.
        const std::size_t lengthAt = 10 + 2 * std::size_t{contours};
        const std::size_t pointsAt = lengthAt + 2 + fontU16(glyph, lengthAt);
        if (pointsAt > glyph.size()) {
            return false;
        }
        const std::size_t begin = to.size();
        to.append(glyph.substr(0, lengthAt + 2));
        put16(to, begin + lengthAt, 0);
        to.append(glyph.substr(pointsAt));
        return true;
    }
    constexpr unsigned kArgsAreWords = 0x0001, kScale = 0x0008, kMoreComponents = 0x0020,
                       kXyScale = 0x0040, kTwoByTwo = 0x0080, kInstructions = 0x0100;
    const std::size_t begin = to.size();
    std::vector<std::size_t> flagsAt;
    std::size_t at = 10;
    for (;;) {
        if (at + 4 > glyph.size()) {
            return false;
        }
        const unsigned flags = fontU16(glyph, at);
        flagsAt.push_back(at);
        parts.push_back(fontU16(glyph, at + 2));
        at += 4 + ((flags & kArgsAreWords) != 0 ? 4 : 2);
        if ((flags & kScale) != 0) {
            at += 2;
        } else if ((flags & kXyScale) != 0) {
            at += 4;
        } else if ((flags & kTwoByTwo) != 0) {
            at += 8;
        }
        if ((flags & kMoreComponents) == 0) {
            break;
        }
    }
    if (at > glyph.size()) {
        return false;
    }
    // The parts without the instructions that may follow the last.
    to.append(glyph.substr(0, at));
    for (const std::size_t f : flagsAt) {
        put16(to, begin + f, fontU16(glyph, f) & ~kInstructions);
    }
    return true;
}

// The naming table cut down to the names of the font (family, style,
// unique and full name, version, PostScript name): a font's licence text
// there can be kilobytes.
std::string fontNames(std::string_view name) {
    const std::size_t count = fontU16(name, 2);
    const std::size_t storage = fontU16(name, 4);
    std::string records;
    std::string strings;
    unsigned kept = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = 6 + 12 * i;
        const std::size_t length = fontU16(name, at + 8);
        const std::size_t from = storage + fontU16(name, at + 10);
        if (at + 12 > name.size() || fontU16(name, at + 6) > 6 || from + length > name.size()) {
            continue;
        }
        records.append(name.substr(at, 10));
        add16(records, static_cast<unsigned>(strings.size()));
        strings.append(name.substr(from, length));
        ++kept;
    }
    std::string out;
    add16(out, 0);
    add16(out, kept);
    add16(out, 6 + 12 * kept);
    return out + records + strings;
}

}  // namespace

bool subsetTrueType(const FontTables& tables, const std::vector<unsigned>& glyphs,
                    std::string& out) {
    const std::string_view head = tables(fontTag('h', 'e', 'a', 'd'));
    const std::string_view hhea = tables(fontTag('h', 'h', 'e', 'a'));
    const std::string_view maxp = tables(fontTag('m', 'a', 'x', 'p'));
    const std::string_view hmtx = tables(fontTag('h', 'm', 't', 'x'));
    const std::string_view loca = tables(fontTag('l', 'o', 'c', 'a'));
    const std::string_view glyf = tables(fontTag('g', 'l', 'y', 'f'));
    if (head.size() < 54 || hhea.size() < 36 || maxp.size() < 6 || glyf.empty()) {
        return false;
    }
    const std::size_t count = fontU16(maxp, 4);
    const bool longOffsets = fontU16(head, 50) != 0;
    const std::size_t metrics = fontU16(hhea, 34);
    if (count == 0 || loca.size() < (count + 1) * (longOffsets ? 4 : 2) || metrics == 0 ||
        metrics > count || hmtx.size() < 4 * metrics + 2 * (count - metrics)) {
        return false;
    }
    const auto glyph = [&](std::size_t g, std::string_view& data) {
        const std::size_t from =
            longOffsets ? fontU32(loca, 4 * g) : 2 * std::size_t{fontU16(loca, 2 * g)};
        const std::size_t to =
            longOffsets ? fontU32(loca, 4 * (g + 1)) : 2 * std::size_t{fontU16(loca, 2 * (g + 1))};
        if (from > to || to > glyf.size()) {
            return false;
        }
        data = glyf.substr(from, to - from);
        return true;
    };
    const auto sideBearing = [&](std::size_t g) {
        return g < metrics ? fontU16(hmtx, 4 * g + 2)
                           : fontU16(hmtx, 4 * metrics + 2 * (g - metrics));
    };

    // The glyphs kept: those asked for, the missing glyph, and every part
    // of a composite, however deep.
    std::vector<char> keep(count, 0);
    std::vector<unsigned> pending(glyphs.begin(), glyphs.end());
    pending.push_back(0);
    std::string scratch;
    while (!pending.empty()) {
        const unsigned g = pending.back();
        pending.pop_back();
        if (g >= count || keep[g] != 0) {
            continue;
        }
        keep[g] = 1;
        std::string_view data;
        scratch.clear();
        if (!glyph(g, data) || !copyGlyph(data, scratch, pending)) {
            return false;
        }
    }

    std::string newGlyf;
    std::string newLoca(4 * (count + 1), '\0');
    std::vector<unsigned> parts;  // known already
    // One advance for all: the missing glyph's, with each kept glyph's own
    // side bearing after it.
    std::string newHmtx(2 + 2 * count, '\0');
    put16(newHmtx, 0, fontU16(hmtx, 0));
    for (std::size_t g = 0; g < count; ++g) {
        put32(newLoca, 4 * g, static_cast<std::uint32_t>(newGlyf.size()));
        if (keep[g] != 0) {
            std::string_view data;
            glyph(g, data);
            copyGlyph(data, newGlyf, parts);
            newGlyf.resize((newGlyf.size() + 3) & ~std::size_t{3}, '\0');
            put16(newHmtx, 2 + 2 * g, sideBearing(g));
        }
    }
    put32(newLoca, 4 * count, static_cast<std::uint32_t>(newGlyf.size()));

    std::string newHead(head.substr(0, 54));
    put32(newHead, 8, 0);   // the whole font's checksum goes here at the end
    put16(newHead, 50, 1);  // long offsets in loca
    std::string newHhea(hhea.substr(0, 36));
    put16(newHhea, 34, 1);
    // A character map of no characters: a format 4 table of just its
    // closing segment.
    std::string cmap;
    for (const unsigned v : {0U, 1U, 3U, 1U}) {
        add16(cmap, v);
    }
    add32(cmap, 12);
    for (const unsigned v : {4U, 24U, 0U, 2U, 2U, 0U, 0U, 0xFFFFU, 0U, 0xFFFFU, 1U, 0U}) {
        add16(cmap, v);
    }
    // Names of glyphs left out: version 3 of the PostScript table.
    const std::string_view oldPost = tables(fontTag('p', 'o', 's', 't'));
    std::string post =
        oldPost.size() >= 32 ? std::string(oldPost.substr(0, 32)) : std::string(32, '\0');
    put32(post, 0, 0x00030000);

    std::vector<std::pair<std::uint32_t, std::string>> kept;
    kept.emplace_back(fontTag('h', 'e', 'a', 'd'), std::move(newHead));
    kept.emplace_back(fontTag('h', 'h', 'e', 'a'), std::move(newHhea));
    kept.emplace_back(fontTag('m', 'a', 'x', 'p'), std::string(maxp));
    kept.emplace_back(fontTag('h', 'm', 't', 'x'), std::move(newHmtx));
    kept.emplace_back(fontTag('l', 'o', 'c', 'a'), std::move(newLoca));
    kept.emplace_back(fontTag('g', 'l', 'y', 'f'), std::move(newGlyf));
    kept.emplace_back(fontTag('c', 'm', 'a', 'p'), std::move(cmap));
    kept.emplace_back(fontTag('p', 'o', 's', 't'), std::move(post));
    // Readers name the font from these.
    if (const std::string_view os2 = tables(fontTag('O', 'S', '/', '2')); !os2.empty()) {
        kept.emplace_back(fontTag('O', 'S', '/', '2'), std::string(os2));
    }
    if (const std::string_view name = tables(fontTag('n', 'a', 'm', 'e')); name.size() >= 6) {
        kept.emplace_back(fontTag('n', 'a', 'm', 'e'), fontNames(name));
    }
    std::sort(kept.begin(), kept.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });

    const auto n = static_cast<unsigned>(kept.size());
    unsigned power = 1, log2 = 0;
    while (power * 2 <= n) {
        power *= 2;
        ++log2;
    }
    std::string font;
    add32(font, 0x00010000);
    add16(font, n);
    add16(font, power * 16);
    add16(font, log2);
    add16(font, n * 16 - power * 16);
    std::size_t offset = 12 + 16 * std::size_t{n};
    std::size_t headAt = 0;
    for (const auto& [tag, data] : kept) {
        add32(font, tag);
        add32(font, checksum(data));
        add32(font, static_cast<std::uint32_t>(offset));
        add32(font, static_cast<std::uint32_t>(data.size()));
        if (tag == fontTag('h', 'e', 'a', 'd')) {
            headAt = offset;
        }
        offset += (data.size() + 3) & ~std::size_t{3};
    }
    for (const auto& [tag, data] : kept) {
        font += data;
        font.resize((font.size() + 3) & ~std::size_t{3}, '\0');
    }
    put32(font, headAt + 8, 0xB1B0AFBAU - checksum(font));
    out = std::move(font);
    return true;
}

FontFile::FontFile(const std::string& path, unsigned face) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return;
    }
    struct stat st {};
    if (fstat(fd, &st) == 0 && st.st_size > 0) {
        void* p =
            mmap(nullptr, static_cast<std::size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
        if (p != MAP_FAILED) {
            data_ =
                std::string_view(static_cast<const char*>(p), static_cast<std::size_t>(st.st_size));
        }
    }
    close(fd);
    if (data_.size() >= 16 && fontU32(data_, 0) == fontTag('t', 't', 'c', 'f')) {
        if (face < fontU32(data_, 8) && 12 + 4 * (std::size_t{face} + 1) <= data_.size()) {
            directory_ = fontU32(data_, 12 + 4 * std::size_t{face});
        }
    } else if (face == 0) {
        directory_ = 0;
    }
}

FontFile::~FontFile() {
    if (!data_.empty()) {
        munmap(const_cast<char*>(data_.data()), data_.size());
    }
}

std::string_view FontFile::table(std::uint32_t tag) const {
    if (directory_ == kNone || directory_ + 12 > data_.size()) {
        return {};
    }
    const std::size_t count = fontU16(data_, directory_ + 4);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t record = directory_ + 12 + 16 * i;
        if (record + 16 > data_.size()) {
            break;
        }
        if (fontU32(data_, record) == tag) {
            const std::size_t offset = fontU32(data_, record + 8);
            if (offset > data_.size()) {
                return {};
            }
            return data_.substr(
                offset, std::min<std::size_t>(fontU32(data_, record + 12), data_.size() - offset));
        }
    }
    return {};
}

std::string fontPostScriptName(const FontTables& tables) {
    const std::string_view name = tables(fontTag('n', 'a', 'm', 'e'));
    const std::size_t count = fontU16(name, 2);
    const std::size_t strings = fontU16(name, 4);
    std::string best;
    int bestScore = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t r = 6 + 12 * i;
        if (r + 12 > name.size()) {
            break;
        }
        const unsigned platform = fontU16(name, r);
        const unsigned encoding = fontU16(name, r + 2);
        const unsigned language = fontU16(name, r + 4);
        if (fontU16(name, r + 6) != 6) {
            continue;
        }
        const std::size_t length = fontU16(name, r + 8);
        const std::size_t offset = strings + fontU16(name, r + 10);
        if (offset > name.size() || length > name.size() - offset) {
            continue;
        }
        const std::string_view bytes = name.substr(offset, length);
        const bool wide = platform == 0 || (platform == 3 && (encoding == 1 || encoding == 10));
        const bool roman = platform == 1 && encoding == 0;
        if (!wide && !roman) {
            continue;
        }
        const bool english =
            (platform == 1 && language == 0) || (platform == 3 && language == 0x409);
        const int score = english ? 2 : 1;
        if (score <= bestScore) {
            continue;
        }
        std::string text;
        for (std::size_t k = wide ? 1 : 0; k < bytes.size(); k += wide ? 2 : 1) {
            if (!wide || bytes[k - 1] == 0) {
                text += bytes[k];
            }
        }
        best = text;
        bestScore = score;
    }
    return best;
}

void fontMeasures(const FontTables& tables, double& ascent, double& descent, double& capHeight) {
    const std::string_view head = tables(fontTag('h', 'e', 'a', 'd'));
    const std::string_view os2 = tables(fontTag('O', 'S', '/', '2'));
    const std::string_view hhea = tables(fontTag('h', 'h', 'e', 'a'));
    unsigned upem = fontU16(head, 18);
    if (head.size() < 54 || upem < 16 || upem > 16384) {
        upem = 1000;
    }
    const double em = upem;
    const bool hasOs2 = os2.size() >= 78;
    const bool typo = hasOs2 && (fontU16(os2, 62) & 0x80) != 0;
    if (typo || hhea.size() >= 36) {
        ascent = std::abs(typo ? s16(os2, 68) : s16(hhea, 4)) * 1000 / em;
        descent = -std::abs(typo ? s16(os2, 70) : s16(hhea, 6)) * 1000 / em;
    }
    if (hasOs2 && fontU16(os2, 0) >= 2 && os2.size() >= 96) {
        const int cap = s16(os2, 88);
        if (cap > 0) {
            capHeight = cap * 1000 / em;
        }
    }
}

}  // namespace drawing
