// Vector PDF output, one page at a time, so that joining many pages keeps
// the memory of one.
//
// The content streams are written directly rather than through a drawing
// library: a dense sheet holds tens of thousands of separate fills, and a
// library that tracks what each one covers spends seconds where writing
// them out takes a fraction of one. Labels are drawn as the outlines of
// their glyphs (each glyph once per file, as a form placed where it
// stands), with their characters in an invisible text layer on top, so
// that they look as on every other output and can still be searched and
// copied. The text layer's fonts are the fonts the glyphs come from,
// embedded as subsets of the glyphs used, with a map back to the
// characters, so that any script copies as it reads. Marks (Layer::marks) go into an optional
// content group that a viewer can hide.
#pragma once

#include <iosfwd>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "drawing/page.h"

namespace drawing {

class LabelOutlines;
struct Frame;

class PdfWriter {
  public:
    explicit PdfWriter(std::ostream& out);
    ~PdfWriter();
    PdfWriter(const PdfWriter&) = delete;
    PdfWriter& operator=(const PdfWriter&) = delete;

    // Each page gets its own media box: the page's size, or its content.
    bool addPage(const Page& page, std::string& error);
    // Writes the trailer; the document is complete only after this.
    bool close(std::string& error);
    int pages() const { return static_cast<int>(pageObjects_.size()); }

  private:
    int newObject();
    void beginObject(int object);
    void writeStream(int object, const std::string& dictionary, std::string_view data);
    // The data compressed; a failure fails the writer.
    std::string deflate(std::string_view data);
    bool check(std::string& error) const;
    // The form object that draws the label glyph, written on first use;
    // 0 for a glyph without an outline.
    int glyphForm(int font, unsigned long index);
    // The font's resource name on a page, its object reserved on first use.
    std::string fontResource(int font);
    void writeFont(int font);

    // addPage by what it writes. Content is the page's operators; the
    // labels of a layer are kept from their glyphs for the text layer.
    class Compressor;
    class Content;
    struct LayerLabels;
    void writeImages(const Page& page, Content& c, std::string& xobjects);
    // Fills first, then outlines, then labels: the order of every other
    // output. Returns whether the layer has anything.
    bool writeLayer(const Page& page, Layer layer, Content& c, std::set<int>& usedForms);
    void writeFills(const Page& page, Layer layer, Content& c) const;
    void writeOutlines(const Page& page, Layer layer, Content& c) const;
    void writeGlyphs(const Page& page, Layer layer, Content& c, std::set<int>& usedForms,
                     LayerLabels& labels);
    void writeTextLayer(const LayerLabels& labels, Content& c);
    // contents: the reference to the page's content stream, or an array
    // of them.
    void writePageDictionary(int pageObject, const Frame& frame, const std::string& contents,
                             const std::string& xobjects, bool anyMarks);

    std::ostream& out_;
    std::unique_ptr<LabelOutlines> labels_;
    std::unique_ptr<Compressor> compressor_;
    // For the pieces of a page's content compressed on threads of their
    // own, two at a time, while the page's forms and images are compressed
    // with the first; made for the first page of more than one piece.
    std::unique_ptr<Compressor> threadCompressors_[2];
    long long written_ = 0;
    std::vector<long long> offsets_;  // per object number - 1
    std::vector<int> pageObjects_;
    std::map<std::pair<int, unsigned long>, int> glyphForms_;
    // The fonts of the text layer, written at the end as subsets of the
    // glyphs used: the object of each, and each glyph's characters.
    struct UsedFont {
        int object = 0;
        std::map<unsigned long, std::string> chars;
    };
    std::map<int, UsedFont> fonts_;
    int pagesObject_ = 0;
    int marksObject_ = 0;
    bool failed_ = false;
};

}  // namespace drawing
