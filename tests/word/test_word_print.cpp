// Printing through the real office to the default printer. scripts/print-server.sh start makes
// a virtual PDF printer the default; its PDFs are read back here.
#include <map>
#include <set>

#include "office_fixture.h"
#include "word/libreoffice.h"
#include "word/word_host.h"

namespace qm::test {
namespace {

const std::string kPrinter = "QuillmergePDF";
const fs::path kPrinterOutput = "/var/spool/cups-pdf/quillmerge";

std::set<fs::path> Pdfs() {
    const std::vector<std::string> files = FilesIn(kPrinterOutput, ".pdf");
    return {files.begin(), files.end()};
}

class PrintOffice : public OfficeTest {};

TEST_F(PrintOffice, EveryPrintIsOneJobWithTheFilledText) {
    const std::string destination = RunCommand("LC_ALL=C lpstat -d 2>/dev/null").out;
    if (destination.find("system default destination:") == std::string::npos)
        GTEST_SKIP() << "no default printer; scripts/print-server.sh start sets one up";
    if (destination.find(kPrinter) == std::string::npos)
        GTEST_SKIP() << "the default printer is not the virtual PDF printer " << kPrinter
                     << ", so what it prints cannot be read back";

    const std::set<fs::path> before = Pdfs();
    const std::string marker = "Job" + std::to_string(getpid()) + "x";
    word::WordHost host(word::MakeLibreOffice(), "");
    // One document made in this process and sent through the office, one made by the office.
    for (const auto& [suffix, route] :
         {std::pair{"A", word::Route::Engine}, std::pair{"B", word::Route::Office}}) {
        ASSERT_NE(host.OpenTemplate(TemplateDoc("single"), route), "");
        EXPECT_EQ(host.CurrentRoute(), route);
        ASSERT_TRUE(host.SetBookmarkText("Name", marker + suffix));
        EXPECT_TRUE(host.PrintDocument(marker + suffix));
        host.CloseDocument();
    }

    // The jobs arrive in their own time; a file still being written is read again later.
    std::map<fs::path, std::string> ours;
    const auto collect = [&] {
        for (const fs::path& file : Pdfs()) {
            if (before.count(file) || ours.count(file)) continue;
            const std::string text = PdfText(file.string());
            if (text.find("welcome aboard") == std::string::npos) continue;  // still being written
            if (text.find(marker) != std::string::npos) ours[file] = text;
        }
        return ours.size() >= 2;
    };
    ASSERT_TRUE(WaitFor(collect, 120000)) << ours.size() << " of 2 jobs arrived";
    int a = 0, b = 0;
    for (const auto& [file, text] : ours) {
        if (text.find("Dear " + marker + "A, welcome aboard.") != std::string::npos) ++a;
        if (text.find("Dear " + marker + "B, welcome aboard.") != std::string::npos) ++b;
        std::error_code ec;
        fs::remove(file, ec);
    }
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 1);
}

}  // namespace
}  // namespace qm::test
