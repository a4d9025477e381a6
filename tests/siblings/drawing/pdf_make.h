// Small PDFs written by hand for the reader's tests: each page is a content
// stream of our own, so that what the reader must find is known exactly.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace drawing::test {

// The objects of a PDF, numbered from 1, with their cross-reference table.
inline std::string pdfOfObjects(const std::vector<std::string>& objects) {
    std::string pdf = "%PDF-1.4\n";
    std::vector<std::size_t> offsets;
    for (std::size_t i = 0; i < objects.size(); ++i) {
        offsets.push_back(pdf.size());
        pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const std::size_t xref = pdf.size();
    pdf += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (std::size_t off : offsets) {
        char line[32];
        std::snprintf(line, sizeof line, "%010zu 00000 n \n", off);
        pdf += line;
    }
    pdf += "trailer\n<< /Size " + std::to_string(objects.size() + 1) +
           " /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    return pdf;
}

// pages: the content streams. Helvetica is resource /F1 on every page; the
// media box is 0 0 width height in points.
inline std::string makePdf(const std::vector<std::string>& pages, double width = 612,
                           double height = 792) {
    std::vector<std::string> objects;
    objects.push_back("<< /Type /Catalog /Pages 2 0 R >>");
    std::string kids;
    for (std::size_t i = 0; i < pages.size(); ++i) {
        kids += std::to_string(4 + 2 * i) + " 0 R ";
    }
    objects.push_back("<< /Type /Pages /Kids [" + kids + "] /Count " +
                      std::to_string(pages.size()) + " >>");
    objects.push_back("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
    char box[96];
    std::snprintf(box, sizeof box, "[0 0 %g %g]", width, height);
    for (std::size_t i = 0; i < pages.size(); ++i) {
        objects.push_back("<< /Type /Page /Parent 2 0 R /MediaBox " + std::string(box) +
                          " /Resources << /Font << /F1 3 0 R >> >> /Contents " +
                          std::to_string(5 + 2 * i) + " 0 R >>");
        objects.push_back("<< /Length " + std::to_string(pages[i].size()) + " >>\nstream\n" +
                          pages[i] + "\nendstream");
    }
    return pdfOfObjects(objects);
}

}  // namespace drawing::test
