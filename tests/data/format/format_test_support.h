#pragma once
// Reading the corpus files: cases.tsv beside the tests and the .expected files the generator
// writes next to the workbooks.

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace qm::format::testing {

inline std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t tab = line.find('\t', start);
        parts.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos) break;
        start = tab + 1;
    }
    return parts;
}

inline std::string Unescape(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 == s.size()) {
            out += s[i];
            continue;
        }
        const char c = s[++i];
        out += c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c;
    }
    return out;
}

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
    std::ifstream in(std::string(QM_SOURCE_DIR) + "/tests/data/format/cases.tsv");
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line.rfind("--", 0) == 0) continue;
        auto f = SplitTabs(line);
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
        auto f = SplitTabs(line);
        if (f.size() < 3) continue;
        out.push_back({Unescape(f[1]), std::strtod(f[2].c_str(), nullptr)});
    }
    return out;
}

}  // namespace qm::format::testing
