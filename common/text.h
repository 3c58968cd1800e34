#pragma once
// Text, list, number and path helpers shared by every layer.
// All texts are UTF-8 byte strings; lengths, positions and comparisons count bytes.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

inline constexpr std::string_view kListSeparator = "\r\n";

// Splits `text` at every `separator`. The (possibly empty) part before each separator is kept;
// the rest after the last separator is kept only when it is not empty. "" gives no items.
// "A\r\n\r\nB" -> {"A", "", "B"};  "A\r\n" -> {"A"}.
std::vector<std::string> SplitText(std::string_view text, std::string_view separator);

// SplitText with CR LF, the separator of every name list of the program.
std::vector<std::string> SplitList(std::string_view text);

// Joins items with CR LF, no separator after the last item. No items give "".
std::string JoinList(const std::vector<std::string>& items);

// Appends `item` to a CR LF list: the whole text when `list` is empty, else after CR LF.
void AppendToList(std::string& list, std::string_view item);

// The leading numeric part of `text` as a number: optional blanks, sign, digits, one decimal
// point, exponent. A text without a numeric start gives 0. "05" -> 5, "12ab" -> 12, "x" -> 0.
double TextToNumber(std::string_view text);

// Truncates toward zero to an integer; values beyond the int range are clamped.
int TruncToInt(double value);

// TruncToInt(TextToNumber(text)).
int TextToInt(std::string_view text);

// Decimal text of an integer, without leading zeros.
std::string IntToText(long long value);

// Path operations. The folder separator is "/".
// FolderOfPath: up to and including the last "/"; the whole text when it holds none.
std::string FolderOfPath(std::string_view path);
// NameOfPath: after the last "/"; the whole text when it holds none.
std::string NameOfPath(std::string_view path);
// StripExtension: before the last "."; the whole text when it holds none.
std::string StripExtension(std::string_view name);
// StripExtension(NameOfPath(path)).
std::string BaseNameOfPath(std::string_view path);
// The extension of the file named at the end of `path`, from its last "." and in lower case
// for ASCII letters ("a/B.DOCX" -> ".docx"); "" when the name has none.
std::string LowerExtension(std::string_view path);

// True when `text` is well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool IsValidUtf8(std::string_view text);
// The length of the UTF-8 sequence starting at `at`, or 0 when the bytes there are not one.
std::size_t Utf8SequenceLength(std::string_view text, std::size_t at);

// Appends code point `c` as UTF-8; a surrogate or a value past U+10FFFF becomes U+FFFD.
void AppendUtf8(std::string& out, std::uint32_t c);
// UTF-16 text as UTF-8; a surrogate without its pair becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

// Replaces every occurrence of `from` (non-empty) by `to`.
std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to);

}  // namespace qm
