#pragma once
// Helpers shared by the workbook reader tests: running the python scripts and finding fixtures.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace qm::xls::testing {

// Runs a shell command and returns its standard output; `ok` tells whether it exited with 0.
inline std::string RunCommand(const std::string& command, bool* ok = nullptr) {
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) {
        if (ok) *ok = false;
        return out;
    }
    char buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    const int status = ::pclose(pipe);
    if (ok) *ok = status == 0;
    return out;
}

inline std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// The folder of workbooks written by tests/data/xls/make_workbooks.py at build time; "" when
// the build did not make them.
inline std::string FixtureFolder() {
    const std::string folder = QM_XLS_FIXTURES;
    FILE* f = std::fopen((folder + "/people.xls").c_str(), "rb");
    if (!f) return "";
    std::fclose(f);
    return folder;
}

inline std::vector<std::uint8_t> ReadBytes(const std::string& path) {
    std::vector<std::uint8_t> bytes;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        std::uint8_t buffer[65536];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
            bytes.insert(bytes.end(), buffer, buffer + n);
        std::fclose(f);
    }
    return bytes;
}

}  // namespace qm::xls::testing
