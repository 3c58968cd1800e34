// Documents made by the .doc engine, read back by the office as a user's word processor would:
// each must load, list the bookmarks of its template and show every value.

#include <unistd.h>

#include <cstdio>

#include "doc_engine_support.h"

namespace qm::engine::test {
namespace {

TEST(DocEngineOffice, TheOfficeShowsEveryValueAndKeepsEveryBookmark) {
    if (access("/usr/bin/soffice", X_OK) != 0) GTEST_SKIP() << "the office is not installed";
    const fs::path folder = fs::temp_directory_path() / ("qm-engine-office-" + std::to_string(getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    std::vector<fs::path> files = OwnTemplates();
    for (const fs::path& p : RealWorldFiles()) files.push_back(p);
    std::ofstream manifest(folder / "manifest.tsv");
    int count = 0;
    for (const fs::path& path : files) {
        OpenResult r = OpenTemplateFile(path.string());
        if (!r) continue;
        const std::vector<Fill> fills = FillEverything(*r.value);
        Bytes made;
        std::string error;
        ASSERT_TRUE(r.value->Make(fills, made, error)) << path << ": " << error;
        const fs::path out = folder / ("made-" + std::to_string(count++) + ".doc");
        WriteBytes(out, made);
        manifest << path.string() << '\t' << out.string();
        for (const Fill& f : fills) manifest << '\t' << f.value;
        manifest << '\n';
    }
    manifest.close();
    const std::string command = "/usr/bin/python3 " + std::string(QM_OFFICE_READ) + " --compare " +
                                (folder / "profile").string() + " " + (folder / "manifest.tsv").string() + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char buffer[4096];
    std::size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
    pclose(pipe);
    int ok = 0;
    std::size_t start = 0;
    while (start < output.size()) {
        const std::size_t end = output.find('\n', start);
        const std::string line = output.substr(start, end - start);
        if (line == "ok") ++ok;
        else ADD_FAILURE() << line;
        if (end == std::string::npos) break;
        start = end + 1;
    }
    EXPECT_EQ(ok, count) << output;
    fs::remove_all(folder);
}

}  // namespace
}  // namespace qm::engine::test
