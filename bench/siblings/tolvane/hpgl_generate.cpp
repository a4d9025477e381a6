// Writes a schematic-like HP-GL plot for benchmarks: a sheet of component
// cells (wires, resistor boxes, pins, labels, some filled pads) in four
// pens, as many cells as it takes to reach the requested size per page.
//
//   hpgl_generate PAGES BYTES_PER_PAGE SHEET OUT
//
// SHEET is a4, a3 or a0. Pages are separated by PG.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

namespace {

struct Lcg {
    std::uint32_t state = 12345;
    int next(int n) {
        state = state * 1664525u + 1013904223u;
        return static_cast<int>((state >> 8) % static_cast<std::uint32_t>(n));
    }
};

void cell(std::ostringstream& out, Lcg& rng, int x, int y, int index) {
    out << "SP" << 1 + rng.next(4) << ";";
    // A wire with two bends into the cell.
    out << "PU" << x << "," << y + 400 << ";PD" << x + 300 + rng.next(300) << "," << y + 400 << ","
        << x + 600 << "," << y + 200 + rng.next(400) << "," << x + 1000 << "," << y + 400 << ";";
    // A resistor body and its pins.
    out << "PU" << x + 350 << "," << y + 330 << ";EA" << x + 650 << "," << y + 470 << ";";
    out << "PU" << x + 200 << "," << y + 400 << ";CI20;PU" << x + 800 << "," << y + 400 << ";CI20;";
    if (rng.next(5) == 0) {
        out << "PU" << x + 100 << "," << y + 100 << ";RA" << x + 180 << "," << y + 180 << ";";
    }
    out << "PU" << x + 350 << "," << y + 520 << ";LBR" << index << "\x03";
    out << "PU" << x + 350 << "," << y + 250 << ";LB" << 1 + rng.next(99) << "k\x03";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::cerr << "usage: hpgl_generate PAGES BYTES_PER_PAGE a4|a3|a0 OUT\n";
        return 2;
    }
    const int pages = std::atoi(argv[1]);
    const long bytes = std::atol(argv[2]);
    const std::string sheet = argv[3];
    // Landscape sheets in plotter units (0.025 mm).
    const int width = sheet == "a0" ? 47560 : sheet == "a3" ? 16800 : 11880;
    const int height = sheet == "a0" ? 33640 : sheet == "a3" ? 11880 : 8400;
    std::ofstream file(argv[4], std::ios::binary);
    if (pages <= 0 || bytes <= 0 || !file) {
        std::cerr << "hpgl_generate: bad arguments\n";
        return 2;
    }
    Lcg rng;
    file << "IN;PS" << width << "," << height << ";SP1;PW0.25;SI0.15,0.22;";
    for (int p = 0; p < pages; ++p) {
        if (p > 0) {
            file << "PG;";
        }
        std::ostringstream out;
        out << "SP1;PU400,400;PD" << width - 400 << ",400," << width - 400 << "," << height - 400
            << ",400," << height - 400 << ",400,400;";
        out << "PU" << width - 4000 << ",800;LBSHEET " << p + 1 << " OF " << pages << "\x03";
        int index = 0;
        // Cells fill the sheet row by row, and start over on top when a
        // page asks for more than a sheet's worth.
        while (static_cast<long>(out.tellp()) < bytes) {
            const int columns = (width - 2000) / 1100;
            const int rows = (height - 2000) / 700;
            const int slot = index % (columns * rows);
            const int shift = (index / (columns * rows)) % 7 * 40;
            cell(out, rng, 1000 + slot % columns * 1100 + shift,
                 1000 + slot / columns * 700 + shift, index);
            ++index;
        }
        file << out.str();
    }
    file << "PU;SP0;\n";
    return file ? 0 : 1;
}
