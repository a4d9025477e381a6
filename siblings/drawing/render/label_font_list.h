// The list of fonts labels are drawn with, best first: the label font, then
// fontconfig's fallback order for it, each pattern prepared for drawing (its
// file, face index, character set and the options cairo reads).
//
// Resolving the list means loading fontconfig's configuration, which costs a
// process more than the rest of a small join. So the list is kept in a small
// per-user file, with the size and time of every file and folder it was
// resolved from; a later process whose file still matches reads the list
// from it and never loads the configuration. Anything that does not match
// (a font file changed or gone, a configuration file or font folder
// touched, fontconfig's own caches rebuilt, another version of the format,
// a damaged file) resolves the list anew and rewrites the file.
#pragma once

#include <fontconfig/fontconfig.h>

#include <string>
#include <vector>

namespace drawing {

class LabelFontList {
  public:
    LabelFontList() = default;
    ~LabelFontList();
    LabelFontList(LabelFontList&& other) noexcept;
    LabelFontList& operator=(LabelFontList&& other) noexcept;
    LabelFontList(const LabelFontList&) = delete;
    LabelFontList& operator=(const LabelFontList&) = delete;

    std::size_t size() const { return fonts_.size(); }
    // The font's pattern, owned by the list. Read from the cache, it gets
    // its character set only once charset() was asked for it: most labels
    // need the first font's alone, and building a set costs.
    FcPattern* pattern(std::size_t font) const { return fonts_.at(font).pattern; }
    // The font's character set (in its pattern from then on); null when
    // it has none.
    FcCharSet* charset(std::size_t font);

    // Takes the pattern over; chars, when given, are the character set it
    // is still to get, as the cache file writes it.
    void add(FcPattern* pattern, std::string chars = {});

    // Read from the cache file rather than resolved through fontconfig.
    bool fromCache = false;

  private:
    struct Font {
        FcPattern* pattern = nullptr;
        // The character set still to be built, as the cache file writes it.
        std::string chars;
    };
    void destroy();
    std::vector<Font> fonts_;
};

// Lets labelFontCacheFile name a file: a program calls this first thing,
// while a program that only draws now and then (a test, say) leaves the
// user's cache folder alone.
void enableLabelFontCache();

// The cache file: $XDG_CACHE_HOME (else $HOME/.cache), then
// Corvanta/<Program>/label-fonts, the program's name with a capital, as the
// programs' data folders are named. Empty before enableLabelFontCache, when
// no such folder can be named,
// or when FONTCONFIG_FILE, FONTCONFIG_PATH or FONTCONFIG_SYSROOT point
// fontconfig elsewhere (such runs are not cached).
std::string labelFontCacheFile();

// The list, from cacheFile while it is valid, else from fontconfig (and then
// written to cacheFile, when it can be). An empty cacheFile: fontconfig
// only. A missing, unreadable or unwritable cache only costs the time.
LabelFontList loadLabelFontList(const std::string& cacheFile);

}  // namespace drawing
