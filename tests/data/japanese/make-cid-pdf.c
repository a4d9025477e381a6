/* Writes cid-fonts.pdf: Japanese text set by cairo's PDF output, which
 * embeds its fonts as CID-keyed subsets, so that our PDF reader meets CID
 * fonts it did not write itself.
 *
 *   cc make-cid-pdf.c $(pkg-config --cflags --libs cairo) -o make-cid-pdf
 *   ./make-cid-pdf cid-fonts.pdf
 */
#include <cairo-pdf.h>
#include <cairo.h>

int main(int argc, char** argv) {
    if (argc != 2) {
        return 2;
    }
    cairo_surface_t* surface = cairo_pdf_surface_create(argv[1], 298, 210);
    cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_CREATE_DATE, "2026-12-09T00:00:00Z");
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_select_font_face(cr, "IPAexGothic", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, 20);
    cairo_move_to(cr, 20, 50);
    cairo_show_text(cr, "配管図");
    cairo_move_to(cr, 20, 100);
    cairo_show_text(cr, "改訂A");
    cairo_set_font_size(cr, 12);
    cairo_move_to(cr, 20, 150);
    cairo_show_text(cr, "東京都千代田区");
    cairo_rectangle(cr, 150, 30, 120, 60);
    cairo_stroke(cr);
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    return 0;
}
