// Fills the markers of a page with the usage of the kinds of side (engine/kn_unitSideUsage.h), at
// build time, so that the manual pages and the metainfo list every registered kind:
//   kestrune-pages roff|xml IN OUT
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "engine/kn_unitSideUsage.h"

int main(int argc, char** argv)
{
    if (argc != 4 || (std::strcmp(argv[1], "roff") != 0 && std::strcmp(argv[1], "xml") != 0)) {
        std::fprintf(stderr, "usage: kestrune-pages roff|xml IN OUT\n");
        return 2;
    }
    std::ifstream in(argv[2]);
    std::stringstream page;
    page << in.rdbuf();
    if (!in) {
        std::fprintf(stderr, "kestrune-pages: cannot read %s\n", argv[2]);
        return 1;
    }
    const auto format = std::strcmp(argv[1], "roff") == 0 ? kn::TKNUsageFormat::Roff : kn::TKNUsageFormat::Html;
    std::ofstream out(argv[3], std::ios::trunc);
    out << kn::FillUsageMarkers(page.str(), format);
    out.close();
    if (!out) {
        std::fprintf(stderr, "kestrune-pages: cannot write %s\n", argv[3]);
        return 1;
    }
    return 0;
}
