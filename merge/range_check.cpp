#include "merge/range_check.h"

#include <algorithm>
#include <limits>

#include "common/text.h"

namespace qm {

namespace {

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

// A whole-number text as an int; values beyond the int range stay at its top, which lies past
// any sheet's last record.
long long WholeNumber(std::string_view text) {
    long long value = 0;
    for (char c : TrimBlanks(text)) {
        value = value * 10 + (c - '0');
        if (value > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
    }
    return value;
}

std::string Quoted(std::string_view text) {
    return "“" + std::string(text) + "”";
}

}  // namespace

bool IsWholeNumberText(std::string_view text) {
    text = TrimBlanks(text);
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string SheetDisplayName(std::string_view tableName) {
    std::string name(tableName);
    if (name.size() >= 2 && name.front() == '\'' && name.back() == '\'')
        name = ReplaceAll(name.substr(1, name.size() - 2), "''", "'");
    if (!name.empty() && name.back() == '$') name.pop_back();
    return name;
}

CheckedRange CheckRowRange(int modeIndex, std::string_view startText, std::string_view endText,
                           int recordsPerPage, int recordCount, std::string_view sheetName) {
    CheckedRange range;
    if (modeIndex != 0 && modeIndex != 1) {
        range.problem = "请先选择范围的方式（按条或按页）。";
        return range;
    }
    const bool pages = modeIndex == 1;
    const char* unit = pages ? "页" : "条";
    if (!IsWholeNumberText(startText)) {
        range.problem = "范围的起始值" + Quoted(startText) + "不是整数，请输入从1开始的整数。";
        return range;
    }
    if (!IsWholeNumberText(endText)) {
        range.problem = "范围的结束值" + Quoted(endText) + "不是整数，请输入从1开始的整数。";
        return range;
    }
    const long long first = std::max<long long>(WholeNumber(startText), 1);
    const long long last = WholeNumber(endText);
    if (first > last) {
        range.problem = "范围的起始值（第" + IntToText(first) + unit + "）在结束值（第" + IntToText(last) +
                        unit + "）之后，请改正范围。";
        return range;
    }
    const long long perPage = std::max(recordsPerPage, 1);
    const long long startRow = pages ? (first - 1) * perPage + 1 : first;
    const long long endRow = pages ? last * perPage : last;
    if (startRow > recordCount) {
        const std::string sheet = Quoted(SheetDisplayName(sheetName));
        if (recordCount <= 0) {
            range.problem = "工作表" + sheet + "没有记录，没有可以生成的文档。";
        } else {
            range.problem = "范围从第" + IntToText(startRow) + "条记录开始，但工作表" + sheet + "只有" +
                            IntToText(recordCount) + "条记录，请改正范围。";
        }
        return range;
    }
    range.start = static_cast<int>(startRow);
    range.end = static_cast<int>(std::min<long long>(endRow, recordCount));
    return range;
}

}  // namespace qm
