#include "tests/support/test_docx.h"

#include <algorithm>

#include "tests/support/files.h"
#include "tests/word/engine/store_zip.h"

namespace qm::test {

void TestDocx::Start(std::string_view name) {
    names_.emplace_back(name);
    body_ += "<w:bookmarkStart w:id=\"" + std::to_string(names_.size()) + "\" w:name=\"" + std::string(name) +
             "\"/>";
}

void TestDocx::End(std::string_view name) {
    const auto at = std::find(names_.begin(), names_.end(), name);
    body_ += "<w:bookmarkEnd w:id=\"" + std::to_string(at - names_.begin() + 1) + "\"/>";
}

void TestDocx::Text(std::string_view text) {
    body_ += "<w:r><w:t>" + std::string(text) + "</w:t></w:r>";
}

TestDocx& TestDocx::Overlapping(std::string_view first, std::string_view second) {
    body_ += "<w:p>";
    Start(first);
    Text("ab");
    Start(second);
    Text("cd");
    End(first);
    Text("ef");
    End(second);
    body_ += "</w:p>";
    return *this;
}

TestDocx& TestDocx::Nested(std::string_view outer, std::string_view inner) {
    body_ += "<w:p>";
    Start(outer);
    Text("x");
    Start(inner);
    Text("y");
    End(inner);
    End(outer);
    body_ += "</w:p>";
    return *this;
}

TestDocx& TestDocx::FormText(std::string_view name, int maxLength) {
    body_ += "<w:p><w:r><w:fldChar w:fldCharType=\"begin\"><w:ffData><w:name w:val=\"" + std::string(name) +
             "\"/><w:enabled/><w:textInput><w:maxLength w:val=\"" + std::to_string(maxLength) +
             "\"/></w:textInput></w:ffData></w:fldChar></w:r>";
    Start(name);
    body_ +=
        "<w:r><w:instrText xml:space=\"preserve\"> FORMTEXT </w:instrText></w:r>"
        "<w:r><w:fldChar w:fldCharType=\"separate\"/></w:r>";
    Text("000");
    body_ += "<w:r><w:fldChar w:fldCharType=\"end\"/></w:r>";
    End(name);
    body_ += "</w:p>";
    return *this;
}

TestDocx& TestDocx::Plain(std::string_view name) {
    body_ += "<w:p>";
    Start(name);
    Text("[" + std::string(name) + "]");
    End(name);
    body_ += "</w:p>";
    return *this;
}

std::vector<std::uint8_t> TestDocx::bytes() const {
    const std::string document =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>"
        "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"><w:body>" +
        body_ + "<w:sectPr/></w:body></w:document>";
    return StoreZip({{"word/document.xml", document}});
}

bool TestDocx::Write(const std::string& path) const {
    return WriteBytes(path, bytes());
}

}  // namespace qm::test
