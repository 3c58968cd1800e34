#include "data/names.h"

namespace qm::data {
namespace {

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

bool IsAsciiPunctuation(char c) {
    return (c >= '!' && c <= '/') || (c >= ':' && c <= '@') || (c >= '[' && c <= '`') ||
           (c >= '{' && c <= '~');
}

constexpr std::string_view kJetPrefix = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=";
constexpr std::string_view kJetProperties = ";Extended Properties=";

}  // namespace

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    return true;
}

bool StartsWithIgnoringAsciiCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualsIgnoringAsciiCase(text.substr(0, prefix.size()), prefix);
}

std::size_t FindIgnoringAsciiCase(std::string_view text, std::string_view needle, std::size_t from) {
    if (needle.size() > text.size()) return std::string_view::npos;
    for (std::size_t i = from; i + needle.size() <= text.size(); ++i)
        if (EqualsIgnoringAsciiCase(text.substr(i, needle.size()), needle)) return i;
    return std::string_view::npos;
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

std::string JetTableName(std::string_view sheetName) {
    bool quote = false;
    for (char c : sheetName)
        if ((IsBlank(c) || IsAsciiPunctuation(c)) && c != '_') quote = true;
    if (!quote) return std::string(sheetName) + "$";
    std::string out = "'";
    for (char c : sheetName) {
        out += c;
        if (c == '\'') out += '\'';
    }
    out += "$'";
    return out;
}

ConnectionTarget ParseConnection(std::string_view connection) {
    ConnectionTarget target;
    if (StartsWithIgnoringAsciiCase(connection, kJetPrefix)) {
        std::string_view rest = connection.substr(kJetPrefix.size());
        // The properties come last; the file may itself hold ";", so take the last occurrence.
        std::size_t end = std::string_view::npos;
        for (std::size_t p = FindIgnoringAsciiCase(rest, kJetProperties); p != std::string_view::npos;
             p = FindIgnoringAsciiCase(rest, kJetProperties, p + 1))
            end = p;
        target.file = std::string(rest.substr(0, end));
        if (!target.file.empty()) target.kind = ConnectionTarget::Workbook;
        return target;
    }
    if (StartsWithIgnoringAsciiCase(connection, "DRIVER=")) {
        const std::size_t dbq = FindIgnoringAsciiCase(connection, ";DBQ=");
        if (dbq == std::string_view::npos) return target;
        const std::string_view head = connection.substr(0, dbq);
        const std::size_t driverEnd = head.find(';');
        if (FindIgnoringAsciiCase(head.substr(0, driverEnd), "Microsoft Access") == std::string_view::npos)
            return target;
        const std::size_t ro = FindIgnoringAsciiCase(head, ";ReadOnly=");
        if (ro != std::string_view::npos) {
            std::string_view value = head.substr(ro + 10);
            value = value.substr(0, value.find(';'));
            target.readOnly = EqualsIgnoringAsciiCase(TrimBlanks(value), "True") || TrimBlanks(value) == "1";
        }
        target.file = std::string(connection.substr(dbq + 5));
        if (!target.file.empty()) target.kind = ConnectionTarget::Database;
    }
    return target;
}

}  // namespace qm::data
