#include "tests/support/document_text.h"

#include "tests/support/command.h"

namespace qm::test {

namespace {

std::string OutputOf(const std::string& command) {
    CommandResult r = RunCommand(command);
    return r.status == 0 ? std::move(r.out) : std::string();
}

}  // namespace

std::string CatdocText(const std::string& path) {
    return OutputOf("catdoc -d utf-8 " + ShellQuote(path));
}

std::string PdfText(const std::string& path) {
    return OutputOf("pdftotext -enc UTF-8 " + ShellQuote(path) + " -");
}

int PdfPages(const std::string& path) {
    const std::string info = "\n" + OutputOf("pdfinfo " + ShellQuote(path));
    const std::size_t at = info.find("\nPages:");
    if (at == std::string::npos) return -1;
    try {
        return std::stoi(info.substr(at + 7));
    } catch (...) {
        return -1;
    }
}

std::string ZipMember(const std::string& path, const std::string& member) {
    return OutputOf(
        "/usr/bin/python3 -c 'import sys, zipfile; "
        "sys.stdout.write(zipfile.ZipFile(sys.argv[1]).read(sys.argv[2]).decode())' " +
        ShellQuote(path) + " " + ShellQuote(member));
}

std::string FlatText(const std::string& path) {
    std::string text;
    if (path.ends_with(".pdf")) {
        text = PdfText(path);
    } else if (path.ends_with(".doc")) {
        text = OutputOf("antiword -w 0 -m UTF-8.txt " + ShellQuote(path));
        if (text.find_first_not_of(" \n") == std::string::npos) text = CatdocText(path);
    } else {
        const std::string xml =
            ZipMember(path, path.ends_with(".docx") ? "word/document.xml" : "content.xml");
        bool inTag = false;
        for (char c : xml) {
            if (c == '<') inTag = true;
            if (!inTag) text += c;
            if (c == '>') inTag = false;
        }
    }
    std::string flat;
    for (char c : text)
        if (c != '\n' && c != ' ') flat += c;
    return flat;
}

}  // namespace qm::test
