#pragma once
// Hands a file, folder or web address to the desktop's opener, without waiting for the program
// it starts.

#include <string_view>

namespace qm::gui {

class Opener {
  public:
    virtual ~Opener() = default;
    // `target`: a web address ("http://", "https://") or a path of the local file system.
    // False when the desktop has nothing to open it with (no browser, no file manager, no
    // opener at all).
    virtual bool open(std::string_view target) = 0;
};

// Through xdg-open, which works on every desktop and without one.
class DesktopOpener : public Opener {
  public:
    bool open(std::string_view target) override;
};

}  // namespace qm::gui
