#pragma once
// Small .docx templates made in the tests, for bookmarks the sample templates do not have:
// bookmarks that overlap, that lie inside others, and form text fields of a maximum length.
// Each call adds one paragraph; the engine reads the result like any Word file.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qm::test {

class TestDocx {
  public:
    // A paragraph "abcdef" in which `first` spans "abcd" and `second` "cdef": they overlap.
    TestDocx& Overlapping(std::string_view first, std::string_view second);
    // A paragraph "xy" spanned by `outer`, with `inner` around its "y".
    TestDocx& Nested(std::string_view outer, std::string_view inner);
    // A paragraph holding a form text field of at most `maxLength` characters (result "000"),
    // `name` being its bookmark.
    TestDocx& FormText(std::string_view name, int maxLength);
    // A paragraph whose text "[name]" is bookmark `name`.
    TestDocx& Plain(std::string_view name);

    std::vector<std::uint8_t> bytes() const;
    // Writes the file anew; false when it cannot be written.
    bool Write(const std::string& path) const;

  private:
    void Start(std::string_view name);
    void End(std::string_view name);
    void Text(std::string_view text);

    std::string body_;
    std::vector<std::string> names_;  // by bookmark id, from 1
};

}  // namespace qm::test
