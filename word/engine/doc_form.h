#pragma once
// Check box and drop-down form fields of a .doc: their data (name, type, state, a drop-down's
// entries) sits in the Data stream, at the place the character properties of the special
// character in the field's code point to. A document made from the template gets the same
// Data stream with only the state bits of the filled fields changed: no length moves, so
// nothing else in the file has to follow.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "word/engine/doc_file.h"
#include "word/engine/template.h"

namespace qm::engine {

namespace doc {

// One check box or drop-down as stored.
struct FormFieldData {
    BookmarkKind kind = BookmarkKind::Text;
    std::string name;                  // the field's own name, UTF-8
    std::vector<std::string> entries;  // a drop-down's entries, UTF-8
    std::size_t bitsAt = 0;            // where the type and state bits sit in the Data stream
    std::uint16_t bits = 0;
    std::uint16_t defaultState = 0;  // what a state of "use the default" stands for
    // A check box: 1 checked, 0 not; a drop-down: the selected entry's index.
    int State() const;
};

// The index of the Data stream among the container's entries; cfb::kNoEntry without one.
std::uint32_t DataStreamIndex(const DocFile& d);

// Reads the data of the check box or drop-down (`fieldType` 71 or 83) whose field begins at
// CP `begin` and whose code ends at `codeEnd` (its separator, or its end without one). "" when
// it reads, else why the field cannot be set.
std::string ReadFormField(const DocFile& d, std::uint32_t begin, std::uint32_t codeEnd,
                          std::uint8_t fieldType, FormFieldData& out);

// The stored state a value gives the field, or nullopt when the value is no state of a check
// box or no entry of the drop-down.
std::optional<unsigned> FormFieldState(const FormFieldData& field, std::string_view value);

// Writes `state` into the field's bits in `data`, a copy of the template's Data stream.
void SetFormFieldState(std::vector<std::uint8_t>& data, const FormFieldData& field, unsigned state);

}  // namespace doc

// A check box or drop-down of a .doc read back, for checks of made documents.
struct DocFormField {
    std::string name;  // the field's own name
    BookmarkKind kind = BookmarkKind::CheckBox;
    std::vector<std::string> entries;
    int state = 0;  // a check box: 1 checked, 0 not; a drop-down: the selected entry's index
};
// Every check box and drop-down of the main text and the headers, in the order of the text.
// False, with `error`, when the file does not read or a field's data is damaged.
bool ReadDocFormFields(std::span<const std::uint8_t> bytes, std::vector<DocFormField>& out,
                       std::string& error);

}  // namespace qm::engine
