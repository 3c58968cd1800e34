#pragma once
// Hands a file, folder or web address to the desktop's opener, without waiting for the program
// it starts and without holding up the window while the opener decides.

#include <chrono>
#include <functional>
#include <string_view>

namespace qm::gui {

class Opener {
  public:
    virtual ~Opener() = default;
    // `target`: a web address ("http://", "https://") or a path of the local file system.
    // `done` is called once, from the window's event loop (possibly before open returns), with
    // false when the desktop has nothing to open it with (no browser, no file manager, no opener
    // at all) and true otherwise.
    virtual void open(std::string_view target, std::function<void(bool opened)> done) = 0;
};

// Through xdg-open, which works on every desktop and without one.
class DesktopOpener : public Opener {
  public:
    // An opener still running after `patience` has started a program.
    explicit DesktopOpener(std::chrono::milliseconds patience = std::chrono::seconds(10))
        : patience_(patience) {}
    void open(std::string_view target, std::function<void(bool opened)> done) override;

  private:
    std::chrono::milliseconds patience_;
};

}  // namespace qm::gui
