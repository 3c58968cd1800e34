// The text of a filled document, as shown where its pages cannot be: the values in place, field
// instructions and marks left out, in both formats.

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/files.h"
#include "tests/word/engine/store_zip.h"
#include "word/engine/template.h"
#include "word/engine/text.h"

namespace qm::engine {
namespace {

namespace fs = std::filesystem;

TEST(DocumentText, TheSamplesFilledReadWithTheirValues) {
    int read = 0;
    for (const char* name : {"劳动合同.doc", "劳动合同.docx"}) {
        const fs::path path = fs::path(QM_PROGRAM_DIR) / "模板" / fs::u8path(name);
        if (!fs::exists(path)) continue;
        const OpenResult opened = OpenTemplateFile(path.string());
        ASSERT_TRUE(opened) << name << ": " << opened.refusal;
        std::vector<std::uint8_t> made;
        std::string error;
        const std::vector<Fill> fills = {{"姓名", "林晓峰"}, {"部门", "销售部"}};
        ASSERT_TRUE(opened.value->Make(fills, made, error)) << error;
        const std::optional<std::string> text = DocumentText(made);
        ASSERT_TRUE(text) << name;
        EXPECT_NE(text->find("乙方（劳动者）：林晓峰"), std::string::npos) << name << "\n" << *text;
        EXPECT_NE(text->find("销售部"), std::string::npos) << name;
        for (char c : *text)
            EXPECT_TRUE(static_cast<unsigned char>(c) >= 0x20 || c == '\n' || c == '\t') << name;
        ++read;
    }
    if (read == 0) GTEST_SKIP() << "no sample templates in " << QM_PROGRAM_DIR;
}

TEST(DocumentText, DocxParagraphsCellsAndReferences) {
    const std::string xml =
        "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"><w:body>"
        "<w:p><w:r><w:t xml:space=\"preserve\">甲 &amp; 乙&#x3001;&#20013;</w:t></w:r><w:r><w:tab/>"
        "<w:t>x</w:t></w:r></w:p>"
        "<w:p><w:r><w:fldChar w:fldCharType=\"begin\"/></w:r><w:r><w:instrText> PAGE </w:instrText></w:r>"
        "<w:r><w:t>1</w:t></w:r><w:r><w:br/><w:t>&lt;b&gt;</w:t></w:r></w:p>"
        "<w:tbl><w:tr><w:tc><w:p><w:r><w:t>A</w:t></w:r></w:p></w:tc><w:tc><w:p><w:r><w:t>B</w:t></w:r></w:p>"
        "</w:tc></w:tr></w:tbl><w:p><w:del><w:r><w:delText>gone</w:delText></w:r></w:del></w:p>"
        "</w:body></w:document>";
    const std::vector<std::uint8_t> docx = test::StoreZip({{"word/document.xml", xml}});
    EXPECT_EQ(DocumentText(docx), std::optional<std::string>("甲 & 乙、中\tx\n1\n<b>\nA\tB\t\n"));
    const std::vector<std::uint8_t> nothing = {'n', 'o', 'p', 'e'};
    EXPECT_FALSE(DocumentText(nothing));
}

}  // namespace
}  // namespace qm::engine
