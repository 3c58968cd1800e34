#pragma once
// Lines of tab-separated fields with backslash escapes, as the python helper scripts of the
// tests print them and as the in-memory office stores its documents.

#include <string>
#include <string_view>
#include <vector>

namespace qm::test {

// The fields of `line` between tabs, as they stand (escapes kept); one field when there is no
// tab, and an empty last field after a trailing tab.
std::vector<std::string> SplitFields(std::string_view line);

// Backslash, tab, CR and LF written as \\ \t \r \n; EscapeField's inverse is UnescapeField.
std::string EscapeField(std::string_view text);
// \t \r \n back to their characters, any other escaped character to itself; a lone backslash
// at the end stays.
std::string UnescapeField(std::string_view text);

}  // namespace qm::test
