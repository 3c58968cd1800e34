// PDFs of the engine's documents through the converter and the real office: joined in groups and
// split, they have the pages and the text that converting each by itself gives.

#include <gtest/gtest.h>

#include <chrono>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "common/fs.h"
#include "common/text.h"
#include "tests/support/command.h"
#include "tests/support/files.h"
#include "tests/support/realworld.h"
#include "tests/support/temp_folder.h"
#include "word/engine/template.h"
#include "word/libreoffice.h"
#include "word/office_converter.h"

namespace qm::test {
namespace {

using namespace std::chrono_literals;

// The pages of a PDF as pdftotext reads them, a form feed between pages; "" when unreadable.
std::string PdfText(const std::string& pdf) {
    const CommandResult r = RunCommand("pdftotext -layout " + ShellQuote(pdf) + " -");
    return r.status == 0 ? r.out : std::string();
}

// Converts `documents` into `folder`/N.pdf; the results by number.
std::map<int, word::Converted> Convert(word::OfficeConverter& converter,
                                       const std::vector<std::vector<std::uint8_t>>& documents,
                                       const std::string& folder) {
    std::map<int, word::Converted> results;
    converter.Begin();
    for (std::size_t i = 0; i < documents.size(); ++i) {
        word::Conversion c;
        c.key = static_cast<int>(i) + 1;
        c.bytes = documents[i];
        c.target = folder + "/" + std::to_string(c.key) + ".pdf";
        while (!converter.Add(c, 100ms)) {
        }
    }
    EXPECT_TRUE(converter.WaitAll(600s));
    for (word::Converted& r : converter.Take()) results.emplace(r.key, r);
    return results;
}

TEST(OfficeConversion, JoinedAndSplitPdfsHaveThePagesAndTextOfOneByOne) {
    if (!HaveProgram("pdftotext") || !HaveProgram("pdfseparate")) GTEST_SKIP() << "poppler-utils is missing";
    std::vector<std::string> templates = FilesIn(std::string(QM_PROGRAM_DIR) + "/模板", ".docx");
    for (const std::string& file : RealWorldFiles("docx", ".docx")) templates.push_back(file);

    auto office = word::MakeLibreOffice();
    word::OfficeConverter joined(office.get(), nullptr);
    auto plainOffice = word::MakeLibreOffice(1);
    word::OfficeConverter plain(plainOffice.get(), nullptr);
    plain.SetJoining(false);
    int joinedTemplates = 0;
    for (const std::string& path : templates) {
        SCOPED_TRACE(path);
        const engine::OpenResult read = engine::OpenTemplateFile(path);
        if (!read) continue;
        // Three documents with values of their own in every bookmark.
        std::vector<std::vector<std::uint8_t>> documents(3);
        for (int n = 0; n < 3; ++n) {
            std::vector<engine::Fill> fills;
            for (const std::string& name : read.value->VisibleNames())
                fills.emplace_back(name, "值" + std::to_string(n + 1) + name.substr(0, 1));
            std::string error;
            ASSERT_TRUE(read.value->Make(fills, documents[static_cast<std::size_t>(n)], error)) << error;
        }
        TempFolder a("joined"), b("plain");
        const auto together = Convert(joined, documents, a.path());
        const auto alone = Convert(plain, documents, b.path());
        ASSERT_EQ(together.size(), 3u);
        ASSERT_EQ(alone.size(), 3u);
        if (joined.separateReason().empty()) ++joinedTemplates;
        std::cout << NameOfPath(path) << ": "
                  << (joined.separateReason().empty() ? "joined" : "one by one: " + joined.separateReason())
                  << '\n';
        for (int n = 1; n <= 3; ++n) {
            ASSERT_TRUE(together.at(n).saved.ok) << together.at(n).saved.error;
            ASSERT_TRUE(alone.at(n).saved.ok) << alone.at(n).saved.error;
            const std::string text = PdfText(a.path() + "/" + std::to_string(n) + ".pdf");
            EXPECT_FALSE(text.empty());
            // Same pages (pdftotext ends each with a form feed), same text on each.
            EXPECT_EQ(text, PdfText(b.path() + "/" + std::to_string(n) + ".pdf"))
                << "document " << n << (joined.separateReason().empty() ? " (joined)" : " (one by one)");
        }
    }
    // The shipped templates are all joined.
    EXPECT_GE(joinedTemplates, 3);
}

}  // namespace
}  // namespace qm::test
