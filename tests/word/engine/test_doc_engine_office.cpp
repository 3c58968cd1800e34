// Documents made by the .doc engine, read back by the office as a user's word processor would:
// each must load, list the bookmarks of its template and show every value.

#include <fstream>

#include "doc_engine_support.h"
#include "tests/support/command.h"
#include "tests/support/temp_folder.h"

namespace qm::engine::test {
namespace {

TEST(DocEngineOffice, TheOfficeShowsEveryValueAndKeepsEveryBookmark) {
    if (!qm::test::HaveProgram("soffice")) GTEST_SKIP() << "the office is not installed";
    const qm::test::TempFolder folder("engine-office");
    // Our own templates, and the real-world files where they are at hand.
    std::vector<fs::path> files = OwnTemplates();
    for (const std::string& p : RealWorldDocs()) files.push_back(p);
    std::ofstream manifest(folder / "manifest.tsv");
    int count = 0;
    for (const fs::path& path : files) {
        OpenResult r = OpenTemplateFile(path.string());
        if (!r) continue;
        const std::vector<Fill> fills = FillEverything(*r.value);
        Bytes made;
        std::string error;
        ASSERT_TRUE(r.value->Make(fills, made, error)) << path << ": " << error;
        const std::string out = folder / ("made-" + std::to_string(count++) + ".doc");
        WriteBytes(out, made);
        manifest << path.string() << '\t' << out;
        for (const Fill& f : fills) manifest << '\t' << f.value;
        manifest << '\n';
    }
    manifest.close();
    const std::string output =
        qm::test::RunCommand("/usr/bin/python3 " + qm::test::ShellQuote(QM_OFFICE_READ) + " --compare " +
                             qm::test::ShellQuote(folder / "profile") + " " +
                             qm::test::ShellQuote(folder / "manifest.tsv") + " 2>&1")
            .out;
    int ok = 0;
    std::size_t start = 0;
    while (start < output.size()) {
        const std::size_t end = output.find('\n', start);
        const std::string line = output.substr(start, end - start);
        if (line == "ok")
            ++ok;
        else
            ADD_FAILURE() << line;
        if (end == std::string::npos) break;
        start = end + 1;
    }
    EXPECT_EQ(ok, count) << output;
}

}  // namespace
}  // namespace qm::engine::test
