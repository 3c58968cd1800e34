#pragma once
// Files saved by real office programs, kept beside the checkout rather than in it; the build
// passes their folder as QM_REALWORLD_DIR. A checkout without them must still pass: the tests
// that need them skip and say what is missing.

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "tests/support/files.h"

#ifndef QM_REALWORLD_DIR
#error "QM_REALWORLD_DIR is defined for the test executables by qm_test()"
#endif

namespace qm::test {

// The real-world folder, or its sub-folder `sub` ("xls", "doc"); it may not exist.
inline std::string RealWorldFolder(std::string_view sub = "") {
    std::string folder = QM_REALWORLD_DIR;
    if (!sub.empty()) folder += "/" + std::string(sub);
    return folder;
}

// The files of RealWorldFolder(sub) whose names end in `extension` (letter case ignored),
// sorted; empty when the folder is absent.
inline std::vector<std::string> RealWorldFiles(std::string_view sub, std::string_view extension = "") {
    return FilesIn(RealWorldFolder(sub), extension);
}

// Whether RealWorldFolder(sub) holds files: for a test that adds real-world files to its own
// inputs where they are at hand.
inline bool HaveRealWorld(std::string_view sub) {
    return !RealWorldFiles(sub).empty();
}

// "" when RealWorldFolder(sub) holds files; otherwise why a test that needs them cannot run.
inline std::string RealWorldMissing(std::string_view sub) {
    if (HaveRealWorld(sub)) return {};
    return "no real-world files in " + RealWorldFolder(sub) +
           " (they are kept beside the checkout, in ../shared/realworld)";
}

}  // namespace qm::test

// Ends the running test as skipped when the real-world folder `sub` is absent or empty. For a
// test body or SetUp(); the checks made before it still count, so a test can check its own
// fixtures first and the real-world files after it.
#define QM_SKIP_WITHOUT_REALWORLD(sub)                                               \
    do {                                                                             \
        const std::string qm_realworld_missing_ = ::qm::test::RealWorldMissing(sub); \
        if (!qm_realworld_missing_.empty()) GTEST_SKIP() << qm_realworld_missing_;   \
    } while (false)
