#include "data/connection.h"

#include "common/text.h"
#include "data/model/workbook.h"
#include "data/names.h"
#include "data/providers.h"
#include "data/recordset.h"
#include "data/workbook_cache.h"
#include "data/workbook_file.h"

namespace qm::data {

std::string BuildConnectionString(int kind, std::string_view server, std::string_view file,
                                  std::string_view user, std::string_view password,
                                  std::string_view database) {
    std::string text;
    switch (kind) {
        case AccessFile:
            text.append("DRIVER=Driver do Microsoft Access (*.mdb);UID=").append(user);
            text.append(";PWD=").append(password).append(";ReadOnly=False;DBQ=").append(file);
            break;
        case SqlServer:
            text.append("Provider=SQLOLEDB.1;Password=").append(password);
            text.append(";Persist Security Info=True;User ID=").append(user);
            text.append(";Initial Catalog=").append(database).append(";Data Source=").append(server);
            break;
        case OracleServer:
            text.append("Provider=OraOLEDB.Oracle.1;Password=").append(password);
            text.append(";Persist Security Info=True;User ID=")
                .append(user)
                .append(";Data Source=")
                .append(server);
            break;
        case ExcelWorkbook:
            text.append("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=").append(file);
            text.append(";Extended Properties='Excel 8.0;HDR=yes;IMEX=1'");
            break;
        case SystemDsn:
            text.append("DSN=").append(file);
            break;
        default:
            break;
    }
    return text;
}

std::string WorkbookPathOf(std::string_view connection) {
    try {
        const ConnectionTarget target = ParseConnection(connection);
        return target.kind == ConnectionTarget::Workbook ? target.file : std::string();
    } catch (...) {
        return {};
    }
}

std::vector<std::string> SheetTables(std::string_view path, WorkbookCache* cache) {
    std::vector<std::string> names;
    try {
        std::shared_ptr<const xls::Workbook> workbook =
            cache ? cache->get(path) : LoadWorkbook(path).workbook;
        if (!workbook) return names;
        // The listing stops at the first empty table name, as a reader of the tables schema does.
        for (std::string& name : WorkbookTableNames(*workbook)) {
            if (name.empty()) break;
            names.push_back(std::move(name));
        }
    } catch (...) {
        names.clear();
    }
    return names;
}

std::unique_ptr<Cursor> OpenSheetAt(std::string_view path, std::string_view table, WorkbookCache* cache,
                                    ValueStyle style) {
    try {
        if (cache) cache->countSheetOpened();
        std::shared_ptr<const xls::Workbook> workbook =
            cache ? cache->get(path) : LoadWorkbook(path).workbook;
        return OpenWorkbookTable(std::move(workbook), table, style);
    } catch (...) {
        return nullptr;
    }
}

std::string WorkbookProblemAt(std::string_view path, WorkbookCache* cache) {
    try {
        return cache ? cache->load(path).problem : LoadWorkbook(path).problem;
    } catch (...) {
        return "out of memory";
    }
}

void ListSheets(std::string_view connection, std::vector<std::string>& names, WorkbookCache* cache) {
    const std::string path = WorkbookPathOf(connection);
    names = path.empty() ? std::vector<std::string>() : SheetTables(path, cache);
}

std::unique_ptr<Cursor> OpenSheet(std::string_view connection, std::string_view table, WorkbookCache* cache,
                                  ValueStyle style) {
    const std::string path = WorkbookPathOf(connection);
    return path.empty() ? nullptr : OpenSheetAt(path, table, cache, style);
}

std::string WorkbookProblem(std::string_view connection, WorkbookCache* cache) {
    const std::string path = WorkbookPathOf(connection);
    return path.empty() ? "not a workbook connection" : WorkbookProblemAt(path, cache);
}

int GetRecordCount(const Recordset& rs) {
    const long long n = rs.recordCount();
    return TruncToInt(static_cast<double>(n));
}

int GetFieldCount(const Recordset& rs) {
    return rs.fieldCount();
}

std::string GetFieldName(const Recordset& rs, int index) {
    return rs.fieldName(index);
}

std::string GetFieldValue(const Recordset& rs, std::string_view name) {
    return rs.fieldValue(name);
}

}  // namespace qm::data
