#pragma once
// A fresh folder for one test, removed with everything in it when the object goes.

#include <string>
#include <string_view>

namespace qm::test {

class TempFolder {
  public:
    // Makes "<$TMPDIR or /tmp>/qm-<stem>-XXXXXX". Throws std::runtime_error when it cannot, so
    // a test never goes on with a path that is not its own (GoogleTest reports the exception
    // as the test's failure).
    explicit TempFolder(std::string_view stem = "test");
    // Removes the folder, also when a test left read-only folders or files in it.
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // The folder, without a trailing "/".
    const std::string& path() const { return path_; }
    // path() + "/" + name; `name` may hold further "/" parts.
    std::string operator/(std::string_view name) const;

  private:
    std::string path_;
};

}  // namespace qm::test
