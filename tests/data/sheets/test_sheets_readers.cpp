// The .xlsx, .ods and .csv readers on files shaped the way other writers shape them, and on the
// bad files each must refuse with a reason instead of crashing or hanging.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data/model/workbook.h"
#include "data/sheets/readers.h"
#include "data/workbook_file.h"
#include "tests/word/engine/store_zip.h"

namespace qm::sheets {
namespace {

std::string Fixture(const std::string& name) {
    return std::string(QM_SHEET_FIXTURES) + "/" + name;
}

data::WorkbookLoad Load(const std::string& name) {
    return data::LoadWorkbook(Fixture(name));
}

// "raw|shown" of every cell of a row, for compact expectations.
std::vector<std::string> Row(const xls::Sheet& sheet, std::size_t row) {
    std::vector<std::string> out;
    for (std::size_t c = 0; c < sheet.columnCount(); ++c)
        out.push_back(sheet.cell(row, c) + "|" + sheet.shownCell(row, c));
    return out;
}

TEST(XlsxReader, ReadsWhatOtherWritersWrite) {
    const auto load = Load("odd.xlsx");
    ASSERT_TRUE(load.workbook) << load.problem;
    const auto& sheets = load.workbook->sheets;
    ASSERT_EQ(sheets.size(), 3u);
    EXPECT_EQ(sheets[1].name, "Chart1");
    EXPECT_EQ(sheets[1].kind, xls::SheetKind::Chart);
    EXPECT_EQ(sheets[2].name, "Hidden");  // hidden sheets are tables too, as in .xls
    EXPECT_EQ(sheets[2].cell(0, 0), "secret");

    const xls::Sheet& data = sheets[0];
    EXPECT_EQ(data.rowCount(), 4u);
    // Runs are joined; the phonetic guide of 山田 is not part of its text.
    EXPECT_EQ(Row(data, 0),
              (std::vector<std::string>{"Name|Name", "Code|Code", "When|When", "Flag|Flag", "Err|Err"}));
    EXPECT_EQ(Row(data, 1), (std::vector<std::string>{"山田|山田", "7|No.007", "2024-03-05|2024/3/5",
                                                      "TRUE|TRUE", "|#DIV/0!"}));
    // Cached formula results; _x000D_ is a carriage return; entities decoded; spaces kept.
    EXPECT_EQ(data.cell(3, 0), "a\rb <c>");
    EXPECT_EQ(data.cell(3, 1), " 001234 ");
    EXPECT_EQ(data.cell(3, 2), "");  // a styled cell without a value
    EXPECT_EQ(data.cell(3, 3), "FALSE");
    EXPECT_EQ(data.cell(3, 4), "2");
}

// A package of one sheet, its data and shared strings as given.
std::vector<std::uint8_t> OneSheetXlsx(const std::string& sheetXml, const std::string& stringsXml) {
    static const std::string kTypes =
        "<?xml version=\"1.0\"?><Types "
        "xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
        "<Override PartName=\"/xl/workbook.xml\" ContentType=\"application/"
        "vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/></Types>";
    static const std::string kRels =
        "<?xml version=\"1.0\"?><Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/"
        "relationships\"><Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/"
        "2006/relationships/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>";
    static const std::string kWorkbook =
        "<?xml version=\"1.0\"?><workbook "
        "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
        "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"><sheets>"
        "<sheet name=\"Big\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>";
    static const std::string kWorkbookRels =
        "<?xml version=\"1.0\"?><Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/"
        "relationships\"><Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/"
        "2006/relationships/worksheet\" Target=\"worksheets/sheet1.xml\"/><Relationship Id=\"rId2\" "
        "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings\" "
        "Target=\"sharedStrings.xml\"/></Relationships>";
    return test::StoreZip({{"[Content_Types].xml", kTypes},
                           {"_rels/.rels", kRels},
                           {"xl/workbook.xml", kWorkbook},
                           {"xl/_rels/workbook.xml.rels", kWorkbookRels},
                           {"xl/worksheets/sheet1.xml", sheetXml},
                           {"xl/sharedStrings.xml", stringsXml}});
}

// A sheet far larger than the stretch read at a time, its rows and strings cut between stretches
// anywhere, with prefixed tags as some writers write them: every cell is where it belongs. A
// DOCTYPE late in the part is still found, and a CDATA section that holds "</row>" is text.
TEST(XlsxReader, ASheetReadInStretchesHoldsEveryCell) {
    const std::size_t rows = 120000;
    std::string sheet =
        "<?xml version=\"1.0\"?><x:worksheet xmlns:x=\"http://schemas.openxmlformats.org/spreadsheetml/2006/"
        "main\"><x:sheetData>";
    std::string strings =
        "<?xml version=\"1.0\"?><sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">";
    for (std::size_t r = 1; r <= rows; ++r) {
        const std::string n = std::to_string(r);
        sheet += "<x:row r=\"" + n + "\"><x:c r=\"A" + n + "\" t=\"s\"><x:v>" + std::to_string(r - 1) +
                 "</x:v></x:c><x:c r=\"B" + n + "\"><x:v>" + n + ".5</x:v></x:c><x:c r=\"C" + n +
                 "\" t=\"inlineStr\"><x:is><x:t>行" + n + " &lt;row&gt;</x:t></x:is></x:c></x:row>";
        strings += "<si><t>第" + n + "个名字，写得长一些以便共享字符串也跨过好几段</t></si>";
    }
    sheet += "<x:row r=\"" + std::to_string(rows + 1) +
             "\"><x:c t=\"inlineStr\"><x:is><x:t><![CDATA[a</x:row>b]]></x:t></x:is></x:c></x:row>";
    sheet += "</x:sheetData></x:worksheet>";
    strings += "</sst>";
    ASSERT_GT(sheet.size(), std::size_t{12} << 20);
    ASSERT_GT(strings.size(), std::size_t{10} << 20);
    const std::vector<std::uint8_t> bytes = OneSheetXlsx(sheet, strings);
    const ReadOutcome read = ReadXlsx(bytes);
    ASSERT_TRUE(read.workbook) << read.problem;
    const xls::Sheet& big = read.workbook->sheets.at(0);
    ASSERT_EQ(big.rowCount(), rows + 1);
    for (std::size_t r = 0; r < rows; ++r) {
        const std::string n = std::to_string(r + 1);
        ASSERT_EQ(big.cell(r, 0), "第" + n + "个名字，写得长一些以便共享字符串也跨过好几段") << r;
        ASSERT_EQ(big.cell(r, 1), n + ".5") << r;
        ASSERT_EQ(big.cell(r, 2), "行" + n + " <row>") << r;
    }
    EXPECT_EQ(big.cell(rows, 0), "a</x:row>b");

    const std::string late = sheet.substr(0, sheet.size() / 2) + "<!DOCTYPE x [<!ENTITY a \"b\">]>" +
                             sheet.substr(sheet.size() / 2);
    EXPECT_EQ(ReadXlsx(OneSheetXlsx(late, strings)).problem, "damaged: sheet \"Big\" declares a DOCTYPE");
}

// Cells and string items in their plain common form and in every other form a writer may give
// them, side by side: each reads as the same value whichever way it is read.
TEST(XlsxReader, PlainAndElaborateCellsReadAlike) {
    const std::string sheet =
        "<?xml version=\"1.0\"?><worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/"
        "main\"><sheetData><row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" t=\"s\"><v>1</v></c>"
        "<c r=\"C1\" t=\"s\"><v>2</v></c><c r=\"D1\" t=\"s\"><v>3</v></c><c r=\"E1\" t=\"s\"><v>4</v></c>"
        "<c r=\"F1\" t=\"str\"><v>x &amp; y</v></c><c r=\"G1\"><v></v></c><c r=\"H1\"><f>1+1</f><v>2</v></c>"
        "<c r=\"I1\"><v>1.5</v></c><c r=\"J1\"><v>7</v><extLst/></c><c r=\"K1\" t=\"s\"><v>5</v></c>"
        "</row></sheetData></worksheet>";
    const std::string strings =
        "<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" count=\"6\" "
        "uniqueCount=\"6\">"
        "<si><t>名字</t></si><si><t>a_x000D_b</t></si><si><t xml:space=\"preserve\"> 空格 </t></si>"
        "<si><r><t>前</t></r><r><t>后</t></r></si><si><t>下_划线 &lt;</t></si><si><t/></si></sst>";
    const ReadOutcome read = ReadXlsx(OneSheetXlsx(sheet, strings));
    ASSERT_TRUE(read.workbook) << read.problem;
    const xls::Sheet& s = read.workbook->sheets.at(0);
    EXPECT_EQ(Row(s, 0), (std::vector<std::string>{"名字|名字", "a\rb|a\rb", " 空格 | 空格 ", "前后|前后",
                                                   "下_划线 <|下_划线 <", "x & y|x & y", "|", "2|2",
                                                   "1.5|1.5", "7|7"}));  // the empty item is no value
}

// A sheet filled down to its last row is read; a value alone in the last row, after empty rows,
// is a sheet formatted to the bottom and refused.
TEST(XlsxReader, TheLastRowIsReadWhenTheRowsAboveReachIt) {
    const auto sheetOf = [](std::initializer_list<std::size_t> rows) {
        std::string xml =
            "<?xml version=\"1.0\"?><worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/"
            "main\"><sheetData>";
        for (const std::size_t r : rows) {
            const std::string n = std::to_string(r);
            xml += "<row r=\"" + n + "\"><c r=\"A" + n + "\"><v>" + n + "</v></c></row>";
        }
        return xml + "</sheetData></worksheet>";
    };
    const std::string strings = "<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"/>";
    const ReadOutcome full = ReadXlsx(OneSheetXlsx(sheetOf({1, 1048575, 1048576}), strings));
    ASSERT_TRUE(full.workbook) << full.problem;
    EXPECT_EQ(full.workbook->sheets.at(0).rowCount(), 1048576u);
    EXPECT_EQ(full.workbook->sheets.at(0).cell(1048575, 0), "1048576");
    EXPECT_EQ(ReadXlsx(OneSheetXlsx(sheetOf({1, 1048576}), strings)).problem,
              "sheet \"Big\" reaches the last row a sheet can have (row 1,048,576) after empty rows");
    EXPECT_EQ(ReadXlsx(OneSheetXlsx(sheetOf({1048576}), strings)).problem.rfind("sheet \"Big\" reaches", 0),
              0u);
}

// A content far larger than the stretch parsed at a time, with a table that begins in one
// stretch and ends in another: every cell of every table is where it belongs. A content cut
// where no stretch can end (a row's end in a comment) is read whole and reads the same; a
// content cut short is damaged.
TEST(OdsReader, AContentReadInStretchesHoldsEveryCellOfEveryTable) {
    const std::size_t rows = 100000;
    const auto content = [&](std::string_view afterRow) {
        std::string xml =
            "<?xml version=\"1.0\"?><office:document-content "
            "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
            "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
            "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\"><office:body><office:spreadsheet>"
            "<table:table table:name=\"大表\"><table:table-column table:number-columns-repeated=\"2\"/>";
        for (std::size_t r = 1; r <= rows; ++r) {
            const std::string n = std::to_string(r);
            xml += "<table:table-row><table:table-cell office:value-type=\"float\" office:value=\"" + n +
                   "\"><text:p>" + n +
                   "</text:p></table:table-cell><table:table-cell office:value-type=\"string\">"
                   "<text:p>行" +
                   n + " &lt;row&gt;</text:p></table:table-cell></table:table-row>";
            xml += afterRow;
        }
        return xml +
               "</table:table><table:table table:name=\"小表\"><table:table-row><table:table-cell "
               "office:value-type=\"string\"><text:p>末</text:p></table:table-cell></table:table-row>"
               "</table:table></office:spreadsheet></office:body></office:document-content>";
    };
    const auto ods = [](const std::string& xml) {
        return test::StoreZip(
            {{"mimetype", "application/vnd.oasis.opendocument.spreadsheet"}, {"content.xml", xml}});
    };
    for (const std::string_view afterRow :
         {std::string_view(), std::string_view("<!-- x</table:table-row> -->")}) {
        SCOPED_TRACE(afterRow);
        const std::string xml = content(afterRow);
        ASSERT_GT(xml.size(), std::size_t{12} << 20);
        const ReadOutcome read = ReadOds(ods(xml));
        ASSERT_TRUE(read.workbook) << read.problem;
        ASSERT_EQ(read.workbook->sheets.size(), 2u);
        const xls::Sheet& big = read.workbook->sheets[0];
        EXPECT_EQ(big.name, "大表");
        ASSERT_EQ(big.rowCount(), rows);
        for (std::size_t r = 0; r < rows; ++r) {
            const std::string n = std::to_string(r + 1);
            ASSERT_EQ(big.cell(r, 0), n) << r;
            ASSERT_EQ(big.cell(r, 1), "行" + n + " <row>") << r;
        }
        EXPECT_EQ(read.workbook->sheets[1].cell(0, 0), "末");
        EXPECT_EQ(ReadOds(ods(xml.substr(0, xml.size() / 2))).problem,
                  "damaged: content.xml is not well-formed");
    }
}

TEST(OdsReader, ExpandsRepeatsAndReadsTypedValues) {
    const auto load = Load("repeat.ods");
    ASSERT_TRUE(load.workbook) << load.problem;
    const auto& sheets = load.workbook->sheets;
    ASSERT_EQ(sheets.size(), 2u);
    EXPECT_EQ(sheets[1].rowCount(), 0u);
    const xls::Sheet& rep = sheets[0];
    // Three repeated rows of two repeated cells; the million trailing empty rows add nothing.
    EXPECT_EQ(rep.rowCount(), 6u);
    EXPECT_EQ(rep.columnCount(), 4u);
    for (std::size_t r = 1; r <= 3; ++r)
        EXPECT_EQ(Row(rep, r), (std::vector<std::string>{"5|5", "5|5", "|", "|"}));
    EXPECT_EQ(rep.cell(4, 0), "a   b\nsecond\nline");  // no annotation text
    EXPECT_EQ(rep.shownCell(4, 1), "36:15");           // a duration under [h]:mm
    EXPECT_EQ(rep.shownCell(4, 2), "25.6%");
    EXPECT_EQ(rep.cell(4, 3), "TRUE");
    // The 1904 null date: the date keeps its calendar day in both texts.
    EXPECT_EQ(rep.cell(5, 0), "2024-03-05 14:30:00");
    EXPECT_EQ(rep.shownCell(5, 0), "2024年3月5日 14:30");
}

TEST(CsvReader, QuotedFieldsInEveryEncoding) {
    for (const char* name : {"quoted.csv", "gbk.csv", "utf16.csv"}) {
        SCOPED_TRACE(name);
        const auto load = Load(name);
        ASSERT_TRUE(load.workbook) << load.problem;
        ASSERT_EQ(load.workbook->sheets.size(), 1u);
        const xls::Sheet& s = load.workbook->sheets[0];
        EXPECT_EQ(s.name, std::string(name).substr(0, std::string(name).size() - 4));
        EXPECT_EQ(s.rowCount(), 4u);
        EXPECT_EQ(s.cell(0, 0), "编号");
        EXPECT_EQ(s.cell(1, 0), "001234");  // a text as written, zeros kept
        EXPECT_EQ(s.shownCell(1, 0), "001234");
        EXPECT_EQ(s.cell(1, 1), "张三, 李四");
        EXPECT_EQ(s.cell(1, 2), "他说\"好\"");
        EXPECT_EQ(s.cell(2, 1), "");
        EXPECT_EQ(s.cell(2, 2), "第一行\r\n第二行");
        EXPECT_EQ(s.cell(3, 0), "");
        EXPECT_EQ(s.cell(3, 1), "王五");
    }
}

TEST(BadWorkbooks, RefusedWithOneLineReason) {
    struct Case {
        const char* file;
        const char* reasonStart;
    };
    for (const Case& c : {Case{"notzip.xlsx", "not a workbook"},
                          Case{"nobook.xlsx", "the archive holds no workbook"}, Case{"cut.xlsx", "damaged"},
                          Case{"encrypted.xlsx", "encrypted"}, Case{"broken.csv", "damaged: a quoted field"},
                          Case{"bottom.xlsx", "sheet \"Big\" reaches the last row"},
                          Case{"badshared.xlsx", "damaged: a cell refers to shared string 5 of 1"},
                          Case{"doctype.xlsx", "damaged: the shared strings declare a DOCTYPE"},
                          Case{"wide.ods", "damaged: a cell beyond column 16,384"},
                          Case{"wide.xlsx", "damaged: sheet \"S\" has a cell beyond column 16,384"},
                          Case{"missing.xlsx", "the file does not exist"}}) {
        SCOPED_TRACE(c.file);
        const auto load = Load(c.file);
        EXPECT_FALSE(load.workbook);
        EXPECT_EQ(load.problem.rfind(c.reasonStart, 0), 0u) << load.problem;
        EXPECT_EQ(load.problem.find('\n'), std::string::npos);
    }
    EXPECT_EQ(data::LoadWorkbook(QM_SHEET_FIXTURES).problem, "not a regular file");

    // The last column a sheet can have is read, after its empty cells were skipped, not made.
    const auto widest = Load("widest.ods");
    ASSERT_TRUE(widest.workbook) << widest.problem;
    EXPECT_EQ(widest.workbook->sheets.at(0).cell(0, 16383), "x");
}

TEST(WorkbookFiles, NamesTheFourFormats) {
    for (const char* name : {"a.xls", "B.XLSX", "c.xlsm", "d.Ods", "名单.csv"})
        EXPECT_TRUE(data::IsWorkbookFileName(name)) << name;
    for (const char* name : {"a.doc", "xls", "a.xlsx.bak", "a.txt"})
        EXPECT_FALSE(data::IsWorkbookFileName(name)) << name;
    std::vector<std::string> listed;
    for (const char* const* e = data::WorkbookExtensions(); *e; ++e) listed.push_back(*e);
    EXPECT_EQ(listed, (std::vector<std::string>{".xls", ".xlsx", ".xlsm", ".ods", ".csv"}));
}

}  // namespace
}  // namespace qm::sheets
