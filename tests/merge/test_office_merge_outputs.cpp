// Every output format with the real office, read back: the documents the program makes itself
// (the shipped .doc samples) and those the office makes (flat templates), saved as .doc, .docx,
// .odt and .pdf; one PDF of every document with its pages in order; and the batch command's
// --check, --name-column and --single-file.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "common/fs.h"
#include "common/text.h"
#include "data/connection.h"
#include "merge/merge_run.h"
#include "merge/program_state.h"
#include "tests/batch/batch_runner.h"
#include "tests/support/recording_run_ui.h"
#include "tests/support/sheet_titles.h"
#include "word/libreoffice.h"
#include "word/word_host.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
const std::string kFixtures = QM_MERGE_FIXTURES;
const std::string kSamples = QM_PROGRAM_DIR;

std::string Output(const std::string& command) {
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
        ::pclose(pipe);
    }
    return out;
}

// What `file` says the file is.
std::string FileType(const std::string& path) {
    return Output("file -b " + test::ShellQuote(path));
}

// The text of a saved document in any of the four formats, paragraphs run together.
std::string DocumentText(const std::string& path) {
    const std::string q = test::ShellQuote(path);
    std::string text;
    if (path.ends_with(".pdf")) {
        text = Output("pdftotext -enc UTF-8 " + q + " - 2>/dev/null");
    } else if (path.ends_with(".doc")) {
        // antiword follows the piece table of the documents made here; it refuses the small ones
        // the office writes, which catdoc reads.
        text = Output("antiword -w 0 -m UTF-8.txt " + q + " 2>/dev/null");
        if (text.find_first_not_of(" \n") == std::string::npos)
            text = Output("catdoc -d utf-8 " + q + " 2>/dev/null");
    } else {
        // The document part of the package, without its markup.
        const char* part = path.ends_with(".docx") ? "word/document.xml" : "content.xml";
        text = Output(
            "/usr/bin/python3 -c 'import re,sys,zipfile; "
            "print(re.sub(\"<[^>]*>\", \"\", zipfile.ZipFile(sys.argv[1]).read(sys.argv[2]).decode()))' " +
            q + " " + part + " 2>/dev/null");
    }
    return ReplaceAll(ReplaceAll(text, "\n", ""), " ", "");
}

int PdfPages(const std::string& path) {
    const std::string info = Output("pdfinfo " + test::ShellQuote(path) + " 2>/dev/null");
    const std::size_t at = info.find("Pages:");
    return at == std::string::npos ? -1 : TextToInt(info.substr(at + 6));
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
        std::string pattern = (fs::temp_directory_path() / "qm-office-outputs-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        state_.outputFolder = dir_ + "/out/";
        ASSERT_TRUE(MakeDirectory(state_.outputFolder));
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    // As the main window does: the sheet's titles, the template's bookmarks, the match.
    void Use(const std::string& workbook, const char* sheet, const std::string& templatePath) {
        state_.sheetConnection = data::BuildConnectionString(data::ExcelWorkbook, {}, workbook);
        request_.sheetName = sheet;
        request_.templatePath = templatePath;
        ASSERT_FALSE(host_->OpenTemplate(templatePath).empty()) << templatePath;
        state_.templateBookmarks = host_->ListBookmarks();
        ASSERT_TRUE(test::LoadTitlesAndMatch(state_, sheet));
    }
    RunOutcome Save(const char* reference, const char* extension, int start, int end) {
        state_.referenceName = reference;
        request_.extension = extension;
        request_.start = start;
        request_.end = end;
        return RunMerge(state_, *host_, ui_, request_);
    }
    std::vector<std::string> Entries() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(state_.outputFolder))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    static word::WordHost* host_;
    std::string dir_;
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
            const std::string text = DocumentText(file);
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
    EXPECT_EQ(PdfPages(state_.outputFolder + "All.pdf"), 5);
    const std::string text = DocumentText(state_.outputFolder + "All.pdf");
    std::size_t at = 0;
    for (int row = 3; row <= 7; ++row) {
        const std::size_t found = text.find("Name:Person" + IntToText(row) + "Age:" + IntToText(20 + row));
        ASSERT_NE(found, std::string::npos) << row << ": " << text;
        EXPECT_GE(found, at) << row;
        at = found;
    }
    EXPECT_EQ(ui_.texts().back(), "完成！是否打开存放文档所在文件夹？");

    // The sample payslips, three rows to a page: 26 rows make nine pages.
    Use(kSamples + "/数据/员工信息.xls", "员工$", kSamples + "/模板/工资条.doc");
    state_.multiRowMode = true;
    const RunOutcome slips = Save("工资条", ".pdf", 1, 0);
    EXPECT_EQ(slips.documentsMade, 9);
    EXPECT_EQ(PdfPages(state_.outputFolder + "工资条.pdf"), 9);
    const std::string slipText = DocumentText(state_.outputFolder + "工资条.pdf");
    EXPECT_LT(slipText.find("林晓峰"), slipText.find("谢婉清"));
}

// ---- the batch command ----

class OfficeBatchOutputTest : public testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "qm-office-batch-outputs-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    std::string dir_;
};

// A template with one bookmark no column fills: --check names it and fails; a run goes on and
// names it too.
TEST_F(OfficeBatchOutputTest, TheOneBookmarkThatMatchesNothing) {
    const std::vector<std::string> inputs = {"--workbook", kFixtures + "/rows.xls",  "--sheet", "Sheet1",
                                             "--template", kFixtures + "/extra.fodt"};
    std::vector<std::string> args = inputs;
    args.push_back("--check");
    test::BatchResult r = test::RunBatch(args, dir_);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.out,
              "mode: single-row\nbookmarks filled: 2 of 3\nfilled bookmarks:\n  Name\n  Age\n"
              "empty bookmarks (no column fills them):\n  Missing\ncolumns that fill no bookmark:\n  City\n");

    args = inputs;
    args.insert(args.end(), {"--to", "1", "--save", dir_ + "/out", "--name", "D"});
    r = test::RunBatch(args, dir_);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "quillmerge-batch: bookmarks no column fills stay as in the template: Missing\n");
    EXPECT_EQ(ListFiles(dir_ + "/out", ""), std::vector<std::string>{"D1.doc"});
}

TEST_F(OfficeBatchOutputTest, SingleFileAndNameColumn) {
    const std::string out = dir_ + "/out";
    test::BatchResult r = test::RunBatch(
        {"--workbook", kFixtures + "/rows.xls", "--sheet", "Sheet1", "--template", kFixtures + "/single.fodt",
         "--to", "4", "--save", out, "--name", "全部", "--format", "pdf", "--single-file"},
        dir_);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "1 PDF file holding 4 documents saved as " + out + "/全部.pdf\n");
    EXPECT_EQ(ListFiles(out, ""), std::vector<std::string>{"全部.pdf"});
    EXPECT_EQ(PdfPages(out + "/全部.pdf"), 4);

    r = test::RunBatch({"--workbook", kFixtures + "/names.xls", "--sheet", "Sheet1", "--template",
                        kFixtures + "/single.fodt", "--from", "12", "--to", "13", "--save", out, "--name",
                        "合同", "--format", "docx", "--name-column", "名字"},
                       dir_);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ListFiles(out, ".docx"), (std::vector<std::string>{"合同_TOM(2).docx", "合同_Tom.docx"}));
    EXPECT_TRUE(Has(DocumentText(out + "/合同_TOM(2).docx"), "Name:Row13"));
}

}  // namespace
}  // namespace qm
