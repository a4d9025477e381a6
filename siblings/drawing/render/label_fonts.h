// The fonts labels are drawn with: the label font, and for each character
// it lacks the first font of fontconfig's fallback order that has it (a
// Japanese font for Japanese text). One table for the process, so that
// every page and every output draws a character with the same glyph.
#pragma once

#include <cairo.h>

#include <string>

namespace drawing {

struct LabelGlyph {
    int font = 0;             // index of the font in the table
    unsigned long index = 0;  // glyph index in that font
    double advance = 0;       // per unit of font size
    // The ink's top (negative above the baseline) and height, per unit.
    double inkTop = 0;
    double inkHeight = 0;
    // The font's em box (ascent and descent) the same way.
    double emTop = 0;
    double emHeight = 0;
};

// The font file behind a font of the table, for writers that embed it.
struct LabelFontFile {
    std::string path;
    int faceIndex = 0;  // within a font collection
};

// The glyph that draws the character; control characters are drawn as
// blanks, and a character no font has as the label font's missing glyph.
LabelGlyph labelGlyph(unsigned cp);
// The same in a column: the font's vertical form where it has one.
LabelGlyph labelVerticalGlyph(unsigned cp);
// The cairo face of a font of the table (owned by the table).
cairo_font_face_t* labelFontFace(int font);
LabelFontFile labelFontFile(int font);
// The label font's capital height and the advance of its characters, per
// unit of size.
void labelFontMetrics(double& capHeight, double& advance);
// Drops the table (before fontconfig is shut down).
void releaseLabelFonts();

}  // namespace drawing
