// Joining PDF files into one: the pages in order, in rounds for many files, and a failure that
// leaves the earlier file of the name and nothing else behind. The parts are small one-page PDFs
// written here; the result is read back with pdfinfo and pdftotext.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "common/fs.h"
#include "common/text.h"
#include "tests/support/document_text.h"
#include "tests/support/files.h"
#include "tests/support/temp_folder.h"
#include "word/pdf_join.h"

namespace qm::word {
namespace {

namespace fs = std::filesystem;

// A one-page PDF showing `text` (ASCII), with a correct cross-reference table.
std::string OnePagePdf(const std::string& text) {
    const std::string stream = "BT /F1 12 Tf 20 100 Td (" + text + ") Tj ET";
    const std::vector<std::string> objects = {
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        // NOLINTNEXTLINE(bugprone-suspicious-missing-comma): one object split over two lines
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 4 0 R "
        "/Resources << /Font << /F1 5 0 R >> >> >>",
        "<< /Length " + std::to_string(stream.size()) + " >>\nstream\n" + stream + "\nendstream",
        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
    };
    std::string pdf = "%PDF-1.4\n";
    std::vector<std::size_t> offsets;
    for (std::size_t i = 0; i < objects.size(); ++i) {
        offsets.push_back(pdf.size());
        pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const std::size_t xref = pdf.size();
    pdf += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (std::size_t offset : offsets) {
        char line[24];
        std::snprintf(line, sizeof line, "%010zu 00000 n \n", offset);
        pdf += line;
    }
    pdf += "trailer\n<< /Size " + std::to_string(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
           std::to_string(xref) + "\n%%EOF\n";
    return pdf;
}

class PdfJoinTest : public testing::Test {
  protected:
    std::string Write(const std::string& name, const std::string& bytes) {
        EXPECT_TRUE(test::WriteText(dir_ + name, bytes)) << name;
        return dir_ + name;
    }
    std::vector<std::string> Parts(int count) {
        std::vector<std::string> parts;
        for (int i = 1; i <= count; ++i)
            parts.push_back(Write("part" + IntToText(i) + ".pdf", OnePagePdf("Page " + IntToText(i))));
        return parts;
    }
    int Pages(const std::string& path) { return test::PdfPages(path); }
    std::string Text(const std::string& path) { return test::PdfText(path); }
    std::vector<std::string> Entries() const { return test::EntryNames(dir_); }

    const test::TempFolder folder_{"pdf-join"};
    const std::string dir_ = folder_.path() + "/";
};

TEST_F(PdfJoinTest, PagesComeInTheOrderOfTheParts) {
    std::vector<std::string> parts = Parts(450);  // more than one round of joining
    std::swap(parts[0], parts[2]);
    std::string error;
    ASSERT_TRUE(JoinPdfFiles(parts, dir_ + "合并.pdf", error)) << error;
    EXPECT_EQ(Pages(dir_ + "合并.pdf"), 450);
    const std::string text = Text(dir_ + "合并.pdf");
    EXPECT_LT(text.find("Page 3\n"), text.find("Page 2\n"));
    EXPECT_LT(text.find("Page 2\n"), text.find("Page 1\n"));
    EXPECT_LT(text.find("Page 200\n"), text.find("Page 201\n"));
    EXPECT_LT(text.find("Page 401\n"), text.find("Page 450\n"));
    EXPECT_EQ(Entries().size(), 450u + 1u);  // no file of a round stays

    ASSERT_TRUE(JoinPdfFiles({parts[1]}, dir_ + "one.pdf", error)) << error;
    EXPECT_EQ(Pages(dir_ + "one.pdf"), 1);
}

TEST_F(PdfJoinTest, AFailureKeepsTheEarlierFileAndLeavesNothingBehind) {
    const std::string target = Write("合并.pdf", "the earlier file");
    std::vector<std::string> parts = Parts(2);
    parts.push_back(Write("damaged.pdf", OnePagePdf("x").substr(0, 40)));
    std::string error;
    EXPECT_FALSE(JoinPdfFiles(parts, target, error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(test::ReadText(target), "the earlier file");
    EXPECT_EQ(Entries(), (std::vector<std::string>{"damaged.pdf", "part1.pdf", "part2.pdf", "合并.pdf"}));

    EXPECT_FALSE(JoinPdfFiles({dir_ + "missing.pdf"}, target, error));
    EXPECT_FALSE(JoinPdfFiles({}, target, error));
    EXPECT_EQ(error, "there is no document to join");
    EXPECT_FALSE(JoinPdfFiles(Parts(1), dir_ + "no-such-folder/x.pdf", error));
}

TEST_F(PdfJoinTest, NamesThatLookLikeOptions) {
    const std::string cwd = fs::current_path().string();
    fs::current_path(dir_);
    Write("-first.pdf", OnePagePdf("Dash"));
    std::string error;
    const bool joined = JoinPdfFiles({"-first.pdf"}, "-joined.pdf", error);
    fs::current_path(cwd);
    ASSERT_TRUE(joined) << error;
    EXPECT_EQ(Pages(dir_ + "-joined.pdf"), 1);
}

// Pages pictured one PNG each, listed in page order also past nine pages (pdftoppm then numbers
// them 01, 02, ...); a damaged PDF gives none and says so.
TEST_F(PdfJoinTest, PagesArePicturedInTheirOrder) {
    std::string error;
    ASSERT_TRUE(JoinPdfFiles(Parts(11), dir_ + "all.pdf", error)) << error;
    std::vector<std::string> pages;
    ASSERT_TRUE(PicturePdfPages(dir_ + "all.pdf", dir_ + "page", 10, pages, error)) << error;
    ASSERT_EQ(pages.size(), 11u);
    EXPECT_EQ(pages.front(), dir_ + "page-01.png");
    EXPECT_EQ(pages.back(), dir_ + "page-11.png");
    EXPECT_TRUE(std::is_sorted(pages.begin(), pages.end()));

    const std::string damaged = Write("damaged.pdf", OnePagePdf("x").substr(0, 40));
    EXPECT_FALSE(PicturePdfPages(damaged, dir_ + "bad", 10, pages, error));
    EXPECT_TRUE(pages.empty());
    EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace qm::word
