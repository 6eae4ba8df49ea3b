// tarnwick-man-page TEMPLATE PAGE: writes the manual page, its options from the option table.
// The build runs it; it is not installed.

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "manual_page.h"
#include "tarnwick/version.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: tarnwick-man-page TEMPLATE PAGE\n", stderr);
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "tarnwick-man-page: cannot read %s\n", argv[1]);
        return 1;
    }
    const std::string pageTemplate{std::istreambuf_iterator<char>(in),
                                   std::istreambuf_iterator<char>()};
    const auto page = tarnwick::ManualPage(pageTemplate, tarnwick::kVersion);
    if (!page) {
        std::fprintf(stderr,
                     "tarnwick-man-page: %s lacks @PROJECT_VERSION@, or a line "
                     "@TARNWICK_SYNOPSIS@ or @TARNWICK_OPTIONS@\n",
                     argv[1]);
        return 1;
    }
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out << *page;
    out.close();
    if (!out) {
        std::fprintf(stderr, "tarnwick-man-page: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
