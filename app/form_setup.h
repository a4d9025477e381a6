// What every form needs after its window definition is loaded: fonts with
// the names as designed (and metric-compatible substitutes where Linux lacks
// them), pixel font sizes, and the place on the screen.
#pragma once

class QWidget;

namespace mervik {

// Registers the substitutes (Carlito for Calibri, and so on). Call once after
// the application object exists and before the first form is built.
void registerFontSubstitutes();

// A .ui font knows points only; the forms give their pixel sizes in the
// dynamic property "fontPixelSize", which this applies to root and every child.
void applyPixelFonts(QWidget* root);

// Makes the icons of the window definitions available. Safe to call again.
void initResources();

// Centres a top-level window on its screen (or the primary one).
void centreOnScreen(QWidget* window);

}  // namespace mervik
