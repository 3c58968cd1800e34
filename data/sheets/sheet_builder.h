#pragma once
// Puts the cells a reader finds into a sheet of the workbook model, within the limits of
// readers.h. The first cell beyond them stops the build with the reason.

#include <algorithm>
#include <string>
#include <string_view>

#include "data/model/sheet_impl.h"
#include "data/sheets/readers.h"

namespace qm::sheets {

class SheetBuilder {
  public:
    SheetBuilder(xls::Sheet& sheet, std::size_t& cellsSoFar)
        : impl_(sheet.impl()), name_(sheet.name), cells_(cellsSoFar) {}

    bool number(std::size_t row, std::size_t column, double value, std::uint16_t format) {
        xls::CellSlot* c = slot(row, column, format, xls::CellKind::Number);
        if (c) c->number = value;
        return c != nullptr;
    }
    bool sharedText(std::size_t row, std::size_t column, std::uint32_t index, std::uint16_t format) {
        xls::CellSlot* c = slot(row, column, format, xls::CellKind::SharedText);
        if (c) c->index = index;
        return c != nullptr;
    }
    bool text(std::size_t row, std::size_t column, std::string_view value, std::uint16_t format) {
        if (value.empty()) return true;
        std::uint32_t index;
        if (!impl_.own.add(value, index)) return fail("the texts of sheet \"" + name_ + "\" are too large");
        xls::CellSlot* c = slot(row, column, format, xls::CellKind::OwnText);
        if (c) c->index = index;
        return c != nullptr;
    }
    bool boolean(std::size_t row, std::size_t column, bool value, std::uint16_t format) {
        xls::CellSlot* c = slot(row, column, format, xls::CellKind::Bool);
        if (c) c->flag = value;
        return c != nullptr;
    }
    bool error(std::size_t row, std::size_t column, std::uint8_t code, std::uint16_t format) {
        xls::CellSlot* c = slot(row, column, format, xls::CellKind::Error);
        if (c) c->error = code;
        return c != nullptr;
    }
    const std::string& problem() const { return problem_; }
    // Room for about `cells` more cells, as the sheet says it holds (within the workbook's
    // limit): the cells then grow without copies. Pages not written take no memory.
    void reserve(std::size_t cells) {
        const std::size_t left = kMaxCells > cells_ ? kMaxCells - cells_ : 0;
        const std::size_t wanted = impl_.cells.size() + std::min(cells, left);
        if (wanted > impl_.cells.capacity()) impl_.cells.reserve(wanted);
    }

    // Room for `count` texts of the sheet's own of `bytes` in all, likewise.
    void reserveTexts(std::size_t count, std::size_t bytes) { impl_.own.reserve(count, bytes); }

  private:
    xls::CellSlot* slot(std::size_t row, std::size_t column, std::uint16_t format, xls::CellKind kind) {
        if (row >= kLastRow && !continuesToLastRow(row))
            return fail("sheet \"" + name_ +
                        "\" reaches the last row a sheet can have (row 1,048,576) after empty rows"),
                   nullptr;
        if (column > 16383) return fail("sheet \"" + name_ + "\" has a cell beyond the last column"), nullptr;
        if (++cells_ > kMaxCells) return fail("the workbook holds more than 33 million cells"), nullptr;
        xls::CellSlot c{};
        c.row = static_cast<std::uint32_t>(row);
        c.column = static_cast<std::uint16_t>(column);
        c.format = format;
        c.setKind(kind);
        impl_.cells.push_back(c);
        return &impl_.cells.back();
    }
    // A value in the last row is read when the rows above it are filled to it, as in a sheet of
    // 1,048,576 records; one after a gap marks a sheet formatted to the bottom.
    bool continuesToLastRow(std::size_t row) const {
        return row == kLastRow && !impl_.cells.empty() && std::size_t{impl_.cells.back().row} + 1 >= row;
    }
    bool fail(std::string why) {
        if (problem_.empty()) problem_ = std::move(why);
        return false;
    }

    xls::Sheet::Impl& impl_;
    std::string name_;
    std::size_t& cells_;
    std::string problem_;
};

}  // namespace qm::sheets
