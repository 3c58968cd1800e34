// Writes each bookmark layout Word writes (tests/word/engine/docx_layouts.h) into the folder given
// as argv[1], as a .docx and as its bare main part, for the .docx fuzz target's seeds.

#include <cstdio>
#include <fstream>
#include <string>

#include "tests/word/engine/docx_layouts.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: docx_layout_seeds FOLDER\n");
        return 2;
    }
    int n = 0;
    for (const qm::test::layouts::Layout& layout : qm::test::layouts::WordLayouts()) {
        const std::string stem = std::string(argv[1]) + "/layout" + std::to_string(++n);
        const std::string document = qm::test::layouts::DocumentOf(layout.body);
        const std::vector<std::uint8_t> package = qm::test::layouts::PackageOf(document);
        std::ofstream(stem + ".docx", std::ios::binary)
            .write(reinterpret_cast<const char*>(package.data()),
                   static_cast<std::streamsize>(package.size()));
        std::ofstream(stem + ".xml", std::ios::binary)
            .write(document.data(), static_cast<std::streamsize>(document.size()));
    }
    return 0;
}
