#pragma once
// The workbook model every reader fills (.xls, .xlsx and .xlsm, .ods, .csv): sheets of cells
// kept compactly and turned into their display text on demand.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qm::xls {

enum class SheetKind { Worksheet, Chart, Macro, Other };

struct CellSlot;

// Rows a sheet can hold in any of the formats read (the .xlsx limit).
inline constexpr std::size_t kMaxRows = 1048576;

class Sheet {
  public:
    std::string name;  // as stored in the workbook, UTF-8
    SheetKind kind = SheetKind::Worksheet;

    // Extent from A1 (row 0, column 0) to the last row and column holding a non-empty value.
    std::size_t rowCount() const;
    std::size_t columnCount() const;

    // Display text of cell (row, column), counted from 0; "" for an empty cell or outside the
    // sheet. Numbers with at most 15 significant digits and no trailing zeros; date-formatted
    // numbers as ISO dates; formulas as their cached result; text exactly as stored; errors "".
    std::string cell(std::size_t row, std::size_t column) const;
    // Text the sheet shows for cell (row, column): the value rendered with its number format,
    // a text through the format's text section, errors as "#DIV/0!" and the like; "" for an
    // empty cell or outside the sheet.
    std::string shownCell(std::size_t row, std::size_t column) const;

    // Sets a cell to a text, growing the extent as needed (for building sheets by hand).
    void setText(std::size_t row, std::size_t column, std::string text);

    // Internal representation: owned by the reader (see reader sources).
    struct Impl;
    Sheet();
    ~Sheet();
    Sheet(Sheet&&) noexcept;
    Sheet& operator=(Sheet&&) noexcept;
    Impl& impl() { return *impl_; }
    const Impl& impl() const { return *impl_; }

  private:
    const CellSlot* find(std::size_t row, std::size_t column) const;
    std::unique_ptr<Impl> impl_;
};

struct Workbook {
    std::vector<Sheet> sheets;  // in workbook order, chart sheets included
};

}  // namespace qm::xls
