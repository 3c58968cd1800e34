#pragma once
// Hands a file, folder or web address to the desktop's opener. The result is not checked and
// nothing waits for the opened program.

#include <string_view>

namespace qm::gui {

class Opener {
public:
    virtual ~Opener() = default;
    // `target`: a web address ("http://", "https://") or a path of the local file system.
    virtual void open(std::string_view target) = 0;
};

class DesktopOpener : public Opener {
public:
    void open(std::string_view target) override;
};

}  // namespace qm::gui
