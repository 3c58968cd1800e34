#pragma once
// Pictures of the program for the tutorial pages: with QM_SCREENSHOT=<png path> the program
// sets up the scene named by QM_SCREENSHOT_SCENE (main-window, about, page2-range, save-run),
// saves a picture of it and quits.

#include <memory>
#include <string>

namespace qm::gui {

class MainWindow;
class GuiDialogs;

// While pictures are taken (QM_SCREENSHOT set) the boxes answer themselves: the save dialog
// with a file in a temporary folder, the confirmation with Yes, every other question with No.
// nullptr otherwise.
std::unique_ptr<GuiDialogs> MakeScreenshotDialogs();

// False when QM_SCREENSHOT is not set; otherwise the scene is scheduled on the event loop.
bool ScheduleScreenshot(MainWindow& window, const std::string& programFolder);

}  // namespace qm::gui
