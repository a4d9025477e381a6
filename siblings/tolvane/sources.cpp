#include "tolvane/sources.h"

#include <iterator>

#include "common/files.h"
#include "drawing/hpgl/hpgl.h"
#include "drawing/pdf/pdf_reader.h"
#include "drawing/sxf/sxf.h"
#include "drawing/tiff/tiff_reader.h"

namespace tolvane {
namespace {

struct Format {
    InputKind kind;
    const char* extensions;  // ";" between, after the HP-GL list of line 4
    drawing::FileReader read;
    bool offsets;  // whether a read error's byte offset means something
};

const Format kFormats[] = {
    {InputKind::Hpgl, "", drawing::readHpglFile, true},
    {InputKind::Pdf, "pdf", drawing::readPdfFile, false},
    {InputKind::Tiff, "tif;tiff", drawing::readTiffFile, false},
    {InputKind::Sxf, "p21;sfc", drawing::readSxfFile, true},
};

const Format* formatOf(InputKind kind) {
    for (const auto& f : kFormats) {
        if (f.kind == kind) {
            return &f;
        }
    }
    return nullptr;
}

std::string extensionOf(const std::string& path) {
    const std::string name = siblings::nameOf(path);
    const auto dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

}  // namespace

InputKind inputKindOf(const std::string& path, const Parameters& params) {
    const std::string ext = extensionOf(path);
    if (extensionInList(ext, params.hpglExtensions)) {
        return InputKind::Hpgl;
    }
    for (const auto& f : kFormats) {
        if (*f.extensions != '\0' && !ext.empty() && extensionInList(ext, f.extensions)) {
            return f.kind;
        }
    }
    return InputKind::Unknown;
}

bool readInput(const std::string& path, InputKind kind, const drawing::PageSink& sink,
               std::string& error, bool foldFillEdges) {
    const Format* f = formatOf(kind);
    if (f == nullptr) {
        error = path + ": no reader for this kind of file";
        return false;
    }
    drawing::ReadError re;
    const bool read =
        kind == InputKind::Hpgl && foldFillEdges
            ? drawing::readHpglFile(path, sink, re, drawing::HpglReadOptions{.foldFillEdges = true})
            : f->read(path, sink, re);
    if (read) {
        return true;
    }
    error = f->offsets ? path + ": at byte " + std::to_string(re.offset) + ": " + re.message
                       : path + ": " + re.message;
    return false;
}

std::string unknownInputError(const std::string& path, const Parameters& params) {
    std::string known;
    for (const auto& f : kFormats) {
        if (*f.extensions != '\0') {
            known += std::string(";") + f.extensions;
        }
    }
    return path + ": unknown input type (not an HP-GL extension: " + params.hpglExtensions +
           ", nor " + known.substr(1) + ")";
}

}  // namespace tolvane
