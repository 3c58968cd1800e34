#include "app/gui/program.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace qm::gui {

ProgramObjects MakeProgramObjects(const std::string& programFolder, std::unique_ptr<word::Office> office) {
    ProgramObjects objects;
    objects.state = std::make_unique<ProgramState>();
    objects.host = std::make_unique<word::WordHost>(std::move(office), programFolder);
    objects.settings = std::make_unique<AppSettings>(programFolder);
    return objects;
}

bool InstallQtTranslations() {
    // The program speaks Chinese whatever the desktop's language; among others the file types
    // the file dialogs name come in the default locale's language.
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    // Owned by the application, so it lives as long as the texts it translates.
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"),
                          QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

void ProgramEndCleanup(ProgramObjects& objects) {
    objects.host.reset();
    objects.settings.reset();
    objects.state.reset();
}

}  // namespace qm::gui
