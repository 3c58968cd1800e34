#pragma once
// How a workbook cell becomes text: the raw value (numbers with at most 15 significant digits,
// dates as ISO dates) or the text the sheet shows under the cell's number format.

namespace qm::data {

enum class ValueStyle { Raw, Shown };

}  // namespace qm::data
