// tolvane: splits plots into one-page HP-GL files and joins page files
// into one HP-GL, PDF, TIFF or SXF file. Which of the two a three-argument
// call does is line 9 of the parameter file, else the shape of the arguments
// (see parameters.h).
#include <cstring>
#include <iostream>
#include <string>

#include "common/allocator.h"
#include "drawing/render/label_font_list.h"
#include "drawing/render/render.h"
#include "tolvane/convert.h"
#include "tolvane/parameters.h"

namespace {

constexpr const char* kVersion = "tolvane 1.00";

void printHelp(std::ostream& out) {
    out << "Usage:\n"
           "  tolvane /h INPUT OUTPUT.hgl       split (parameter line 9 = 1): INPUT's pages\n"
           "                                    become OUTPUT_000001.hgl, OUTPUT_000002.hgl, ...\n"
           "  tolvane SWITCH PATTERN OUTPUT     join (parameter line 9 = 0): the files PATTERN\n"
           "                                    names, by name, become one file at OUTPUT\n"
           "                                    (line 9 neither 0 nor 1, or no parameter file:\n"
           "                                    a PATTERN with * or ? joins, a plain file splits)\n"
           "  tolvane --convert SWITCH INPUT OUTPUT\n"
           "                                    all pages of INPUT into one file at OUTPUT\n"
           "  tolvane --init                    create the parameter file with its defaults\n"
           "                                    when it is missing, and print its path\n"
           "  tolvane --help | --version\n"
           "Switches: /h HP-GL, /p PDF, /t TIFF, /y SXF (.sfc when OUTPUT ends in .sfc,\n"
           "          else .p21).\n"
           "Input, by extension: HP-GL (parameter line 4), PDF (.pdf), TIFF (.tif, .tiff),\n"
           "SXF (.p21, .sfc).\n"
           "Parameters: $XDG_DATA_HOME/Corvanta/Tolvane/Tolvane.par (created when missing).\n";
}

int fail(const std::string& message) {
    std::cerr << "tolvane: " << message << '\n';
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    siblings::keepFreedBlocksForReuse();
    drawing::enableLabelFontCache();
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        printHelp(std::cout);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::cout << kVersion << '\n';
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--init") == 0) {
        // What an installer does: leave a parameter file with the defaults,
        // so that a caller that switches its lines finds one to switch.
        std::string warning;
        tolvane::loadParameters(warning);
        if (!warning.empty()) {
            return fail(warning);
        }
        std::cout << tolvane::parameterFilePath() << '\n';
        return 0;
    }
    const bool convert = argc >= 2 && std::strcmp(argv[1], "--convert") == 0;
    if (argc != (convert ? 5 : 4)) {
        printHelp(std::cerr);
        return 2;
    }
    std::string warning;
    const tolvane::Parameters params = tolvane::loadParameters(warning);
    if (!warning.empty()) {
        std::cerr << "tolvane: warning: " << warning << '\n';
    }
    const int first = convert ? 2 : 1;
    const std::string outSwitch = argv[first];
    const std::string source = argv[first + 1];
    const std::string output = argv[first + 2];
    tolvane::OutputKind kind{};
    if (!tolvane::outputKindFromSwitch(outSwitch, kind)) {
        return fail("unknown output switch \"" + outSwitch + "\" (use /h, /p, /t or /y)");
    }
    std::string error;
    bool ok = false;
    if (convert) {
        ok = tolvane::convertFile(kind, source, output, params, error);
    } else if (tolvane::effectiveMode(params, source) == tolvane::Mode::Split) {
        if (kind != tolvane::OutputKind::Hpgl) {
            return fail("splitting writes HP-GL pages: the switch must be /h, not " + outSwitch);
        }
        ok = tolvane::splitFile(source, output, params, error);
    } else {
        ok = tolvane::joinFiles(kind, source, output, params, error);
    }
    drawing::releaseFontCaches();
    return ok ? 0 : fail(error);
}
