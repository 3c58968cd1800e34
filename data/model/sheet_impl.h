#pragma once
// Internal cell storage of a parsed sheet. Cells are small tagged values kept in one vector sorted
// by position; texts live in string pools (one per workbook for the shared string table, one per
// sheet for inline texts), so parsing a large sheet makes no allocation per cell.

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/large_memory.h"
#include "data/format/number_format.h"
#include "data/model/workbook.h"

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
    LargeString& buffer() { return bytes_; }
    bool close(std::uint32_t& index) {
        if (bytes_.size() > std::numeric_limits<std::uint32_t>::max() ||
            ends_.size() >= std::numeric_limits<std::uint32_t>::max())
            return false;
        index = static_cast<std::uint32_t>(ends_.size());
        ends_.push_back(static_cast<std::uint32_t>(bytes_.size()));
        return true;
    }

  private:
    LargeString bytes_;
    std::vector<std::uint32_t, LargeAllocator<std::uint32_t>> ends_;
};

// How a number is shown, taken from the cell's number format.
enum class NumberStyle : std::uint8_t { Plain, Date, DateTime, Time };

// The raw style of numbers under a format: what it shows of a date, asked of the format itself.
NumberStyle StyleOf(const format::NumberFormat& format);

// The number formats of a workbook, each kept once: its code, the raw style it gives numbers
// and the renderer of its shown text. Entry 0 is General. Built by the reader, then shared by
// the sheets and never changed, so sheets can be read from several threads.
class FormatTable {
  public:
    FormatTable();
    // Index of the format with `code` (an empty code is General); the raw style is the code's
    // own. A table past 65,535 formats gives 0.
    std::uint16_t add(std::string_view code);
    // Index of the format with id `id` of .xls and .xlsx files, whose code the file gives as
    // `stored` (null when it gives none). Ids whose meaning follows the office's language (the
    // short date 14 and 22, the Chinese dates and times) always show as in a zh-CN office; for
    // the others a stored code wins. A built-in date or time id gives dates and times however
    // the file spells its code; other ids are judged by their code.
    std::uint16_t addId(unsigned id, const std::string* stored);
    NumberStyle style(std::uint16_t index) const {
        return index < entries_.size() ? entries_[index].style : NumberStyle::Plain;
    }
    const format::NumberFormat& shown(std::uint16_t index) const {
        return entries_[index < entries_.size() ? index : 0].shown;
    }
    std::size_t size() const { return entries_.size(); }

  private:
    std::uint16_t add(std::string_view code, format::NumberFormat shown, NumberStyle style);
    struct Entry {
        std::string code;
        NumberStyle style;
        format::NumberFormat shown;
    };
    std::vector<Entry> entries_;
};

enum class CellKind : std::uint8_t { Number, SharedText, OwnText, Bool, Error };

// Error values by their BIFF code (#NULL! 0x00 ... #N/A 0x2A); "" for an unknown code.
std::string_view ErrorText(std::uint8_t code);
// The BIFF code of an error text ("#DIV/0!" -> 0x07); 0x2A (#N/A) for an unknown text.
std::uint8_t ErrorCode(std::string_view text);

struct CellSlot {
    std::uint32_t row : 24;  // sheets have at most 1,048,576 rows
    std::uint32_t kindBits : 8;
    std::uint16_t column;
    std::uint16_t format;  // into the workbook's format table
    union {
        double number;
        std::uint32_t index;  // into the shared or own pool
        bool flag;
        std::uint8_t error;
    };
    CellKind kind() const { return static_cast<CellKind>(kindBits); }
    void setKind(CellKind k) { kindBits = static_cast<std::uint8_t>(k); }
};
static_assert(sizeof(CellSlot) == 16, "cells must stay compact");

struct Sheet::Impl {
    std::shared_ptr<const StringPool> shared;               // the workbook's shared strings (may be null)
    std::shared_ptr<const FormatTable> formats;             // the workbook's number formats (may be null)
    StringPool own;                                         // texts that belong to this sheet only
    std::vector<CellSlot, LargeAllocator<CellSlot>> cells;  // sorted by (row, column), no empty values
    std::vector<std::uint32_t> rowStarts;  // index of each row's first cell; rows + 1 entries
    bool date1904 = false;
    std::size_t rows = 0;
    std::size_t columns = 0;

    std::string text(const CellSlot& cell) const;
    std::string shownText(const CellSlot& cell) const;
    bool isEmpty(const CellSlot& cell) const {
        switch (cell.kind()) {
            case CellKind::Number:
                return !std::isfinite(cell.number);
            case CellKind::SharedText:
                return !shared || cell.index >= shared->size() || shared->get(cell.index).empty();
            case CellKind::OwnText:
                return cell.index >= own.size() || own.get(cell.index).empty();
            case CellKind::Bool:
            case CellKind::Error:
                return false;
        }
        return true;
    }
    // Orders the cells (a later record for the same cell wins), drops empty values and
    // computes the extent. Called once after the parse.
    void finish();
    void computeExtent();
};

// Display texts of numbers, shared with the tests.
inline std::string FormatNumber(double value) {
    return format::GeneralNumber(value);
}
std::string FormatDateValue(double value, NumberStyle style, bool date1904);

}  // namespace qm::xls
