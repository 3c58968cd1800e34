#pragma once
// Where the program keeps its files.
//
// Run from a folder that holds the settings store Quillmerge.mdb and can be written (the build's
// program folder, an unpacked copy), that folder is the program folder, exactly as it always was.
// Installed, the shipped files lie read-only in <prefix>/share/quillmerge, and every user gets a
// program folder of their own, $XDG_DATA_HOME/quillmerge, made on first start: the settings
// store, 数据/ and 模板/ with the samples, 用户文档/, and links vbs/ and 帮助及教程/ to the shipped
// close script and help. The rest of the program sees one program folder either way, so stored
// folders relative to it keep their meaning.

#include <string>

namespace qm {

struct ProgramFolders {
    // The program folder the program runs with, without a trailing "/".
    std::string folder;
    // The folder of the shipped files (samples, empty settings store, help, close script);
    // the same as `folder` unless `perUser`.
    std::string shared;
    // True when `folder` is a per-user folder apart from the shipped files.
    bool perUser = false;
    // Why the program runs with less than it should (no home folder, a per-user folder that
    // could not be made); empty when all is well. Meant for a line on standard error.
    std::string problem;
};

// What the choice depends on besides the file system.
struct ProgramEnvironment {
    std::string executableFolder;  // as ExecutableFolder() gives it
    std::string xdgDataHome;       // $XDG_DATA_HOME; empty when unset
    std::string home;              // $HOME, else the home of the password database; may be empty
};

// The environment of this process.
ProgramEnvironment CurrentProgramEnvironment();

// Chooses the folders; looks at the file system but writes nothing.
// - The executable folder holds Quillmerge.mdb and is writable: that folder, not per-user.
// - Shipped files in <executable folder>/../share/quillmerge (or a read-only executable folder
//   that holds Quillmerge.mdb): the per-user folder <data home>/quillmerge, where the data home
//   is $XDG_DATA_HOME when it is an absolute path, else <home>/.local/share. Without either,
//   `folder` is the shipped folder itself and `problem` says so.
// - No shipped files anywhere: the executable folder, not per-user (the settings then fall back
//   to their defaults, as with a missing store).
ProgramFolders FindProgramFolders(const ProgramEnvironment& environment);

// Makes a per-user program folder ready; does nothing when `folders.perUser` is false. Creates
// what is missing and nothing else: the folder (mode 0700), a copy of the empty settings store,
// 数据/ and 模板/ filled with the shipped files when they are created (a user who deletes a
// sample does not get it back; one who deletes the whole folder does), 用户文档/, and the links
// vbs/ and 帮助及教程/ to the shipped folders, pointed there again when they point elsewhere.
// Never overwrites or removes a file of the user's; a real folder named vbs/ or 帮助及教程/ is
// left alone. Every file appears whole or not at all, so an interrupted first start is completed
// by the next one. Returns empty text on success, else what could not be made.
std::string PrepareProgramFolder(const ProgramFolders& folders);

// FindProgramFolders, then PrepareProgramFolder; the desktop program starts with this. When the
// per-user folder cannot be made at all, the program runs from the shipped folder (its settings
// then last only for the run) and `problem` says why.
ProgramFolders OpenProgramFolder(const ProgramEnvironment& environment);
ProgramFolders OpenProgramFolder();

}  // namespace qm
