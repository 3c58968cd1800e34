#pragma once
// Reading the corpus files: cases.tsv beside the tests and the .expected files the generator
// writes next to the workbooks.

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/tab_fields.h"

namespace qm::format::testing {

struct Case {
    std::string format, value, excel, note;
    bool isText() const { return value.rfind("T:", 0) == 0; }
    bool isDateOrTime() const {
        return (value.size() >= 10 && value[4] == '-' && value[7] == '-') ||
               value.find(':') != std::string::npos;
    }
};

inline std::vector<Case> ReadCases() {
    std::vector<Case> cases;
    std::ifstream in(QM_FORMAT_CASES);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line.rfind("--", 0) == 0) continue;
        auto f = test::SplitFields(line);
        f.resize(4);
        cases.push_back({f[0], f[1], f[2], f[3]});
    }
    return cases;
}

// One line of an .expected file: LibreOffice's text and the cell's value.
struct OfficeText {
    std::string text;
    double value = 0;
};

inline std::vector<OfficeText> ReadExpected(const std::string& path) {
    std::vector<OfficeText> out;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        auto f = test::SplitFields(line);
        if (f.size() < 3) continue;
        out.push_back({test::UnescapeField(f[1]), std::strtod(f[2].c_str(), nullptr)});
    }
    return out;
}

}  // namespace qm::format::testing
