#include "app/gui/window_texts.h"

#include <cctype>

namespace qm::gui {

namespace {

bool StartsWithNoCase(std::string_view text, std::string_view head) {
    if (text.size() < head.size()) return false;
    for (std::size_t i = 0; i < head.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != head[i]) return false;
    return true;
}

// The reasons of the data layer begin with a fixed word or phrase; what follows it is detail
// for the batch command.
std::string Reason(std::string_view problem) {
    struct Entry {
        std::string_view head;
        const char* text;
    };
    static constexpr Entry kReasons[] = {
        {"the file does not exist", "文件不存在，可能已被移动、改名或删除"},
        {"cannot open the file", "没有读取这个文件的权限，或者文件被别的程序占用"},
        {"not a regular file", "这不是一个普通文件"},
        {"the file is empty", "文件是空的"},
        {"encrypted", "文件设置了打开密码，请在表格程序中去掉密码后再用"},
        {"too large", "文件太大，无法读取"},
        {"not a workbook", "文件内容不是表格（.xls、.xlsx、.xlsm、.ods 或 .csv），可能只是改了扩展名"},
        {"damaged", "文件已损坏，无法读取"},
        {"no file named", "没有选择文件"},
    };
    for (const Entry& entry : kReasons)
        if (problem.starts_with(entry.head)) return entry.text;
    return "文件无法读取";
}

}  // namespace

bool IsWebAddress(std::string_view target) {
    return StartsWithNoCase(target, "http://") || StartsWithNoCase(target, "https://");
}

std::string WorkbookProblemText(std::string_view fileName, std::string_view problem) {
    return "无法读取Excel文件“" + std::string(fileName) + "”：" + Reason(problem) + "。";
}

std::string CannotOpenText(std::string_view target) {
    if (IsWebAddress(target))
        return "无法打开网页：这台电脑上没有可以打开网页的浏览器。\r\n请复制下面的地址，在浏览器中打开：\r"
               "\n" +
               std::string(target);
    return "无法打开文件夹：这台电脑上没有可以打开文件夹的文件管理器。\r\n位置是：\r\n" + std::string(target);
}

namespace {

std::string Described(const std::vector<RowFilter>& filters) {
    std::string text;
    for (const RowFilter& filter : filters) text += (text.empty() ? "" : "，并且") + DescribeFilter(filter);
    return text;
}

}  // namespace

std::string FilterProblemText(FilterProblemKind kind, std::string_view column) {
    const std::string name = "“" + std::string(column) + "”";
    switch (kind) {
        case FilterProblemKind::NoSuchColumn:
            return "工作表中没有" + name + "列，请重新选择筛选的列。";
        case FilterProblemKind::NotANumber:
            return name + "列是数字，“大于”和“小于”要和数字比较，请输入一个数字。";
        case FilterProblemKind::NotADate:
            return name + "列是日期，“大于”和“小于”要和日期比较，请输入一个日期，例如 2024-03-05。";
    }
    return {};
}

std::string NoRowMatchesText(const std::vector<RowFilter>& filters) {
    return "没有符合筛选条件的行：" + Described(filters) + "。请修改或清除筛选条件。";
}

std::string FilterLine(const std::vector<RowFilter>& filters) {
    if (filters.empty()) return {};
    return "　　筛选：" + Described(filters) + "。";
}

}  // namespace qm::gui
