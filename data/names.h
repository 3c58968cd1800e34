#pragma once
// Small text rules of the data layer: ASCII case folding, the table names the workbook provider
// lists, and what a connection string asks to open.

#include <string>
#include <string_view>

namespace qm::data {

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);
bool StartsWithIgnoringAsciiCase(std::string_view text, std::string_view prefix);
// Position of `needle` in `text` ignoring ASCII case, from `from`; npos when absent.
std::size_t FindIgnoringAsciiCase(std::string_view text, std::string_view needle, std::size_t from = 0);
// Without leading and trailing ASCII blanks (space, tab, CR, LF, VT, FF).
std::string_view TrimBlanks(std::string_view text);

// The table name of a worksheet: name + "$", put between apostrophes (inner apostrophes
// doubled) when the name holds a blank or ASCII punctuation other than "_".
// "Sheet1" -> "Sheet1$", "My Sheet" -> "'My Sheet$'", "O'Neil" -> "'O''Neil$'".
std::string JetTableName(std::string_view sheetName);

struct ConnectionTarget {
    enum Kind { None, Workbook, Database };
    Kind kind = None;
    std::string file;       // the workbook ("Data Source=") or database ("DBQ=") file
    bool readOnly = false;  // "ReadOnly=True" (or 1) in a database string
};

// The workbook string "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=<file>[;Extended
// Properties=...]" names a workbook; an Access ODBC string "DRIVER=...Microsoft Access...;
// ...;DBQ=<file>" names a database. The file runs to the end of the text (or, for a workbook,
// to the last ";Extended Properties="), so semicolons and apostrophes in it are kept.
// Anything else, or an empty file, is None.
ConnectionTarget ParseConnection(std::string_view connection);

}  // namespace qm::data
