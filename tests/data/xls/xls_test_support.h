#pragma once
// Where the workbook reader tests find their own workbooks.

#include <filesystem>
#include <string>

namespace qm::xls::testing {

// The folder of workbooks written by make_workbooks.py at build time; "" when the build did not
// make them.
inline std::string FixtureFolder() {
    const std::string folder = QM_XLS_FIXTURES;
    std::error_code ec;
    return std::filesystem::exists(folder + "/people.xls", ec) ? folder : std::string();
}

}  // namespace qm::xls::testing
