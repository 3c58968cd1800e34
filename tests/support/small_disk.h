#pragma once
// A small file system of its own that fills up: a 64 KB tmpfs mounted on a folder for one test
// (as root; where mounting is not allowed mounted() is false and the test skips) and taken away
// with the object.

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace qm::test {

class SmallDisk {
  public:
    explicit SmallDisk(std::string folder) : folder_(std::move(folder)) {
        std::filesystem::create_directories(folder_);
        mounted_ =
            geteuid() == 0 &&
            std::system(("mount -t tmpfs -o size=64k tmpfs '" + folder_ + "' 2>/dev/null").c_str()) == 0;
    }
    ~SmallDisk() {
        if (mounted_) std::system(("umount '" + folder_ + "' 2>/dev/null").c_str());
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;
    bool mounted() const { return mounted_; }
    const std::string& folder() const { return folder_; }

  private:
    std::string folder_;
    bool mounted_ = false;
};

}  // namespace qm::test
