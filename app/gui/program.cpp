#include "app/gui/program.h"

namespace qm::gui {

ProgramObjects MakeProgramObjects(const std::string& programFolder, std::unique_ptr<word::Office> office) {
    ProgramObjects objects;
    objects.state = std::make_unique<ProgramState>();
    objects.host = std::make_unique<word::WordHost>(std::move(office), programFolder);
    objects.settings = std::make_unique<AppSettings>(programFolder);
    return objects;
}

void ProgramEndCleanup(ProgramObjects& objects) {
    objects.host.reset();
    objects.settings.reset();
    objects.state.reset();
}

}  // namespace qm::gui
