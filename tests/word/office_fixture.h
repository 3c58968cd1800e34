#pragma once
// Shared helpers of the tests that drive the real office: templates converted from their
// readable sources, a scratch folder, the office processes this test process started, and a
// dialogs double that records what it was asked.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/dialogs.h"

namespace qm::test {

namespace fs = std::filesystem;

inline std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

inline void WriteFile(const fs::path& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

// Output of a shell command ("" when it cannot run).
inline std::string Capture(const std::string& command) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return output;
    char buffer[4096];
    std::size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
    pclose(pipe);
    return output;
}

inline std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

// Polls `condition` until it holds or `timeout` passes; the result of the last poll.
inline bool WaitFor(const std::function<bool()>& condition,
                    std::chrono::milliseconds timeout = std::chrono::seconds(30)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return condition();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

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
        list += " " + Quote(entry.path().string());
        const fs::path converted = folder / entry.path().filename().replace_extension(".doc");
        if (!fs::exists(converted) || fs::last_write_time(converted) < entry.last_write_time()) stale = true;
    }
    if (stale) {
        const std::string profile = "/tmp/quillmerge-convert-" + std::to_string(getpid());
        const std::string command = "soffice -env:UserInstallation=file://" + profile +
                                    " --headless --norestore --convert-to doc --outdir " +
                                    Quote(folder.string()) + list + " >/dev/null 2>&1";
        std::system(command.c_str());
        std::error_code ec;
        fs::remove_all(profile, ec);
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
    std::vector<pid_t> pids;
    const std::string mark = "quillmerge-office-" + std::to_string(getpid()) + "-";
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator("/proc", ec)) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::string cmdline = ReadFile(entry.path() / "cmdline");
        if (cmdline.find(mark) == std::string::npos) continue;
        // A zombie waiting to be collected has an empty command line, so it is not counted.
        pids.push_back(static_cast<pid_t>(std::stol(name)));
    }
    return pids;
}

// A scratch folder removed at the end of the test.
class ScratchFolder {
  public:
    ScratchFolder() {
        path_ = fs::temp_directory_path() /
                ("quillmerge-word-test-" + std::to_string(getpid()) + "-" + std::to_string(counter_++));
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~ScratchFolder() {
        std::error_code ec;
        fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(path_, ec);
    }
    const fs::path& path() const { return path_; }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

  private:
    static inline int counter_ = 0;
    fs::path path_;
};

// Answers questions with a fixed answer and records every question and message.
class RecordingDialogs : public UserDialogs {
  public:
    struct Entry {
        std::string text;
        std::string caption;
        bool question;
    };
    explicit RecordingDialogs(bool answer) : answer_(answer) {}
    void showMessage(std::string_view text, std::string_view caption, MessageIcon) override {
        entries.push_back({std::string(text), std::string(caption), false});
    }
    bool askYesNo(std::string_view text, std::string_view caption, MessageIcon) override {
        entries.push_back({std::string(text), std::string(caption), true});
        return answer_;
    }
    std::vector<Entry> entries;

  private:
    bool answer_;
};

// Checks at the end of each test that no office process of ours outlived it.
class OfficeTest : public ::testing::Test {
  protected:
    void TearDown() override {
        EXPECT_TRUE(WaitFor([] { return OwnOfficePids().empty(); }, std::chrono::seconds(20)))
            << "an office process outlived the test";
    }
};

}  // namespace qm::test
