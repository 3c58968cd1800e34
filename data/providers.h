#pragma once
// The two providers behind Recordset::open.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "data/cursor.h"
#include "data/value_style.h"

namespace qm::xls {
struct Workbook;
}

namespace qm::data {

// ---- Workbook provider ----

// The tables of a workbook in workbook order: its worksheets (chart and macro sheets are not
// tables), each named by JetTableName.
std::vector<std::string> WorkbookTableNames(const xls::Workbook& workbook);

// A parsed "select * from [T]" or "select a, [b c], a from [T]".
struct WorkbookQuery {
    std::string table;                 // without brackets
    bool allColumns = false;           // "*"
    std::vector<std::string> columns;  // as the select list names them, repetitions kept
};
// Keywords in any letter case; blanks around names ignored; a trailing ";" allowed. Anything
// else (WHERE, ORDER BY, empty names) gives false.
bool ParseWorkbookQuery(std::string_view sql, WorkbookQuery& query);

// Rows of `sql` over the workbook: the first sheet row gives the field names (an empty title
// becomes "F" + column number), the rows below it the records, every value as text in `style`
// (the field names are always the raw texts of the first row, so matching them does not depend
// on the style). The result is a view over the shared sheet, nothing is copied. nullptr for an
// unknown table or column or a query it does not understand.
std::unique_ptr<Cursor> OpenWorkbookQuery(std::shared_ptr<const xls::Workbook> workbook, std::string_view sql,
                                          ValueStyle style = ValueStyle::Raw);
// Every column of the worksheet `table` (a table name as listed, "Sheet1$", or between brackets
// as a query names it), as "select * from [table]" gives it. nullptr for an unknown table.
std::unique_ptr<Cursor> OpenWorkbookTable(std::shared_ptr<const xls::Workbook> workbook,
                                          std::string_view table, ValueStyle style = ValueStyle::Raw);

// ---- Database provider (SQLite) ----

struct DatabaseResult {
    bool ran = false;                // the statement ran
    std::unique_ptr<Cursor> cursor;  // its rows, for a statement that returns rows
};
// Runs one statement on the existing database `file`, which is never created. A query's rows
// are read at once (a keyset that stays as read); with `writable` and a query over the columns
// of one table, its rows can be changed and added through the cursor.
DatabaseResult RunDatabaseStatement(const std::string& file, bool readOnlyFile, std::string_view sql,
                                    bool writable);

// Why the settings database `file` cannot be read (or, with `write`, written), in a few words
// for the user; "" when it can. Looks for its table `table`. Changes nothing in the file.
std::string DatabaseProblem(const std::string& file, std::string_view table, bool write);

}  // namespace qm::data
