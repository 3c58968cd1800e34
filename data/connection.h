#pragma once
// Connection strings, sheet listing and the four record reading operations.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "data/value_style.h"

namespace qm::data {

class Cursor;
class Recordset;
class WorkbookCache;

enum SourceKind : int { AccessFile = 0, SqlServer = 1, OracleServer = 2, ExcelWorkbook = 3, SystemDsn = 4 };

// Joins the fixed pieces of `kind` with the parts, nothing validated, escaped or quoted.
// A kind outside 0..4 gives "".
std::string BuildConnectionString(int kind, std::string_view server = {}, std::string_view file = {},
                                  std::string_view user = {}, std::string_view password = {},
                                  std::string_view database = {});

// The tables of the workbook named by `connection`, as the tables schema lists them ("Sheet1$",
// "'My Sheet$'"), into `names` (cleared first). The workbook may be .xls, .xlsx, .xlsm, .ods or
// .csv (one table named after the file: "名单.csv" gives "名单$"). An unreadable workbook leaves
// it empty; WorkbookProblem tells why.
void ListSheets(std::string_view connection, std::vector<std::string>& names, WorkbookCache* cache = nullptr);

// The worksheet `table` ("Sheet1$", as ListSheets gives it) of the workbook named by
// `connection`: every column, titled by the first row, read by index, each value as `style`
// gives it (Shown: the text the sheet shows under the cell's number format). nullptr when the
// workbook or the sheet cannot be read. The cursor keeps the parsed workbook alive.
std::unique_ptr<Cursor> OpenSheet(std::string_view connection, std::string_view table,
                                  WorkbookCache* cache = nullptr, ValueStyle style = ValueStyle::Raw);

// Why the workbook named by `connection` cannot be read, in one English line ("encrypted: the
// workbook is protected by a password", "damaged: ...", "the file does not exist"); "" when it
// can be read, and "not a workbook connection" for other connection strings.
std::string WorkbookProblem(std::string_view connection, WorkbookCache* cache = nullptr);

// ---- Workbooks by path ----
// The same three reads on a workbook file named by its path, with no connection string between.
// A cache counts the sheets opened through it (see WorkbookCache::sheetsOpened).
std::vector<std::string> SheetTables(std::string_view path, WorkbookCache* cache = nullptr);
std::unique_ptr<Cursor> OpenSheetAt(std::string_view path, std::string_view table,
                                    WorkbookCache* cache = nullptr, ValueStyle style = ValueStyle::Raw);
std::string WorkbookProblemAt(std::string_view path, WorkbookCache* cache = nullptr);
// The workbook file a connection string names; "" for any other connection.
std::string WorkbookPathOf(std::string_view connection);

// Record access on an open recordset; a closed one gives 0 or "".
int GetRecordCount(const Recordset& rs);
int GetFieldCount(const Recordset& rs);
std::string GetFieldName(const Recordset& rs, int index);
std::string GetFieldValue(const Recordset& rs, std::string_view name);

}  // namespace qm::data
