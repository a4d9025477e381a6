#include "drawing/render/label_font_list.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <string_view>

namespace drawing {
namespace {

// Monospaced, so that a label's characters fill the plot's character
// cells as a plotter's stick font does.
constexpr const char* kFontFamily = "DejaVu Sans Mono";
// Han characters are drawn the Japanese way where a font for several
// languages offers the choice.
constexpr const char* kFontLang = "ja";

// The first line of a cache file; another one is not read.
constexpr std::string_view kFormat = "label-fonts 1";
// A list of some dozens of fonts takes some hundred KiB; a file far beyond
// that is not one of ours.
constexpr long kMaxCacheBytes = 16L << 20;

struct PatternDeleter {
    void operator()(FcPattern* p) const { FcPatternDestroy(p); }
};
using PatternPtr = std::unique_ptr<FcPattern, PatternDeleter>;

PatternPtr queryPattern() {
    PatternPtr pattern(FcPatternCreate());
    FcPatternAddString(pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(kFontFamily));
    FcPatternAddString(pattern.get(), FC_LANG, reinterpret_cast<const FcChar8*>(kFontLang));
    return pattern;
}

std::string unparse(const FcPattern* pattern) {
    FcChar8* text = FcNameUnparse(const_cast<FcPattern*>(pattern));
    if (text == nullptr) {
        return {};
    }
    std::string out(reinterpret_cast<const char*>(text));
    FcStrFree(text);
    return out;
}

// What the list depends on besides the files: the question with the
// defaults fontconfig fills in from the process's surroundings (the
// program's name, the languages of the locale, the desktop), before any of
// the configuration's rules.
std::string cacheKey() {
    PatternPtr pattern = queryPattern();
    FcDefaultSubstitute(pattern.get());
    return unparse(pattern.get());
}

// The prepared patterns keep what drawing needs; the languages a font
// covers only served the choice, which is made, and they are left out.
LabelFontList resolve() {
    LabelFontList list;
    PatternPtr pattern = queryPattern();
    FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern);
    FcDefaultSubstitute(pattern.get());
    FcResult result = FcResultNoMatch;
    FcFontSet* set = FcFontSort(nullptr, pattern.get(), FcTrue, nullptr, &result);
    if (set != nullptr) {
        for (int i = 0; i < set->nfont; ++i) {
            FcPattern* font = FcFontRenderPrepare(nullptr, pattern.get(), set->fonts[i]);
            if (font != nullptr) {
                FcPatternDel(font, FC_LANG);
                list.add(font);
            }
        }
        FcFontSetDestroy(set);
    }
    return list;
}

std::string env(const char* name) {
    const char* v = std::getenv(name);
    return v != nullptr ? std::string(v) : std::string();
}

bool absolute(const std::string& path) {
    return !path.empty() && path[0] == '/';
}

// The folder $XDG_... names, else HOME + fallback; empty when neither is usable.
std::string xdgDir(const char* variable, const char* fallback) {
    const std::string xdg = env(variable);
    if (absolute(xdg)) {
        return xdg;
    }
    const std::string home = env("HOME");
    return absolute(home) ? home + fallback : std::string();
}

// One file or folder as it was when the list was resolved: whether it was
// there, what it was, its size and its time of last change.
struct Stamp {
    char kind = '-';  // '-' missing, 'f' file, 'd' folder, 'o' anything else
    long long size = 0;
    long long seconds = 0;
    long long nanoseconds = 0;

    bool operator==(const Stamp&) const = default;
};

Stamp stampOf(const std::string& path) {
    Stamp s;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return s;
    }
    s.kind = S_ISREG(st.st_mode) ? 'f' : S_ISDIR(st.st_mode) ? 'd' : 'o';
    s.size = S_ISREG(st.st_mode) ? static_cast<long long>(st.st_size) : 0;
    s.seconds = static_cast<long long>(st.st_mtim.tv_sec);
    s.nanoseconds = static_cast<long long>(st.st_mtim.tv_nsec);
    return s;
}

void addAll(std::set<std::string>& paths, FcStrList* list) {
    if (list == nullptr) {
        return;
    }
    while (const FcChar8* s = FcStrListNext(list)) {
        paths.emplace(reinterpret_cast<const char*>(s));
    }
    FcStrListDone(list);
}

// Every file and folder whose change may change the list: fontconfig's
// configuration files and folders (those it read and those it would read
// if they were made), its caches, the font folders it scanned and the
// user's own font folders, and the font files of the list.
std::set<std::string> watchedPaths(const std::vector<std::string>& fontFiles) {
    std::set<std::string> paths{"/etc/fonts", "/etc/fonts/fonts.conf", "/etc/fonts/conf.d",
                                "/var/cache/fontconfig"};
    const std::string home = env("HOME");
    const std::string config = xdgDir("XDG_CONFIG_HOME", "/.config");
    const std::string cache = xdgDir("XDG_CACHE_HOME", "/.cache");
    const std::string data = xdgDir("XDG_DATA_HOME", "/.local/share");
    if (absolute(config)) {
        paths.insert(config + "/fontconfig");
        paths.insert(config + "/fontconfig/fonts.conf");
        paths.insert(config + "/fontconfig/conf.d");
    }
    if (absolute(cache)) {
        paths.insert(cache + "/fontconfig");
    }
    if (absolute(data)) {
        paths.insert(data + "/fonts");
    }
    if (absolute(home)) {
        paths.insert(home + "/.fonts");
        paths.insert(home + "/.fonts.conf");
        paths.insert(home + "/.fontconfig");
    }
    if (FcConfig* current = FcConfigGetCurrent()) {
        addAll(paths, FcConfigGetConfigFiles(current));
        addAll(paths, FcConfigGetConfigDirs(current));
        addAll(paths, FcConfigGetFontDirs(current));
        addAll(paths, FcConfigGetCacheDirs(current));
    }
    paths.insert(fontFiles.begin(), fontFiles.end());
    return paths;
}

bool fileOf(const FcPattern* font, std::string& path) {
    FcChar8* file = nullptr;
    if (FcPatternGetString(font, FC_FILE, 0, &file) != FcResultMatch || file == nullptr) {
        return false;
    }
    path = reinterpret_cast<const char*>(file);
    return absolute(path);
}

bool oneLine(const std::string& s) {
    return s.find_first_of("\r\n") == std::string::npos;
}

using Ranges = std::vector<std::pair<FcChar32, FcChar32>>;

// The code points of a character set as ascending ranges.
Ranges rangesOf(const FcCharSet* cs) {
    Ranges out;
    FcChar32 map[FC_CHARSET_MAP_SIZE];
    FcChar32 next = 0;
    for (FcChar32 base = FcCharSetFirstPage(cs, map, &next); base != FC_CHARSET_DONE;
         base = FcCharSetNextPage(cs, map, &next)) {
        for (FcChar32 word = 0; word < FC_CHARSET_MAP_SIZE; ++word) {
            for (FcChar32 bit = 0; bit < 32 && map[word] != 0; ++bit) {
                if ((map[word] >> bit & 1) == 0) {
                    continue;
                }
                const FcChar32 cp = base + word * 32 + bit;
                if (!out.empty() && out.back().second + 1 == cp) {
                    out.back().second = cp;
                } else {
                    out.emplace_back(cp, cp);
                }
            }
        }
    }
    return out;
}

constexpr std::array<signed char, 256> kHexDigits = [] {
    std::array<signed char, 256> t{};
    t.fill(-1);
    for (int i = 0; i < 10; ++i) {
        t['0' + i] = static_cast<signed char>(i);
    }
    for (int i = 0; i < 6; ++i) {
        t['a' + i] = static_cast<signed char>(10 + i);
    }
    return t;
}();

int hexDigit(char c) {
    return kHexDigits[static_cast<unsigned char>(c)];
}

// Reads "20-7e a0 ...": hexadecimal ranges, ascending and apart, within
// Unicode. Only checks when into is null, else adds the characters to it.
// False for anything else.
bool scanRanges(std::string_view text, FcCharSet* into) {
    constexpr FcChar32 kLast = 0x10FFFF;
    const char* p = text.data();
    const char* const end = p + text.size();
    // A number of at most six digits; false without one.
    // A number of one to six digits.
    const auto number = [&](FcChar32& n) {
        const char* const first = p;
        n = 0;
        for (int digit; p != end && (digit = hexDigit(*p)) >= 0; ++p) {
            n = n * 16 + static_cast<FcChar32>(digit);
            if (p - first == 6) {
                return false;
            }
        }
        return p != first;
    };
    bool any = false;
    FcChar32 next = 0;  // the least the next range may start with
    while (p != end) {
        if (any && *p++ != ' ') {
            return false;
        }
        FcChar32 first = 0;
        FcChar32 last = 0;
        if (!number(first)) {
            return false;
        }
        last = first;
        if (p != end && *p == '-' && (++p, !number(last))) {
            return false;
        }
        if (last < first || last > kLast || (any && first < next)) {
            return false;
        }
        if (into != nullptr) {
            for (FcChar32 cp = first;; ++cp) {
                FcCharSetAddChar(into, cp);
                if (cp == last) {
                    break;
                }
            }
        }
        next = last + 2;
        any = true;
    }
    return any;
}

std::string hex(FcChar32 n) {
    char buf[16];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, n, 16);
    return std::string(buf, end);
}

// The cache's text:
//   label-fonts 1
//   key <the question, as fontconfig writes a pattern>
//   stamp <kind> <size> <seconds> <nanoseconds> <path>    (one a watched path)
//   font <a prepared pattern without its character set, as fontconfig writes one>
//   chars <its character set: ascending hexadecimal ranges "20-7e a0 ...">
//   end <number of fonts>
// with a font and a chars line a font, best first. Nothing is written
// unless every font reads back as it is.
bool composeCache(const std::string& key, LabelFontList& list, std::string& out) {
    if (list.size() == 0 || key.empty() || !oneLine(key)) {
        return false;
    }
    std::vector<std::string> files;
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < list.size(); ++i) {
        const FcPattern* font = list.pattern(i);
        const FcCharSet* cs = list.charset(i);
        std::string file;
        if (cs == nullptr || !fileOf(font, file)) {
            return false;
        }
        PatternPtr bare(FcPatternDuplicate(font));
        FcPatternDel(bare.get(), FC_CHARSET);
        std::string text = unparse(bare.get());
        if (text.empty() || !oneLine(text)) {
            return false;
        }
        const Ranges ranges = rangesOf(cs);
        std::string chars;
        for (const auto& [first, last] : ranges) {
            chars.append(chars.empty() ? "" : " ").append(hex(first));
            if (last != first) {
                chars.append("-").append(hex(last));
            }
        }
        // The pattern must read back as it is; the ranges are the set's own
        // pages, and building the whole set again to compare would cost
        // more than the rest of the list: their count does.
        PatternPtr back(FcNameParse(reinterpret_cast<const FcChar8*>(text.c_str())));
        FcChar32 count = 0;
        for (const auto& [first, last] : ranges) {
            count += last - first + 1;
        }
        if (!back || !FcPatternEqual(back.get(), bare.get()) || !scanRanges(chars, nullptr) ||
            count != FcCharSetCount(cs)) {
            return false;
        }
        files.push_back(std::move(file));
        lines.push_back("font " + text + "\nchars " + chars + "\n");
    }
    out.clear();
    out.append(kFormat).append("\nkey ").append(key).append("\n");
    for (const std::string& path : watchedPaths(files)) {
        if (!oneLine(path)) {
            return false;
        }
        const Stamp s = stampOf(path);
        out.append("stamp ").append(1, s.kind);
        for (const long long n : {s.size, s.seconds, s.nanoseconds}) {
            out.append(" ").append(std::to_string(n));
        }
        out.append(" ").append(path).append("\n");
    }
    for (const std::string& text : lines) {
        out.append(text);
    }
    out.append("end ").append(std::to_string(lines.size())).append("\n");
    return true;
}

bool makeFolders(const std::string& folder) {
    for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        const std::string part = folder.substr(0, slash);
        if (::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) {
            return false;
        }
        if (slash == std::string::npos) {
            break;
        }
    }
    struct stat st {};
    return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Under a temporary name beside it, then renamed into place, so that a
// reader sees the old file or the new one, never a part. Not synced: a
// file a crash has cut short is found wanting and written again.
void writeCache(const std::string& path, const std::string& text) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos || slash == 0 || !makeFolders(path.substr(0, slash))) {
        return;
    }
    std::string temp = path.substr(0, slash + 1) + ".label-fonts.XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        return;
    }
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    const bool closed = ::close(fd) == 0;
    if (done != text.size() || !closed || ::rename(temp.c_str(), path.c_str()) != 0) {
        ::unlink(temp.c_str());
    }
}

bool readWhole(const std::string& path, std::string& out) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 &&
              st.st_size <= kMaxCacheBytes;
    if (ok) {
        out.resize(static_cast<std::size_t>(st.st_size));
        std::size_t done = 0;
        while (done < out.size()) {
            const ssize_t n = ::read(fd, out.data() + done, out.size() - done);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                break;
            }
            done += static_cast<std::size_t>(n);
        }
        ok = done == out.size();
    }
    ::close(fd);
    return ok;
}

// Takes the next line (without its newline) off text; false at the end or
// when the last line has no newline (a cut file).
bool nextLine(std::string_view& text, std::string_view& line) {
    const std::size_t end = text.find('\n');
    if (end == std::string_view::npos) {
        return false;
    }
    line = text.substr(0, end);
    text.remove_prefix(end + 1);
    return true;
}

bool takePrefix(std::string_view& line, std::string_view prefix) {
    if (line.substr(0, prefix.size()) != prefix) {
        return false;
    }
    line.remove_prefix(prefix.size());
    return true;
}

// A decimal number up to the next blank (or the end), which is taken too.
bool takeNumber(std::string_view& line, long long& value) {
    const char* first = line.data();
    const char* last = first + line.size();
    const auto [end, ec] = std::from_chars(first, last, value);
    if (ec != std::errc() || end == first || value < 0) {
        return false;
    }
    line.remove_prefix(static_cast<std::size_t>(end - first));
    return line.empty() || takePrefix(line, " ");
}

bool stampHolds(std::string_view line, std::set<std::string>& seen) {
    Stamp recorded;
    if (line.size() < 2 || std::string_view("-fdo").find(line[0]) == std::string_view::npos ||
        line[1] != ' ') {
        return false;
    }
    recorded.kind = line[0];
    line.remove_prefix(2);
    if (!takeNumber(line, recorded.size) || !takeNumber(line, recorded.seconds) ||
        !takeNumber(line, recorded.nanoseconds) || line.empty() || line[0] != '/' ||
        line.find('\0') != std::string_view::npos) {
        return false;
    }
    std::string path(line);
    if (!(stampOf(path) == recorded)) {
        return false;
    }
    seen.insert(std::move(path));
    return true;
}

bool readCache(const std::string& path, const std::string& key, LabelFontList& list) {
    std::string whole;
    if (!readWhole(path, whole) || whole.find('\0') != std::string::npos) {
        return false;
    }
    std::string_view text(whole);
    std::string_view line;
    if (!nextLine(text, line) || line != kFormat || !nextLine(text, line) ||
        !takePrefix(line, "key ") || line != key) {
        return false;
    }
    // Every watched path first: a stale list is not worth reading on.
    std::set<std::string> stamped;
    while (nextLine(text, line) && takePrefix(line, "stamp ")) {
        if (!stampHolds(line, stamped)) {
            return false;
        }
    }
    LabelFontList read;
    while (takePrefix(line, "font ")) {
        const std::string s(line);
        FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(s.c_str()));
        if (pattern == nullptr) {
            return false;
        }
        std::string file;
        // A font whose file was not checked is not trusted.
        FcValue value;
        const bool ok = fileOf(pattern, file) && stamped.count(file) != 0 &&
                        FcPatternGet(pattern, FC_CHARSET, 0, &value) == FcResultNoMatch &&
                        nextLine(text, line) && takePrefix(line, "chars ") &&
                        scanRanges(line, nullptr);
        read.add(pattern, ok ? std::string(line) : std::string());
        if (!ok || !nextLine(text, line)) {
            return false;
        }
    }
    long long count = 0;
    if (!takePrefix(line, "end ") || !takeNumber(line, count) || !line.empty() || !text.empty() ||
        read.size() == 0 || count != static_cast<long long>(read.size())) {
        return false;
    }
    read.fromCache = true;
    list = std::move(read);
    return true;
}

}  // namespace

void LabelFontList::destroy() {
    for (Font& f : fonts_) {
        FcPatternDestroy(f.pattern);
    }
    fonts_.clear();
}

LabelFontList::~LabelFontList() {
    destroy();
}

LabelFontList::LabelFontList(LabelFontList&& other) noexcept
    : fromCache(other.fromCache), fonts_(std::move(other.fonts_)) {
    other.fonts_.clear();
}

LabelFontList& LabelFontList::operator=(LabelFontList&& other) noexcept {
    if (this != &other) {
        destroy();
        fonts_ = std::move(other.fonts_);
        other.fonts_.clear();
        fromCache = other.fromCache;
    }
    return *this;
}

void LabelFontList::add(FcPattern* pattern, std::string chars) {
    fonts_.push_back(Font{pattern, std::move(chars)});
}

FcCharSet* LabelFontList::charset(std::size_t font) {
    Font& f = fonts_.at(font);
    if (!f.chars.empty()) {
        FcCharSet* cs = FcCharSetCreate();
        scanRanges(f.chars, cs);
        FcPatternAddCharSet(f.pattern, FC_CHARSET, cs);
        FcCharSetDestroy(cs);
        f.chars.clear();
        f.chars.shrink_to_fit();
    }
    FcCharSet* cs = nullptr;
    return FcPatternGetCharSet(f.pattern, FC_CHARSET, 0, &cs) == FcResultMatch ? cs : nullptr;
}

namespace {
std::atomic<bool> cacheEnabled{false};
}  // namespace

void enableLabelFontCache() {
    cacheEnabled = true;
}

std::string labelFontCacheFile() {
    if (!cacheEnabled) {
        return {};
    }
    for (const char* other : {"FONTCONFIG_FILE", "FONTCONFIG_PATH", "FONTCONFIG_SYSROOT"}) {
        if (std::getenv(other) != nullptr) {
            return {};
        }
    }
    std::string program = program_invocation_short_name != nullptr
                              ? std::string(program_invocation_short_name)
                              : std::string();
    if (program.empty() || program == "." || program == ".." ||
        program.find_first_of("/\r\n") != std::string::npos) {
        return {};
    }
    if (program[0] >= 'a' && program[0] <= 'z') {
        program[0] = static_cast<char>(program[0] - 'a' + 'A');
    }
    const std::string cache = xdgDir("XDG_CACHE_HOME", "/.cache");
    return cache.empty() ? std::string() : cache + "/Corvanta/" + program + "/label-fonts";
}

LabelFontList loadLabelFontList(const std::string& cacheFile) {
    if (cacheFile.empty()) {
        return resolve();
    }
    const std::string key = cacheKey();
    LabelFontList list;
    if (readCache(cacheFile, key, list)) {
        return list;
    }
    list = resolve();
    std::string text;
    if (composeCache(key, list, text)) {
        writeCache(cacheFile, text);
    }
    return list;
}

}  // namespace drawing
