// The preview of a row with the real office: the pages are pictures of the document the row
// makes, with the row's values on them, from .doc and .docx templates alike.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "common/fs.h"
#include "data/workbook_cache.h"
#include "merge/preview.h"
#include "tests/support/command.h"
#include "tests/support/temp_folder.h"
#include "word/libreoffice.h"
#include "word/word_host.h"

namespace qm {
namespace {

const std::string kSamples = QM_PROGRAM_DIR;

// Width and height from a PNG's header; {0, 0} when it is not one.
std::pair<int, int> PngSize(const std::vector<std::uint8_t>& bytes) {
    if (bytes.size() < 24 || bytes[1] != 'P' || bytes[2] != 'N' || bytes[3] != 'G') return {0, 0};
    const auto at = [&bytes](std::size_t i) {
        return static_cast<int>(bytes[i]) << 24 | bytes[i + 1] << 16 | bytes[i + 2] << 8 | bytes[i + 3];
    };
    return {at(16), at(20)};
}

TEST(OfficePreview, PagesShowTheRowsValues) {
    const test::TempFolder folder("office-preview");
    data::WorkbookCache workbooks;
    word::WordHost host(word::MakeLibreOffice(), kSamples);
    for (const char* templateName : {"劳动合同.doc", "劳动合同.docx"}) {
        SCOPED_TRACE(templateName);
        RunChoice choice;
        choice.workbookPath = kSamples + "/数据/员工信息.xls";
        choice.table = "员工$";
        choice.templatePath = kSamples + "/模板/" + templateName;
        const Preview preview =
            MakePreview(PlanPreview(choice, 2, workbooks, host, folder.path() + "/" + templateName), host);
        ASSERT_FALSE(preview.problem);
        ASSERT_EQ(preview.pagesProblem, PagesProblem::None);
        ASSERT_EQ(preview.pages.size(), 2u) << "the sample contract has two pages";
        EXPECT_EQ(preview.sheetRow, 2);
        // Page 1 as an A4 page at 96 dots an inch, with text on it: a blank page of that size
        // compresses to a few kilobytes.
        std::vector<std::uint8_t> png;
        ASSERT_TRUE(ReadFileBytes(preview.pages[0], png));
        const auto [width, height] = PngSize(png);
        EXPECT_NEAR(width, 794, 4);
        EXPECT_NEAR(height, 1123, 4);
        EXPECT_GT(png.size(), 20000u);
        const std::string text =
            test::RunCommand("pdftotext -layout " + test::ShellQuote(preview.document) + " -").out;
        for (const char* value : {"陈雅婷", "110108198611031040", "行政主管"})
            EXPECT_NE(text.find(value), std::string::npos) << value << " in\n" << text;
    }
}

}  // namespace
}  // namespace qm
