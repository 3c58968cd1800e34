#include <cstddef>

#include "data/model/workbook.h"
#include "data/names.h"
#include "data/providers.h"

namespace qm::data {
namespace {

// A query result as a view: the shared workbook, one of its sheets and the sheet columns that
// make the fields.
class SheetView : public Table {
  public:
    SheetView(std::shared_ptr<const xls::Workbook> workbook, const xls::Sheet& sheet,
              std::vector<std::size_t> columns, std::vector<std::string> names, ValueStyle style)
        : workbook_(std::move(workbook)),
          sheet_(sheet),
          columns_(std::move(columns)),
          names_(std::move(names)),
          shown_(style == ValueStyle::Shown) {
        const std::size_t rows = sheet_.rowCount();
        records_ = rows > 0 ? static_cast<long long>(rows - 1) : 0;
    }

    long long rowCount() const override { return records_; }
    int fieldCount() const override { return static_cast<int>(columns_.size()); }
    std::string fieldName(int field) const override { return names_[static_cast<std::size_t>(field)]; }
    std::string value(long long row, int field) const override {
        const std::size_t r = static_cast<std::size_t>(row) + 1,
                          c = columns_[static_cast<std::size_t>(field)];
        return shown_ ? sheet_.shownCell(r, c) : sheet_.cell(r, c);
    }

  private:
    std::shared_ptr<const xls::Workbook> workbook_;  // keeps sheet_ alive
    const xls::Sheet& sheet_;
    std::vector<std::size_t> columns_;
    std::vector<std::string> names_;
    bool shown_;
    long long records_ = 0;
};

bool IsNotBlank(char c) {
    return !(c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f');
}

// Position of the FROM keyword that ends the select list: the last one outside brackets with a
// blank or a bracket on both sides. npos when there is none.
std::size_t FindFrom(std::string_view text) {
    std::size_t found = std::string_view::npos;
    bool inBracket = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inBracket) {
            if (c == ']') inBracket = false;
            continue;
        }
        if (c == '[') {
            inBracket = true;
            continue;
        }
        if (i == 0 || i + 4 >= text.size() || !EqualsIgnoringAsciiCase(text.substr(i, 4), "from")) continue;
        const char before = text[i - 1];
        const char after = text[i + 4];
        if ((IsNotBlank(before) && before != ']' && before != '*') || (IsNotBlank(after) && after != '['))
            continue;
        found = i;
    }
    return found;
}

// A name of the select list or the table: blanks around it dropped, one pair of brackets
// around it removed.
std::string Unbracket(std::string_view text) {
    text = TrimBlanks(text);
    if (text.size() >= 2 && text.front() == '[' && text.back() == ']') text = text.substr(1, text.size() - 2);
    return std::string(text);
}

// "'It''s$'" -> "It's$"; anything not between apostrophes is returned as it is.
std::string Unquote(std::string_view name) {
    if (name.size() < 2 || name.front() != '\'' || name.back() != '\'') return std::string(name);
    std::string out;
    name = name.substr(1, name.size() - 2);
    for (std::size_t i = 0; i < name.size(); ++i) {
        out += name[i];
        if (name[i] == '\'' && i + 1 < name.size() && name[i + 1] == '\'') ++i;
    }
    return out;
}

const xls::Sheet* FindSheet(const xls::Workbook& workbook, const std::string& table) {
    const std::string unquoted = Unquote(table);
    for (int pass = 0; pass < 2; ++pass) {
        for (const xls::Sheet& sheet : workbook.sheets) {
            if (sheet.kind != xls::SheetKind::Worksheet) continue;
            const std::string plain = sheet.name + "$";
            const bool same = pass == 0 ? (table == plain || unquoted == plain)
                                        : (EqualsIgnoringAsciiCase(table, plain) ||
                                           EqualsIgnoringAsciiCase(unquoted, plain));
            if (same) return &sheet;
        }
    }
    return nullptr;
}

std::vector<std::string> Titles(const xls::Sheet& sheet) {
    std::vector<std::string> titles;
    if (sheet.rowCount() == 0) return titles;
    const std::size_t columns = sheet.columnCount();
    titles.reserve(columns);
    for (std::size_t c = 0; c < columns; ++c) {
        std::string title = sheet.cell(0, c);
        if (title.empty()) title = "F" + std::to_string(c + 1);
        titles.push_back(std::move(title));
    }
    return titles;
}

long FindTitle(const std::vector<std::string>& titles, const std::string& name) {
    for (std::size_t i = 0; i < titles.size(); ++i)
        if (titles[i] == name) return static_cast<long>(i);
    for (std::size_t i = 0; i < titles.size(); ++i)
        if (EqualsIgnoringAsciiCase(titles[i], name)) return static_cast<long>(i);
    return -1;
}

}  // namespace

std::vector<std::string> WorkbookTableNames(const xls::Workbook& workbook) {
    std::vector<std::string> names;
    for (const xls::Sheet& sheet : workbook.sheets)
        if (sheet.kind == xls::SheetKind::Worksheet) names.push_back(JetTableName(sheet.name));
    return names;
}

bool ParseWorkbookQuery(std::string_view sql, WorkbookQuery& query) {
    query = WorkbookQuery{};
    sql = TrimBlanks(sql);
    if (!sql.empty() && sql.back() == ';') sql = TrimBlanks(sql.substr(0, sql.size() - 1));
    if (!StartsWithIgnoringAsciiCase(sql, "select") || sql.size() == 6) return false;
    const char next = sql[6];
    if (IsNotBlank(next) && next != '*' && next != '[') return false;
    const std::string_view rest = sql.substr(6);
    const std::size_t from = FindFrom(rest);
    if (from == std::string_view::npos) return false;

    query.table = Unbracket(rest.substr(from + 4));
    if (query.table.empty()) return false;

    const std::string_view list = TrimBlanks(rest.substr(0, from));
    if (list == "*") {
        query.allColumns = true;
        return true;
    }
    // Split at commas outside brackets.
    std::size_t start = 0;
    bool inBracket = false;
    for (std::size_t i = 0; i <= list.size(); ++i) {
        if (i < list.size()) {
            if (list[i] == '[') inBracket = true;
            if (list[i] == ']') inBracket = false;
            if (list[i] != ',' || inBracket) continue;
        }
        std::string name = Unbracket(list.substr(start, i - start));
        if (name.empty()) return false;
        query.columns.push_back(std::move(name));
        start = i + 1;
    }
    return !query.columns.empty();
}

std::unique_ptr<Cursor> OpenWorkbookTable(std::shared_ptr<const xls::Workbook> workbook,
                                          std::string_view table, ValueStyle style) {
    if (!workbook) return nullptr;
    const xls::Sheet* sheet = FindSheet(*workbook, Unbracket(table));
    if (!sheet) return nullptr;
    std::vector<std::string> titles = Titles(*sheet);
    std::vector<std::size_t> columns(titles.size());
    for (std::size_t c = 0; c < columns.size(); ++c) columns[c] = c;
    return std::make_unique<Cursor>(std::make_unique<SheetView>(std::move(workbook), *sheet,
                                                                std::move(columns), std::move(titles), style),
                                    /*writable=*/false);
}

std::unique_ptr<Cursor> OpenWorkbookQuery(std::shared_ptr<const xls::Workbook> workbook, std::string_view sql,
                                          ValueStyle style) {
    if (!workbook) return nullptr;
    WorkbookQuery query;
    if (!ParseWorkbookQuery(sql, query)) return nullptr;
    const xls::Sheet* sheet = FindSheet(*workbook, query.table);
    if (!sheet) return nullptr;

    std::vector<std::string> titles = Titles(*sheet);
    std::vector<std::size_t> columns;
    std::vector<std::string> names;
    if (query.allColumns) {
        columns.reserve(titles.size());
        for (std::size_t c = 0; c < titles.size(); ++c) columns.push_back(c);
        names = std::move(titles);
    } else {
        for (const std::string& name : query.columns) {
            const long c = FindTitle(titles, name);
            if (c < 0) return nullptr;
            columns.push_back(static_cast<std::size_t>(c));
        }
        names = std::move(query.columns);
    }
    return std::make_unique<Cursor>(
        std::make_unique<SheetView>(std::move(workbook), *sheet, std::move(columns), std::move(names), style),
        /*writable=*/false);
}

}  // namespace qm::data
