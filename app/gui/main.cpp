// Start-up and shutdown of the desktop program.

#include <QApplication>
#include <cstdio>

#include "app/core/program_folder.h"
#include "app/gui/gui_dialogs.h"
#include "app/gui/main_window.h"
#include "app/gui/opener.h"
#include "app/gui/program.h"
#include "app/gui/screenshot.h"
#include "word/libreoffice.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    qm::gui::InstallQtTranslations();
    // Installed, every user gets a program folder of their own, made on the first start.
    const qm::ProgramFolders folders = qm::OpenProgramFolder();
    if (!folders.problem.empty()) std::fprintf(stderr, "quillmerge: %s\n", folders.problem.c_str());
    const std::string programFolder = folders.folder;
    qm::gui::ProgramObjects objects = qm::gui::MakeProgramObjects(programFolder, qm::word::MakeLibreOffice());
    objects.host->SetMoreOffices(qm::word::MakeLibreOffice, qm::word::DefaultOfficeWorkers());
    qm::word::OfficeLimits limits;
    limits.memory = qm::word::DefaultOfficeMemory();
    objects.host->SetOfficeLimits(limits);

    qm::gui::QtDialogs screenDialogs;
    const std::unique_ptr<qm::gui::GuiDialogs> pictureDialogs = qm::gui::MakeScreenshotDialogs();
    qm::gui::GuiDialogs& dialogs = pictureDialogs ? *pictureDialogs : screenDialogs;
    qm::gui::DesktopOpener opener;
    {
        qm::gui::MainWindow window(qm::gui::WindowContext{*objects.state, *objects.host, *objects.settings,
                                                          dialogs, opener, programFolder});
        screenDialogs.setParent(&window);
        // EndProgram: no question, nothing saved.
        QObject::connect(&window, &qm::gui::MainWindow::endProgramRequested, &app, [&window] {
            window.hide();
            QCoreApplication::exit(0);
        });
        window.show();
        qm::gui::ScheduleScreenshot(window, programFolder);
        app.exec();
        screenDialogs.setParent(nullptr);
    }
    qm::gui::ProgramEndCleanup(objects);
    return 0;
}
