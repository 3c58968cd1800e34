#pragma once
// Names of the files of a save run taken from a column of the sheet (合同_张三.doc instead of
// 合同3.doc), and the confirmation texts that list them before the run.

#include <cstddef>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

// The most a file name may take on the file systems the documents go to.
inline constexpr std::size_t kMaxFileNameBytes = 255;

// A cell value made fit to stand in a file name: blanks (also full-width ones) at both ends are
// dropped; bytes that are not valid UTF-8, control characters, "/", the characters other systems
// refuse in names (\ : * ? " < > |) and the invisible direction marks that can make a name read
// backwards each become "_". "" stays "".
std::string FileNamePart(std::string_view value);

// The longest start of `text` of at most `bytes` bytes that does not split a UTF-8 character.
std::string CutUtf8(std::string_view text, std::size_t bytes);

// Gives the documents of one run their file names (without folder), never the same name twice:
// a name given before in the run (letter case aside, as some file systems see it) gets "(2)",
// "(3)", ... before the extension, so no document of the run overwrites another.
class DocumentNamer {
  public:
    // `extension` with its dot: ".doc".
    DocumentNamer(std::string reference, std::string extension);

    // The next document's name: reference + "_" + FileNamePart(value) + extension (the part alone
    // when the reference is empty, with a leading "-" or "." made "_"), or reference + number +
    // extension, as without a name column, when the part is empty. Cut to kMaxFileNameBytes.
    std::string Next(std::string_view value, int number);

    int numbered() const { return numbered_; }  // names that fell back to the number
    int renamed() const { return renamed_; }    // names that got "(n)"

  private:
    std::string Claim(const std::string& stem);

    std::string reference_;
    std::string extension_;
    std::set<std::string> taken_;  // given names, ASCII letters folded to lower case
    int numbered_ = 0;
    int renamed_ = 0;
};

struct NamePlan {
    std::vector<std::string> names;  // one per document, in order, without folder
    int numbered = 0;                // of them named by their number (empty value)
    int renamed = 0;                 // of them given "(n)" after a name taken before
};

// The confirmation before a save run whose files are named from a column: the folder, the
// count, the names (all up to eight, else the first five, "……" and the last) and what was done
// to empty and repeated values.
std::string NamedConfirmationText(std::string_view folder, const NamePlan& plan);

// The confirmation before a save run whose files are numbered, naming `names` (one per document,
// in order): "文件名命名为：" the first, then for two names the last, for three all three, for
// more the second, "……" and the last; a single name stands alone. That shape tells numbers that
// follow each other; when they do not (`consecutive` false: rows chosen by a filter keep their
// sheet numbers), the names are listed as NamedConfirmationText lists them, with their count.
std::string NumberedConfirmationText(std::string_view folder, const std::vector<std::string>& names,
                                     bool consecutive);

// The confirmation before a save run that writes one PDF of all `documents` documents.
std::string SingleFileConfirmationText(std::string_view folder, std::string_view fileName, int documents);

// The line after a confirmation that names the naming rule in force, which is kept from run to
// run: "　　命名规则：参考名加序号。", "…参考名加“姓名”列的值。" or "…全部文档合为一个PDF文件。".
std::string NamingRuleLine(std::string_view nameColumn, bool singleFile);

}  // namespace qm
