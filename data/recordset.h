#pragma once
// The recordset of the data layer: one object opened and closed many times over a workbook
// sheet or the settings database, with the members the program calls on it.
//
// Calling rules: no member throws or shows anything. A failed call has no effect and yields an
// empty value: "", 0 or false. Every open connects anew from the connection string:
//  - the workbook string (BuildConnectionString with ExcelWorkbook) opens the workbook provider;
//  - the Access ODBC string opens the SQLite file named after "DBQ=";
//  - anything else opens nothing.

#include <memory>
#include <string>
#include <string_view>

#include "data/value_style.h"

namespace qm::data {

class WorkbookCache;
class Cursor;

class Recordset {
  public:
    // `cache` keeps parsed workbooks between opens; nullptr parses the file at every open.
    explicit Recordset(WorkbookCache* cache = nullptr);
    ~Recordset();
    Recordset(const Recordset&) = delete;
    Recordset& operator=(const Recordset&) = delete;

    // Runs `sql` over `connection`. A query with rows leaves the recordset open on its first row;
    // a statement without rows is executed and leaves it closed. Any failure leaves it closed
    // and returns false. An open recordset is closed first. The rows are always a keyset that
    // stays as read; lock type 1 opens them read-only, any other lets them be changed.
    bool open(std::string_view sql, std::string_view connection, int lockType = 1);
    bool isOpen() const;
    void close();
    // How workbook values read by later opens are turned into text; Raw until set. The settings
    // database is not affected.
    void setValueStyle(ValueStyle style) { style_ = style; }
    ValueStyle valueStyle() const { return style_; }

    long long recordCount() const;         // 0 when closed
    void setPageSize(long long rows);      // ignored when not positive
    bool setAbsolutePage(long long page);  // cursor on the first row of that page (from 1)
    long long pageCount() const;           // ceil(recordCount / pageSize); 0 when closed
    bool eof() const;                      // false when closed (an empty value)
    bool moveNext();
    bool move(double rows);  // from the current row, truncated toward zero

    int fieldCount() const;                  // 0 when closed
    std::string fieldName(int index) const;  // from 0; "" when out of range
    // Value of the current row's field; the name matches exactly first, then ignoring ASCII
    // letter case. "" when closed, at eof, or for an unknown name. NULL reads as "".
    std::string fieldValue(std::string_view name) const;
    std::string fieldValue(int index) const;
    bool setFieldValue(std::string_view name, std::string_view value);

    bool addNew();
    bool update();

  private:
    WorkbookCache* cache_;
    ValueStyle style_ = ValueStyle::Raw;
    std::unique_ptr<Cursor> cursor_;
};

}  // namespace qm::data
