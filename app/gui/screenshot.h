#pragma once
// Pictures of the program for the tutorial pages: with QM_SCREENSHOT=<png path> the program
// sets up the scene named by QM_SCREENSHOT_SCENE (main-window, about, page2-range, save-run),
// saves a picture of it and quits.

#include <string>

namespace qm::gui {

class MainWindow;

// False when QM_SCREENSHOT is not set; otherwise the scene is scheduled on the event loop.
bool ScheduleScreenshot(MainWindow& window, const std::string& programFolder);

}  // namespace qm::gui
