// Every output format with the real office, read back: the documents the program makes itself
// (the shipped .doc samples) and those the office makes (flat templates), saved as .doc, .docx,
// .odt and .pdf; and one PDF of every document with its pages in order.

#include <gtest/gtest.h>

#include <filesystem>

#include "common/fs.h"
#include "common/text.h"
#include "data/connection.h"
#include "merge/merge_run.h"
#include "merge/program_state.h"
#include "tests/support/command.h"
#include "tests/support/document_text.h"
#include "tests/support/files.h"
#include "tests/support/recording_run_ui.h"
#include "tests/support/sheet_titles.h"
#include "tests/support/temp_folder.h"
#include "word/libreoffice.h"
#include "word/word_host.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
const std::string kFixtures = QM_MERGE_FIXTURES;
const std::string kSamples = QM_PROGRAM_DIR;

// What `file` says the file is.
std::string FileType(const std::string& path) {
    return test::RunCommand("file -b " + test::ShellQuote(path)).out;
}

bool Has(const std::string& text, const std::string& piece) {
    return text.find(piece) != std::string::npos;
}

struct Format {
    const char* extension;
    const char* type;  // the start of what `file` says
};
const Format kFormats[] = {
    {".doc", "Composite Document File V2 Document"},
    {".docx", "Microsoft Word 2007+"},
    {".odt", "OpenDocument Text"},
    {".pdf", "PDF document"},
};

class OfficeOutputTest : public testing::Test {
  protected:
    static void SetUpTestSuite() { host_ = new word::WordHost(word::MakeLibreOffice(), QM_PROGRAM_DIR); }
    static void TearDownTestSuite() {
        delete host_;
        host_ = nullptr;
    }
    void SetUp() override {
        state_.outputFolder = dir_ + "/out/";
        ASSERT_TRUE(MakeDirectory(state_.outputFolder));
    }
    // As the main window does: the sheet's titles, the template's bookmarks, the match.
    void Use(const std::string& workbook, const char* sheet, const std::string& templatePath) {
        state_.workbookPath = workbook;
        request_.sheetName = sheet;
        request_.templatePath = templatePath;
        ASSERT_FALSE(host_->OpenTemplate(templatePath).empty()) << templatePath;
        state_.templateBookmarks = SplitList(host_->ListBookmarks());
        ASSERT_TRUE(test::LoadTitlesAndMatch(state_, sheet));
    }
    RunOutcome Save(const char* reference, const char* extension, int start, int end) {
        state_.referenceName = reference;
        request_.extension = extension;
        request_.start = start;
        request_.end = end;
        return test::RunMerge(state_, *host_, ui_, request_);
    }
    std::vector<std::string> Entries() const { return test::EntryNames(state_.outputFolder); }

    static word::WordHost* host_;
    const test::TempFolder folder_{"office-outputs"};
    const std::string dir_ = folder_.path();
    ProgramState state_;
    test::RecordingRunUi ui_;
    RunRequest request_;
};
word::WordHost* OfficeOutputTest::host_ = nullptr;

// A sample the program fills itself, and a flat template the office fills, in each format.
TEST_F(OfficeOutputTest, EachFormatReadsBack) {
    struct Source {
        std::string workbook;
        const char* sheet;
        std::string templatePath;
        bool throughOffice;
        std::vector<std::string> texts;
    };
    const Source sources[] = {
        {kSamples + "/数据/员工信息.xls",
         "员工$",
         kSamples + "/模板/劳动合同.doc",
         false,
         {"乙方（劳动者）：陈雅婷", "110108198611031040"}},
        {kFixtures + "/rows.xls",
         "Sheet1$",
         kFixtures + "/single.fodt",
         true,
         {"Name:Person2", "City:城市2"}},
    };
    for (const Source& source : sources) {
        Use(source.workbook, source.sheet, source.templatePath);
        for (const Format& f : kFormats) {
            SCOPED_TRACE(source.templatePath + f.extension);
            const RunOutcome outcome = Save("Doc", f.extension, 2, 2);
            ASSERT_EQ(outcome.documentsMade, 1);
            EXPECT_EQ(outcome.throughOffice, source.throughOffice);
            const std::string file = state_.outputFolder + "Doc2" + f.extension;
            EXPECT_TRUE(FileType(file).starts_with(f.type)) << FileType(file);
            const std::string text = test::FlatText(file);
            for (const std::string& piece : source.texts) EXPECT_TRUE(Has(text, piece)) << text;
        }
    }
}

TEST_F(OfficeOutputTest, OnePdfHoldsEveryDocumentInOrder) {
    Use(kFixtures + "/rows.xls", "Sheet1$", kFixtures + "/single.fodt");
    request_.singleFile = true;
    const RunOutcome outcome = Save("All", ".pdf", 3, 7);
    EXPECT_EQ(outcome.documentsMade, 5);
    EXPECT_FALSE(outcome.singleFileFailed);
    EXPECT_EQ(outcome.files, std::vector<std::string>{state_.outputFolder + "All.pdf"});
    EXPECT_EQ(Entries(), std::vector<std::string>{"All.pdf"});  // the parts are gone
    EXPECT_EQ(test::PdfPages(state_.outputFolder + "All.pdf"), 5);
    const std::string text = test::FlatText(state_.outputFolder + "All.pdf");
    std::size_t at = 0;
    for (int row = 3; row <= 7; ++row) {
        const std::size_t found = text.find("Name:Person" + IntToText(row) + "Age:" + IntToText(20 + row));
        ASSERT_NE(found, std::string::npos) << row << ": " << text;
        EXPECT_GE(found, at) << row;
        at = found;
    }
    EXPECT_EQ(ui_.texts().back(), "完成！已将 5 个文档合为一个PDF文件。是否打开存放文档所在文件夹？");

    // The sample payslips, three rows to a page: 26 rows make nine pages.
    Use(kSamples + "/数据/员工信息.xls", "员工$", kSamples + "/模板/工资条.doc");
    state_.multiRowMode = true;
    const RunOutcome slips = Save("工资条", ".pdf", 1, 0);
    EXPECT_EQ(slips.documentsMade, 9);
    EXPECT_EQ(test::PdfPages(state_.outputFolder + "工资条.pdf"), 9);
    const std::string slipText = test::FlatText(state_.outputFolder + "工资条.pdf");
    EXPECT_LT(slipText.find("林晓峰"), slipText.find("谢婉清"));
}

}  // namespace
}  // namespace qm
