// The whole-file reader and the descriptor owner.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "common/disk_flusher.h"
#include "common/fs.h"
#include "common/unique_fd.h"
#include "tests/support/scoped_environment.h"

namespace qm {
namespace {

class ReadWholeFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char name[] = "/tmp/qm-fs-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        folder = name;
    }
    void TearDown() override { std::filesystem::remove_all(folder); }
    std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        const std::string path = folder + "/" + name;
        FILE* f = std::fopen(path.c_str(), "wb");
        if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        return path;
    }
    std::string folder;
};

TEST_F(ReadWholeFileTest, ReadsEveryByteUpToTheLimit) {
    // More than one read's worth, with every byte value.
    std::vector<std::uint8_t> bytes(200000);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
    const std::string path = Write("big.bin", bytes);

    WholeFile all = ReadWholeFile(path, kNoFileLimit);
    ASSERT_TRUE(all.ok());
    EXPECT_EQ(all.bytes, bytes);
    EXPECT_EQ(all.size, bytes.size());

    WholeFile exact = ReadWholeFile(path, bytes.size());
    ASSERT_TRUE(exact.ok());
    EXPECT_EQ(exact.bytes, bytes);

    WholeFile over = ReadWholeFile(path, bytes.size() - 1);
    EXPECT_EQ(over.problem, WholeFile::Problem::TooLarge);
    EXPECT_EQ(over.size, bytes.size());  // said, so a caller can tell how large
    EXPECT_TRUE(over.bytes.empty());

    WholeFile empty = ReadWholeFile(Write("empty", {}), 0);
    EXPECT_TRUE(empty.ok());
    EXPECT_TRUE(empty.bytes.empty());
}

TEST_F(ReadWholeFileTest, TellsWhatKeptTheFileFromBeingRead) {
    WholeFile missing = ReadWholeFile(folder + "/none", kNoFileLimit);
    EXPECT_EQ(missing.problem, WholeFile::Problem::Missing);
    EXPECT_EQ(missing.error, ENOENT);
    EXPECT_EQ(ReadWholeFile("", kNoFileLimit).problem, WholeFile::Problem::Missing);
    EXPECT_EQ(ReadWholeFile(folder, kNoFileLimit).problem, WholeFile::Problem::NotRegular);
    EXPECT_EQ(ReadWholeFile("/dev/null", kNoFileLimit).problem, WholeFile::Problem::NotRegular);
    // A FIFO without a writer is refused at once rather than waited on.
    const std::string fifo = folder + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(ReadWholeFile(fifo, kNoFileLimit).problem, WholeFile::Problem::NotRegular);
    // A path through a file is no file either, but not a missing one.
    const std::string file = Write("plain", {1, 2, 3});
    EXPECT_EQ(ReadWholeFile(file + "/x", kNoFileLimit).problem, WholeFile::Problem::Unreadable);
    EXPECT_EQ(ReadWholeFile(file + "/x", kNoFileLimit).error, ENOTDIR);

    std::vector<std::uint8_t> bytes{9};
    EXPECT_FALSE(ReadFileBytes(folder, bytes));
    EXPECT_TRUE(bytes.empty());
    EXPECT_TRUE(ReadFileBytes(file, bytes));
    EXPECT_EQ(bytes, (std::vector<std::uint8_t>{1, 2, 3}));
}

TEST_F(ReadWholeFileTest, AFileWithoutReadPermissionIsUnreadable) {
    const std::string file = Write("secret", {1});
    if (geteuid() == 0) GTEST_SKIP() << "root reads files without read permission";
    ASSERT_EQ(chmod(file.c_str(), 0200), 0);
    WholeFile denied = ReadWholeFile(file, kNoFileLimit);
    EXPECT_EQ(denied.problem, WholeFile::Problem::Unreadable);
    EXPECT_EQ(denied.error, EACCES);
}

// A file whose size says nothing of its content (the kernel's files say 0) is read to its end,
// and the limit holds for what is read, not only for the size announced.
TEST_F(ReadWholeFileTest, ReadsToTheEndNotToTheAnnouncedSize) {
    WholeFile status = ReadWholeFile("/proc/self/status", kNoFileLimit);
    ASSERT_TRUE(status.ok());
    const std::string text(status.bytes.begin(), status.bytes.end());
    EXPECT_NE(text.find("Umask:"), std::string::npos);
    EXPECT_EQ(status.size, status.bytes.size());

    WholeFile limited = ReadWholeFile("/proc/self/status", 16);
    EXPECT_EQ(limited.problem, WholeFile::Problem::TooLarge);
    EXPECT_TRUE(limited.bytes.empty());
}

bool IsOpen(int fd) {
    return fcntl(fd, F_GETFD) != -1;
}

TEST(UniqueFd, ClosesWhatItOwnsOnce) {
    int raw = -1;
    {
        UniqueFd fd(::open("/dev/null", O_RDONLY | O_CLOEXEC));
        ASSERT_TRUE(fd);
        raw = fd.get();
        UniqueFd moved(std::move(fd));
        EXPECT_FALSE(fd);  // NOLINT(bugprone-use-after-move): a moved-from owner is empty, by design
        EXPECT_EQ(moved.get(), raw);
        EXPECT_TRUE(IsOpen(raw));
    }
    EXPECT_FALSE(IsOpen(raw));

    UniqueFd failed(::open("/no/such/file", O_RDONLY));
    EXPECT_FALSE(failed);
    EXPECT_EQ(failed.get(), -1);
    EXPECT_TRUE(failed.close());  // nothing to close

    // Released descriptors stay open; reset keeps errno for the caller's report.
    UniqueFd kept(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    const int released = kept.release();
    EXPECT_FALSE(kept);
    EXPECT_TRUE(IsOpen(released));
    kept.reset(released);
    errno = ENOSPC;
    kept.reset();
    EXPECT_EQ(errno, ENOSPC);
    EXPECT_FALSE(IsOpen(released));
}

TEST(UniqueFd, CheckedCloseReportsAFailure) {
    UniqueFd fd(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    ASSERT_TRUE(fd.close());
    EXPECT_FALSE(fd);

    // A descriptor closed behind the owner's back: close() says so, and the owner is empty.
    const int raw = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    UniqueFd stale(raw);
    ::close(raw);
    errno = 0;
    EXPECT_FALSE(stale.close());
    EXPECT_EQ(errno, EBADF);
    EXPECT_FALSE(stale);
}

// The sweep of what killed runs left: only names this machine's runs make, of processes that
// are gone, and the office's lock files beside them; a user's file that merely looks alike stays.
TEST_F(ReadWholeFileTest, TheSweepTakesOnlyTemporariesOfDeadRunsOfThisMachine) {
    const std::string ours = TemporaryNameBeside(folder + "/合同1.doc");
    const std::string prefix =
        ours.substr(folder.size() + 1, ours.find('-', folder.size() + 7) - folder.size());
    ASSERT_TRUE(prefix.starts_with(".~qm-")) << ours;  // ".~qm-<machine>-"
    // A process id that is surely not running: a child that has ended and been collected.
    const pid_t child = fork();
    if (child == 0) _exit(0);
    int status = 0;
    waitpid(child, &status, 0);
    const std::string dead = std::to_string(child);
    const std::vector<std::string> gone = {
        prefix + dead + ".abcd1234-合同1.doc",
        ".~lock." + prefix + dead + ".abcd1234-合同1.doc#",
    };
    const std::vector<std::string> kept = {
        prefix + std::to_string(getpid()) + ".abcd1234-合同2.doc",  // this process
        ".~qm-" + dead + ".abcd1234-旧式.doc",                      // no machine: not known as ours
        ".~qm-0123456789ab-" + dead + ".abcd1234-x.doc",            // another machine
        prefix + dead + ".abc-短.doc",                              // not our shape
        prefix + dead + "-合同3.doc",                               // a reference name like ours
        ".~qm-合同4.doc",
        ".~lock.合同5.doc#",
        "合同6.doc",
    };
    for (const std::string& name : gone) Write(name, {1});
    for (const std::string& name : kept) Write(name, {2});
    // The parts of one PDF of all, left by a killed run: a folder, with what it holds.
    const std::string parts = prefix + dead + ".abcd1234-parts";
    ASSERT_TRUE(std::filesystem::create_directory(folder + "/" + parts));
    Write(parts + "/000001.pdf", {3});
    const std::string partsOfALiveRun = prefix + std::to_string(getpid()) + ".abcd1234-parts";
    ASSERT_TRUE(std::filesystem::create_directory(folder + "/" + partsOfALiveRun));
    RemoveStaleTemporaries(folder);
    for (const std::string& name : gone) EXPECT_FALSE(std::filesystem::exists(folder + "/" + name)) << name;
    for (const std::string& name : kept) EXPECT_TRUE(std::filesystem::exists(folder + "/" + name)) << name;
    EXPECT_FALSE(std::filesystem::exists(folder + "/" + parts));
    EXPECT_TRUE(std::filesystem::exists(folder + "/" + partsOfALiveRun));
}

// The private folders of the temporary folder: named after this machine and process, so that
// those of a killed run are known and removed by the next, and no other folder is.
TEST_F(ReadWholeFileTest, PrivateFoldersOfDeadRunsAreSweptAndAFolderThatCannotBeWrittenIsTold) {
    const test::ScopedEnvironment temporary("TMPDIR", folder + "/");
    EXPECT_EQ(TemporaryFolder(), folder);
    const std::string mine = MakePrivateFolder("quillmerge-print");
    ASSERT_FALSE(mine.empty());
    const std::string name = mine.substr(folder.size() + 1);
    const std::string self = "-" + std::to_string(getpid()) + "-";
    ASSERT_NE(name.find(self), std::string::npos) << name;
    const pid_t child = fork();
    if (child == 0) _exit(0);
    int status = 0;
    waitpid(child, &status, 0);
    std::string dead = name;
    dead.replace(dead.find(self), self.size(), "-" + std::to_string(child) + "-");
    std::string other = "quillmerge-office-files-0123456789ab-" + std::to_string(child) + "-abcdef";
    for (const std::string& f : {dead, other, std::string("quillmerge-print-notours")})
        ASSERT_TRUE(std::filesystem::create_directory(folder + "/" + f)) << f;
    Write(dead + "/1.pdf", {1});
    RemoveStalePrivateFolders();
    EXPECT_FALSE(std::filesystem::exists(folder + "/" + dead));
    EXPECT_TRUE(std::filesystem::exists(mine));
    EXPECT_TRUE(std::filesystem::exists(folder + "/" + other));  // another machine's
    EXPECT_TRUE(std::filesystem::exists(folder + "/quillmerge-print-notours"));

    // Writable; missing; not a folder.
    EXPECT_EQ(CheckWritable(folder), 0);
    std::size_t entries = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) entries += entry.exists() ? 1 : 0;
    EXPECT_EQ(entries, 3u) << "the check left its file";
    EXPECT_EQ(CheckWritable(folder + "/none"), ENOENT);
    Write("plain", {1});
    EXPECT_EQ(CheckWritable(folder + "/plain"), ENOENT);
}

// Files written are put on disk while writing goes on and at the end; a failure is reported.
TEST_F(ReadWholeFileTest, WrittenFilesArePutOnDiskAndAFailureIsReported) {
    {
        DiskFlusher flusher(folder, 10);
        for (int i = 0; i < 95; ++i) {
            Write("f" + std::to_string(i), std::vector<std::uint8_t>(4096, 'x'));
            flusher.Written();
        }
        int error = -1;
        EXPECT_TRUE(flusher.Finish(error));
        EXPECT_EQ(error, 0);
    }
    const std::string later = folder + "/later";
    DiskFlusher flusher(later, 1);
    flusher.Written();  // a pass in the background, on a folder that is not there
    int error = 0;
    EXPECT_FALSE(flusher.Finish(error));
    EXPECT_EQ(error, ENOENT);
}

}  // namespace
}  // namespace qm
