// .xlsx and .xlsm: the package relationships lead to the workbook part, its sheets, the shared
// strings and the styles; cells come from the sheet parts with their cached values (formulas are
// never evaluated) and the number format of their cell style.

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <future>
#include <map>

#include "common/large_memory.h"
#include "data/format/calendar.h"
#include "data/sheets/readers.h"
#include "data/sheets/sheet_builder.h"
#include "data/sheets/xml_scanner.h"
#include "data/sheets/zip_package.h"

namespace qm::sheets {
namespace {

using Event = XmlScanner::Event;

struct Relationship {
    std::string type;
    std::string target;  // resolved to a part name without a leading "/"
};

// "worksheets/sheet1.xml" from "xl/" -> "xl/worksheets/sheet1.xml"; "/xl/x.xml" -> "xl/x.xml";
// "../a.xml" from "xl/b/" -> "xl/a.xml".
std::string ResolvePart(const std::string& folder, std::string_view target) {
    std::string path = target.starts_with('/') ? std::string(target.substr(1)) : folder + std::string(target);
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t slash = path.find('/', start);
        const std::string part =
            path.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        if (slash == std::string::npos) break;
        start = slash + 1;
    }
    std::string out;
    for (const std::string& p : parts) out += (out.empty() ? "" : "/") + p;
    return out;
}

std::string FolderOf(const std::string& part) {
    const std::size_t slash = part.rfind('/');
    return slash == std::string::npos ? std::string() : part.substr(0, slash + 1);
}

std::string RelsOf(const std::string& part) {
    const std::size_t slash = part.rfind('/');
    return slash == std::string::npos
               ? "_rels/" + part + ".rels"
               : part.substr(0, slash + 1) + "_rels/" + part.substr(slash + 1) + ".rels";
}

bool TypeIs(const std::string& type, std::string_view tail) {
    return type.size() >= tail.size() && type.compare(type.size() - tail.size(), tail.size(), tail) == 0;
}

std::map<std::string, Relationship> ReadRelationships(const ZipPackage& zip, const std::string& part) {
    std::map<std::string, Relationship> rels;
    std::string xml;
    if (zip.read(RelsOf(part), xml, std::size_t{16} << 20) != ZipPackage::ReadStatus::Ok) return rels;
    XmlScanner scan(xml);
    const std::string folder = FolderOf(part);
    std::string id, type, target, mode;
    for (Event e; (e = scan.next()) != Event::End && e != Event::Error;) {
        if (e != Event::StartTag || scan.name() != "Relationship") continue;
        if (!scan.attribute("Id", id) || !scan.attribute("Target", target)) continue;
        scan.attribute("Type", type);
        if (scan.attribute("TargetMode", mode) && mode == "External") continue;
        rels[id] = Relationship{type, ResolvePart(folder, target)};
    }
    return rels;
}

bool ParseUnsigned(std::string_view text, std::size_t& value) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

// "B12" -> row 11, column 1. false for anything else.
bool ParseReference(std::string_view ref, std::size_t& row, std::size_t& column) {
    std::size_t i = 0, col = 0;
    while (i < ref.size() && ((ref[i] >= 'A' && ref[i] <= 'Z') || (ref[i] >= 'a' && ref[i] <= 'z'))) {
        const char c = static_cast<char>(ref[i] & ~0x20);
        col = col * 26 + static_cast<std::size_t>(c - 'A' + 1);
        if (col > 16384 || ++i > 3) return false;
    }
    std::size_t r = 0;
    if (i == 0 || !ParseUnsigned(ref.substr(i), r) || r == 0 || r > xls::kMaxRows) return false;
    row = r - 1;
    column = col - 1;
    return true;
}

// Texts of the package may hold _xHHHH_ for characters XML cannot carry (a carriage return is
// _x000D_); a literal "_x" followed by hex is itself escaped as _x005F_.
void DecodeEscapes(std::string& text) {
    if (text.find("_x") == std::string::npos) return;
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '_' && i + 6 < text.size() && text[i + 1] == 'x' && text[i + 6] == '_') {
            unsigned long cp = 0;
            bool ok = true;
            for (std::size_t k = i + 2; k < i + 6 && ok; ++k) {
                const char c = text[k];
                const int d = c >= '0' && c <= '9'   ? c - '0'
                              : c >= 'a' && c <= 'f' ? c - 'a' + 10
                              : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                     : -1;
                ok = d >= 0;
                cp = cp * 16 + static_cast<unsigned long>(d < 0 ? 0 : d);
            }
            if (ok) {
                AppendUtf8(out, cp);
                i += 6;
                continue;
            }
        }
        out += text[i];
    }
    text = std::move(out);
}

// The text of a string item (<si> or <is>): its <t> elements, without phonetic runs (<rPh>).
bool ReadStringItem(XmlScanner& scan, std::string& out) {
    out.clear();
    int phonetic = 0;
    bool inText = false;
    while (true) {
        switch (scan.next()) {
            case Event::StartTag:
                if (scan.selfClosing()) break;
                if (scan.name() == "rPh")
                    ++phonetic;
                else if (scan.name() == "t")
                    inText = phonetic == 0;
                break;
            case Event::EndTag:
                if (scan.name() == "rPh")
                    --phonetic;
                else if (scan.name() == "t")
                    inText = false;
                else if (scan.name() == "si" || scan.name() == "is") {
                    DecodeEscapes(out);
                    return true;
                }
                break;
            case Event::Text:
                if (inText) scan.appendText(out);
                break;
            case Event::End:
            case Event::Error:
                return false;
        }
    }
}

// A sheet's data is parsed once this much of it has been inflated, as far as its last whole row.
constexpr std::size_t kSheetSlice = std::size_t{4} << 20;

// Most cells hold just a value, "<v>123</v></c>", read at once; anything else (a formula, an
// inline string, an entity, a prefix) is read tag by tag.
bool QuickValue(XmlScanner& scan, std::string& value) {
    return scan.plainContent("<v>", "</v></c>", 64, "", value);
}

// Most string items are one plain text, "<t>名字</t></si>", read at once; anything else (runs,
// phonetic texts, entities, escapes, a prefix) is read tag by tag.
bool QuickItem(XmlScanner& scan, std::string& text) {
    return scan.plainContent("<t>", "</t></si>", 256, "_", text);
}

class XlsxReader {
  public:
    explicit XlsxReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    ReadOutcome read() {
        ReadOutcome out;
        if (!zip_.open(bytes_)) return fail("damaged: not a readable zip archive");
        std::string workbookPart = "xl/workbook.xml";
        for (const auto& [id, rel] : ReadRelationships(zip_, "")) {
            (void)id;
            if (TypeIs(rel.type, "/officeDocument")) workbookPart = rel.target;
        }
        std::string xml;
        switch (zip_.read(workbookPart, xml, std::size_t{64} << 20)) {
            case ZipPackage::ReadStatus::Ok:
                break;
            case ZipPackage::ReadStatus::Missing:
                return fail("the archive holds no workbook");
            case ZipPackage::ReadStatus::TooLarge:
                return fail("too large: the workbook part");
            case ZipPackage::ReadStatus::Damaged:
                return fail("damaged: the workbook part cannot be inflated");
            case ZipPackage::ReadStatus::Doctype:
                return fail("damaged: the workbook part declares a DOCTYPE");
        }
        struct SheetRef {
            std::string name, relId;
        };
        std::vector<SheetRef> refs;
        {
            XmlScanner scan(xml);
            std::string value;
            for (Event e; (e = scan.next()) != Event::End;) {
                if (e == Event::Error) return fail("damaged: the workbook part is not well-formed");
                if (e != Event::StartTag) continue;
                if (scan.name() == "workbookPr" && scan.attribute("date1904", value))
                    date1904_ = value == "1" || value == "true";
                if (scan.name() == "sheet") {
                    SheetRef ref;
                    scan.attribute("name", ref.name);
                    scan.attribute("id", ref.relId);
                    refs.push_back(std::move(ref));
                }
            }
        }
        const auto rels = ReadRelationships(zip_, workbookPart);
        for (const auto& [id, rel] : rels) {
            (void)id;
            if (TypeIs(rel.type, "/styles")) stylesPart_ = rel.target;
            if (TypeIs(rel.type, "/sharedStrings")) stringsPart_ = rel.target;
        }
        if (!readStyles()) return std::move(outcome_);
        // The shared strings are read beside the sheets: cells keep their string index, and the
        // indexes that the table does not hold are dropped once both are done.
        std::future<StringsResult> strings;
        if (!stringsPart_.empty() && zip_.has(stringsPart_))
            strings = std::async(std::launch::async, ReadSharedStrings, bytes_, stringsPart_);

        auto workbook = std::make_unique<xls::Workbook>();
        workbook->sheets.reserve(refs.size());
        bool sheetsRead = true;
        for (const SheetRef& ref : refs) {
            xls::Sheet sheet;
            sheet.name = ref.name;
            auto rel = rels.find(ref.relId);
            const std::string type = rel == rels.end() ? std::string() : rel->second.type;
            sheet.kind = TypeIs(type, "/worksheet")    ? xls::SheetKind::Worksheet
                         : TypeIs(type, "/chartsheet") ? xls::SheetKind::Chart
                         : TypeIs(type, "/xlMacrosheet") || TypeIs(type, "/xlIntlMacrosheet")
                             ? xls::SheetKind::Macro
                             : xls::SheetKind::Other;
            if (sheet.kind == xls::SheetKind::Worksheet && !readSheet(rel->second.target, sheet)) {
                sheetsRead = false;
                break;
            }
            workbook->sheets.push_back(std::move(sheet));
        }
        std::shared_ptr<const xls::StringPool> pool = std::make_shared<xls::StringPool>();
        if (strings.valid()) {
            StringsResult result = strings.get();
            if (!result.pool && sheetsRead) return fail(result.problem);
            if (result.pool) pool = std::move(result.pool);
        }
        if (!sheetsRead) return std::move(outcome_);
        // A cell that names a shared string the workbook does not have would read as empty: a
        // title or a value lost without a word.
        if (sharedUsed_ > pool->size())
            return fail("damaged: a cell refers to shared string " + std::to_string(sharedUsed_ - 1) +
                        " of " + std::to_string(pool->size()));
        for (xls::Sheet& sheet : workbook->sheets) {
            xls::Sheet::Impl& impl = sheet.impl();
            impl.shared = pool;
            impl.formats = formats_;
            impl.date1904 = date1904_;
            impl.finish();
        }
        out.workbook = std::move(workbook);
        return out;
    }

  private:
    ReadOutcome fail(std::string why) {
        ReadOutcome out;
        out.problem = std::move(why);
        return out;
    }
    bool failed(std::string why) {
        outcome_.problem = std::move(why);
        return false;
    }

    bool readPart(const std::string& part, std::string& xml, std::string_view what) {
        return readOk(zip_.read(part, xml), what);
    }

    // True for a part that was read; otherwise the outcome says why, naming the part as `what`.
    bool readOk(ZipPackage::ReadStatus status, std::string_view what) {
        switch (status) {
            case ZipPackage::ReadStatus::Ok:
                return true;
            case ZipPackage::ReadStatus::Missing:
                return failed("damaged: " + std::string(what) + " is missing");
            case ZipPackage::ReadStatus::TooLarge:
                return failed("too large: " + std::string(what));
            case ZipPackage::ReadStatus::Damaged:
                return failed("damaged: " + std::string(what) + " cannot be inflated");
            case ZipPackage::ReadStatus::Doctype:
                return failed("damaged: " + std::string(what) + " declares a DOCTYPE");
        }
        return false;
    }

    bool readStyles() {
        auto table = std::make_shared<xls::FormatTable>();
        formats_ = table;
        if (stylesPart_.empty() || !zip_.has(stylesPart_)) return true;
        std::string xml;
        if (!readPart(stylesPart_, xml, "the styles part")) return false;
        std::map<std::size_t, std::string> codes;
        XmlScanner scan(xml);
        bool inCellXfs = false;
        std::string value;
        std::map<std::size_t, std::uint16_t> byId;
        for (Event e; (e = scan.next()) != Event::End;) {
            if (e == Event::Error) return failed("damaged: the styles part is not well-formed");
            if (e == Event::EndTag && scan.name() == "cellXfs") inCellXfs = false;
            if (e != Event::StartTag) continue;
            if (scan.name() == "numFmt") {
                std::size_t id;
                std::string_view raw;
                if (scan.rawAttribute("numFmtId", raw) && ParseUnsigned(raw, id) &&
                    scan.attribute("formatCode", value))
                    codes[id] = value;
            } else if (scan.name() == "cellXfs") {
                inCellXfs = !scan.selfClosing();
            } else if (scan.name() == "xf" && inCellXfs) {
                std::size_t id = 0;
                std::string_view raw;
                if (!scan.rawAttribute("numFmtId", raw) || !ParseUnsigned(raw, id)) id = 0;
                auto hit = byId.find(id);
                if (hit == byId.end()) {
                    auto code = codes.find(id);
                    const std::string* stored = code == codes.end() ? nullptr : &code->second;
                    const unsigned key = id < 164 ? static_cast<unsigned>(id) : 164;  // 164 on: custom
                    hit = byId.emplace(id, table->addId(key, stored)).first;
                }
                xfFormats_.push_back(hit->second);
            }
        }
        return true;
    }

    struct StringsResult {
        std::shared_ptr<const xls::StringPool> pool;  // null when unreadable
        std::string problem;
    };

    // Runs on its own thread with its own view of the archive (an archive handle is not shared
    // between threads).
    static StringsResult ReadSharedStrings(std::span<const std::uint8_t> bytes, std::string part) {
        StringsResult result;
        try {
            ZipPackage zip;
            if (!zip.open(bytes)) {
                result.problem = "damaged: not a readable zip archive";
                return result;
            }
            auto pool = std::make_shared<xls::StringPool>();
            // The texts take at most the part's size. Room for them is taken at once, so that
            // they are never copied as they grow; pages that stay unwritten take no memory.
            const std::size_t room =
                std::min({zip.statedSize(part), SlicedPartLimit(bytes.size()), std::size_t{UINT32_MAX},
                          static_cast<std::size_t>(MachineMemory() / 2)});
            pool->reserve(0, room);
            std::string text;
            std::string problem;
            // The items of a stretch of the part that ends after an item (or is the rest).
            const auto items = [&](std::string_view stretch) {
                XmlScanner scan(stretch);
                for (Event e; (e = scan.next()) != Event::End;) {
                    if (e == Event::Error)
                        return problem = "damaged: the shared strings are not well-formed", false;
                    if (e == Event::StartTag && scan.name() == "sst") {
                        // As many items as it says, within what the part's size can hold.
                        std::string_view raw;
                        std::size_t count = 0;
                        if (scan.rawAttribute("uniqueCount", raw) && ParseUnsigned(raw, count))
                            pool->reserve(std::min(count, room / 5), room);
                    } else if (e == Event::StartTag && scan.name() == "si") {
                        if (scan.selfClosing())
                            text.clear();
                        else if (!QuickItem(scan, text) && !ReadStringItem(scan, text))
                            return problem = "damaged: the shared strings are not well-formed", false;
                        std::uint32_t index;
                        if (!pool->add(text, index)) return problem = "too large: the shared strings", false;
                    }
                }
                return true;
            };
            // Read in slices of whole items as it is inflated, as a sheet's data is.
            std::string pending;
            const ZipPackage::ReadStatus status =
                zip.stream(part, SlicedPartLimit(bytes.size()), [&](std::string_view slice) {
                    pending.append(slice);
                    if (pending.size() < kSheetSlice) return true;
                    const std::size_t end = EndOfLastElement(pending, "si");
                    if (end == 0) return true;
                    const bool ok = items(std::string_view(pending).substr(0, end));
                    pending.erase(0, end);
                    return ok;
                });
            switch (status) {
                case ZipPackage::ReadStatus::Ok:
                    break;
                case ZipPackage::ReadStatus::Missing:
                    return result.pool = std::make_shared<xls::StringPool>(), result;
                case ZipPackage::ReadStatus::TooLarge:
                    return result.problem = "too large: the shared strings", result;
                case ZipPackage::ReadStatus::Damaged:
                    return result.problem = "damaged: the shared strings cannot be inflated", result;
                case ZipPackage::ReadStatus::Doctype:
                    return result.problem = "damaged: the shared strings declare a DOCTYPE", result;
            }
            if (!problem.empty() || !items(pending)) return result.problem = problem, result;
            result.pool = std::move(pool);
        } catch (...) {
            result.pool.reset();
            result.problem = "too large: out of memory";
        }
        return result;
    }

    std::uint16_t formatOf(std::size_t xf) const { return xf < xfFormats_.size() ? xfFormats_[xf] : 0; }

    // Where the cells of a sheet have got to, from one slice of its rows to the next.
    struct RowState {
        std::size_t row = 0, column = 0;
        bool rowSeen = false, columnSeen = false;
        std::string value, inlineText;
    };

    // A sheet's data is read in slices of whole rows as it is inflated, so that a sheet of any
    // size takes the memory of its cells, not of its XML as well.
    bool readSheet(const std::string& part, xls::Sheet& sheet) {
        SheetBuilder build(sheet, cellCount_);
        RowState state;
        bool parsed = true;
        const std::string what = "sheet \"" + sheet.name + "\"";
        // Inflated on a thread of its own a few stretches ahead, and cut there after a row: the
        // parse and the inflation each take about half the time.
        const ZipPackage::ReadStatus status = ZipPackage::StreamAhead(
            bytes_, part, SlicedPartLimit(bytes_.size()), kSheetSlice,
            [](std::string_view xml) { return EndOfLastElement(xml, "row"); },
            [&](std::string_view stretch, bool) { return parsed = readRows(stretch, sheet, build, state); });
        return readOk(status, what) && parsed;
    }

    // The cells of `xml`, a stretch of a sheet's data that ends after a row (or is the rest).
    bool readRows(std::string_view xml, xls::Sheet& sheet, SheetBuilder& build, RowState& state) {
        XmlScanner scan(xml);
        std::size_t& row = state.row;
        std::size_t& column = state.column;
        bool& rowSeen = state.rowSeen;
        bool& columnSeen = state.columnSeen;
        std::string& value = state.value;
        std::string& inlineText = state.inlineText;
        const std::string damaged = "damaged: sheet \"" + sheet.name + "\" is not well-formed";
        for (Event e; (e = scan.next()) != Event::End;) {
            if (e == Event::Error) return failed(damaged);
            if (e != Event::StartTag) continue;
            const std::string_view tag = scan.name();
            std::string_view raw;
            if (tag == "row") {
                std::size_t r;
                if (scan.rawAttribute("r", raw) && ParseUnsigned(raw, r) && r >= 1)
                    row = r - 1;
                else if (rowSeen)
                    ++row;
                rowSeen = true;
                columnSeen = false;
                continue;
            }
            if (tag == "dimension") {
                // "A1:T1048575": the cells the sheet spans, room for which is taken at once.
                std::string_view ref;
                std::size_t lastRow = 0, lastColumn = 0;
                if (scan.rawAttribute("ref", ref) && ref.find(':') != std::string_view::npos &&
                    ParseReference(ref.substr(ref.find(':') + 1), lastRow, lastColumn) &&
                    lastRow < kMaxCells && lastColumn < 16384)
                    build.reserve((lastRow + 1) * (lastColumn + 1));
                continue;
            }
            if (tag != "c") continue;
            // The reference, style and type, in one pass over the attributes (the first of each
            // counts). They point into `xml`, which outlives the loop.
            std::string_view reference, style, cellType = "n";
            bool hasReference = false, hasStyle = false, hasType = false;
            {
                std::string_view name, value;
                for (std::size_t at = 0; scan.nextAttribute(at, name, value);) {
                    if (name == "r" && !hasReference)
                        reference = value, hasReference = true;
                    else if (name == "s" && !hasStyle)
                        style = value, hasStyle = true;
                    else if (name == "t" && !hasType)
                        cellType = value, hasType = true;
                }
            }
            std::size_t r = row, c = columnSeen ? column + 1 : 0;
            if (hasReference && !ParseReference(reference, r, c))
                return failed(damaged + ": a bad cell reference");
            // Cells without a reference count on from the last one; past the last column a sheet
            // can have is damage, not a value to drop.
            if (c >= 16384)
                return failed("damaged: sheet \"" + sheet.name + "\" has a cell beyond column 16,384");
            row = r;
            column = c;
            columnSeen = rowSeen = true;
            std::size_t xf = 0;
            if (hasStyle && !ParseUnsigned(style, xf)) xf = 0;
            if (scan.selfClosing()) continue;
            value.clear();
            inlineText.clear();
            bool hasValue = QuickValue(scan, value);
            // The cell's children: <f> (ignored), <v>, <is>.
            for (bool open = !hasValue; open;) {
                switch (scan.next()) {
                    case Event::StartTag:
                        if (scan.name() == "v" && !scan.selfClosing()) {
                            hasValue = true;
                            for (Event v; (v = scan.next()) != Event::EndTag;) {
                                if (v == Event::Text)
                                    scan.appendText(value);
                                else
                                    return failed(damaged);
                            }
                        } else if (scan.name() == "is" && !scan.selfClosing()) {
                            if (!ReadStringItem(scan, inlineText)) return failed(damaged);
                        } else if (!scan.skipElement()) {
                            return failed(damaged);
                        }
                        break;
                    case Event::EndTag:
                        open = false;
                        break;
                    case Event::Text:
                        break;
                    case Event::End:
                    case Event::Error:
                        return failed(damaged);
                }
            }
            const std::uint16_t format = formatOf(xf);
            bool ok = true;
            if (cellType == "s") {
                std::size_t index;
                if (hasValue && ParseUnsigned(value, index) && index <= UINT32_MAX) {
                    ok = build.sharedText(r, c, static_cast<std::uint32_t>(index), format);
                    sharedUsed_ = std::max(sharedUsed_, index + 1);
                }
            } else if (cellType == "inlineStr") {
                ok = build.text(r, c, inlineText, format);
            } else if (cellType == "str") {
                DecodeEscapes(value);
                ok = build.text(r, c, value, format);
            } else if (cellType == "b") {
                if (hasValue) ok = build.boolean(r, c, value == "1" || value == "true", format);
            } else if (cellType == "e") {
                if (hasValue) ok = build.error(r, c, xls::ErrorCode(value), format);
            } else if (cellType == "d") {
                double serial;
                if (hasValue && format::IsoDateToSerial(value, date1904_, serial))
                    ok = build.number(r, c, serial, format);
            } else if (hasValue && !value.empty()) {
                char* end = nullptr;
                const double number = std::strtod(value.c_str(), &end);
                if (end != value.c_str() && std::isfinite(number)) ok = build.number(r, c, number, format);
            }
            if (!ok) return failed(build.problem());
        }
        return true;
    }

    std::span<const std::uint8_t> bytes_;
    ZipPackage zip_;
    bool date1904_ = false;
    std::string stylesPart_, stringsPart_;
    std::vector<std::uint16_t> xfFormats_;
    std::shared_ptr<xls::FormatTable> formats_;
    std::size_t sharedUsed_ = 0;  // one past the highest shared string index a cell names
    std::size_t cellCount_ = 0;
    ReadOutcome outcome_;
};

}  // namespace

ReadOutcome ReadXlsx(std::span<const std::uint8_t> bytes) {
    try {
        return XlsxReader(bytes).read();
    } catch (const std::bad_alloc&) {
        ReadOutcome out;
        out.problem = "too large: out of memory";
        return out;
    } catch (...) {
        ReadOutcome out;
        out.problem = "damaged: unreadable";
        return out;
    }
}

}  // namespace qm::sheets
