#pragma once
// Messages of the window that are built from pieces: why a workbook cannot be read, and what
// to do when the desktop cannot open a web address or a folder.

#include <string>
#include <string_view>
#include <vector>

#include "merge/row_filter.h"

namespace qm::gui {

// "http://" or "https://" at the start, in any letter case.
bool IsWebAddress(std::string_view target);

// The workbook `fileName` cannot be read for `problem` (a reason of the data layer, in
// English): the message in the user's words, naming the file.
std::string WorkbookProblemText(std::string_view fileName, std::string_view problem);

// The desktop has no program to open `target` (a web address or a folder): says so and gives
// the address or the path to copy.
std::string CannotOpenText(std::string_view target);

// What a filter cannot do, naming its column.
std::string FilterProblemText(FilterProblemKind kind, std::string_view column);
// The filters leave no row of the sheet.
std::string NoRowMatchesText(const std::vector<RowFilter>& filters);
// The filters in one line of a confirmation: "　　筛选：“部门”等于“销售部”。"; "" without any.
std::string FilterLine(const std::vector<RowFilter>& filters);

}  // namespace qm::gui
