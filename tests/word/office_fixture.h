#pragma once
// What the tests that drive the real office share: templates converted from their readable
// sources, the office processes this test process started, and a fixture that checks none of
// them outlives a test.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/command.h"
#include "tests/support/dialog_script.h"
#include "tests/support/document_text.h"
#include "tests/support/files.h"
#include "tests/support/processes.h"
#include "tests/support/temp_folder.h"
#include "tests/support/wait.h"

namespace qm::test {

namespace fs = std::filesystem;

// How long a test waits for an office to start or end.
constexpr int kOfficeWait = 30000;

// The .doc made from tests/word/templates/<base>.fodt. Every source is converted together by
// a private office instance when a converted file is missing or older than its source; a lock
// keeps test processes running side by side from converting at the same time.
inline std::string TemplateDoc(const std::string& base) {
    const fs::path sources = fs::path(QM_SOURCE_DIR) / "tests/word/templates";
    const fs::path folder = fs::path(QM_BINARY_DIR) / "tests/word-templates";
    fs::create_directories(folder);
    const int lock = ::open((folder / ".lock").c_str(), O_CREAT | O_RDWR, 0644);
    if (lock >= 0) flock(lock, LOCK_EX);
    bool stale = false;
    std::string list;
    for (const fs::directory_entry& entry : fs::directory_iterator(sources)) {
        if (entry.path().extension() != ".fodt") continue;
        list += " " + ShellQuote(entry.path().string());
        const fs::path converted = folder / entry.path().filename().replace_extension(".doc");
        if (!fs::exists(converted) || fs::last_write_time(converted) < entry.last_write_time()) stale = true;
    }
    if (stale) {
        const TempFolder profile("convert");
        RunCommand("soffice -env:UserInstallation=file://" + profile.path() +
                   " --headless --norestore --convert-to doc --outdir " + ShellQuote(folder.string()) + list +
                   " >/dev/null 2>&1");
    }
    if (lock >= 0) {
        flock(lock, LOCK_UN);
        ::close(lock);
    }
    return (folder / (base + ".doc")).string();
}

// Process ids of the office processes this test process started (their profile folder names
// carry our process id), so a test never touches offices of other tests or other users.
inline std::vector<pid_t> OwnOfficePids() {
    return ProcessesMentioning("quillmerge-office-" + std::to_string(getpid()) + "-");
}

// Checks at the end of each test that no office process of ours outlived it.
class OfficeTest : public ::testing::Test {
  protected:
    void TearDown() override {
        EXPECT_TRUE(WaitFor([] { return OwnOfficePids().empty(); }, 20000))
            << "an office process outlived the test";
    }
};

}  // namespace qm::test
