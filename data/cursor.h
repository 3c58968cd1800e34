#pragma once
// The open state of a Recordset: a table of rows from one provider, the current row, the page
// size and a pending edit. Recordset forwards to it; the providers build it.
//
// Positions count from 0; position == recordCount() is "after the last row" (eof). Nothing
// here throws on its own; the providers' own failures are caught at the Recordset boundary.

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qm::data {

// Rows of one query. Reads are by row and field index, both counted from 0 and in range.
class Table {
  public:
    virtual ~Table() = default;
    virtual long long rowCount() const = 0;
    virtual int fieldCount() const = 0;
    virtual std::string fieldName(int field) const = 0;
    virtual std::string value(long long row, int field) const = 0;
    // The row of the underlying sheet that row `row` shows (a filtered view shows some).
    virtual long long sourceRow(long long row) const { return row; }

    // Writing. A table that cannot be written keeps these defaults.
    virtual bool canWrite(int /*field*/) const { return false; }
    // Stores `values` (field index -> text) into row `row`, or as a new last row when `row` is
    // rowCount(). True when stored; the table then reads the new values.
    virtual bool store(long long /*row*/, const std::map<int, std::string>& /*values*/) { return false; }
};

class Cursor {
  public:
    // `writable` is false for read-only opens (lock type 1): every write then fails.
    Cursor(std::unique_ptr<Table> table, bool writable);

    long long recordCount() const;
    void setPageSize(long long rows);
    long long pageSize() const { return pageSize_; }
    // Cursor on the first row of `page` (from 1). A page outside 1..pageCount() fails and leaves
    // the cursor where it was.
    bool setAbsolutePage(long long page);
    long long pageCount() const;
    long long position() const { return position_; }
    bool eof() const;
    bool moveNext();
    // `rows` on from the current row, truncated toward zero. Landing beyond the last row puts
    // the cursor at eof; landing before the first row fails and leaves it where it was.
    bool move(double rows);

    int fieldCount() const;
    std::string fieldName(int index) const;
    // Index of the field called `name`: exact match first, then ignoring ASCII letter case;
    // -1 when none.
    int fieldIndex(std::string_view name) const;
    // The cursor on row `position` (from 0); past the last row it stands at eof. False below 0.
    bool seek(long long position);
    // Value of field `index` of row `row` (from 0), wherever the cursor stands; "" out of range.
    std::string valueAt(long long row, int index) const;
    // The sheet's own position (from 0) of row `row` of this cursor: the same row unless the
    // cursor shows only some of the sheet's rows.
    long long sheetRow(long long row) const { return table_->sourceRow(row); }
    // Value of the current row (or of the row being edited); "" at eof or out of range.
    std::string fieldValue(int index) const;

    // Edits: setFieldValue starts an edit of the current row unless addNew started a new one;
    // update stores it. Moving, or a new addNew, stores a pending edit first (a failed store
    // drops it); closing drops it.
    bool setFieldValue(int index, std::string_view value);
    bool addNew();
    bool update();

  private:
    struct Edit {
        bool isNew = false;
        std::map<int, std::string> values;
    };
    bool storePending();

    std::unique_ptr<Table> table_;
    bool writable_;
    long long position_ = 0;
    long long pageSize_ = 10;
    std::optional<Edit> edit_;
};

// A read-only cursor over rows `rows` (positions of `all`, in that order) of `all`, which it
// keeps alive; sheetRow() gives each row's position in `all`'s sheet.
std::unique_ptr<Cursor> RowSubset(std::shared_ptr<const Cursor> all, std::vector<long long> rows);

}  // namespace qm::data
