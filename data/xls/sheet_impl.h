#pragma once
// Internal cell storage of a parsed sheet. Cells are small tagged values kept in one vector sorted
// by position; texts live in string pools (one per workbook for the shared string table, one per
// sheet for inline texts), so parsing a large sheet makes no allocation per cell.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "data/xls/workbook.h"

namespace qm::xls {

// Many strings in one buffer: two allocations however many strings.
class StringPool {
  public:
    // Index of the added text; false when the pool would pass 4 GiB.
    bool add(std::string_view text, std::uint32_t& index);
    std::string_view get(std::uint32_t index) const {
        std::uint32_t begin = index == 0 ? 0 : ends_[index - 1];
        return std::string_view(bytes_).substr(begin, ends_[index] - begin);
    }
    std::size_t size() const { return ends_.size(); }
    void reserve(std::size_t strings, std::size_t bytes) {
        ends_.reserve(strings);
        bytes_.reserve(bytes);
    }
    // Raw buffer for writers that build a string in place; `close` ends it.
    std::string& buffer() { return bytes_; }
    bool close(std::uint32_t& index);

  private:
    std::string bytes_;
    std::vector<std::uint32_t> ends_;
};

// How a number is shown, taken from the cell's number format.
enum class NumberStyle : std::uint8_t { Plain, Date, DateTime, Time };

enum class CellKind : std::uint8_t { Number, SharedText, OwnText, Bool };

struct CellSlot {
    std::uint32_t row;
    std::uint16_t column;
    CellKind kind;
    NumberStyle style;
    union {
        double number;
        std::uint32_t index;  // into the shared or own pool
        bool flag;
    };
};
static_assert(sizeof(CellSlot) == 16, "cells must stay compact");

struct Sheet::Impl {
    std::shared_ptr<const StringPool> shared;  // the workbook's shared strings (may be null)
    StringPool own;                            // texts that belong to this sheet only
    std::vector<CellSlot> cells;               // sorted by (row, column), no empty values
    bool date1904 = false;
    std::size_t rows = 0;
    std::size_t columns = 0;

    std::string text(const CellSlot& cell) const;
    bool isEmpty(const CellSlot& cell) const;
    // Orders the cells (a later record for the same cell wins), drops empty values and
    // computes the extent. Called once after the parse.
    void finish();
    void computeExtent();
};

// Display texts of numbers, shared with the tests.
std::string FormatNumber(double value);
std::string FormatDateValue(double value, NumberStyle style, bool date1904);
// The style a number format shows: a date, a time, both, or a plain number.
NumberStyle ClassifyFormat(std::string_view format);
NumberStyle ClassifyBuiltinFormat(unsigned id);

}  // namespace qm::xls
