#pragma once
// What independent tools read in a document the program or the office made: the tests compare
// it with what the template and the rows say the document must hold.

#include <string>

namespace qm::test {

// The text of a .doc file as catdoc reads it, in UTF-8; "" when catdoc fails.
std::string CatdocText(const std::string& path);
// The text of a PDF file as pdftotext reads it, in UTF-8, pages parted by form feeds; "" when
// pdftotext fails.
std::string PdfText(const std::string& path);
// The page count pdfinfo reads; -1 when it cannot read the file.
int PdfPages(const std::string& path);
// One member of a zip container (.docx, .odt) as text; "" when the file or member is missing.
std::string ZipMember(const std::string& path, const std::string& member);

// The text of a .doc, .docx, .odt or .pdf file with its line breaks and spaces taken out, so a
// value reads as one piece however the document was laid out. A .doc is read with antiword,
// which follows the piece table of the documents this program makes, or with catdoc where
// antiword reads nothing (it refuses the small files the office writes); a package's main part
// is read without its markup. "" when the file cannot be read.
std::string FlatText(const std::string& path);

}  // namespace qm::test
