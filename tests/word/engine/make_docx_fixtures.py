#!/usr/bin/python3
"""Writes the .docx test templates into the folder given as argv[1] (created when missing).

The parts are shaped as Word writes them: rsid attributes on runs, proofing marks splitting
runs, bookmarks in table cells, headers, footers, notes, fields, content controls and tracked
changes. Files written:

  shapes.docx       one bookmark for each case the engine decides, in the main document and
                    in a header, a footer, a footnote and an endnote (see BOOKMARKS below for
                    what each one holds);
  streamed.docx     the same parts written to an unseekable stream, so every entry has a data
                    descriptor; document.xml starts with a byte order mark and the styles are
                    stored, not deflated;
  prefixed.docx     WordprocessingML under the prefix "wx" in the main part, a paragraph that
                    declares its own prefix "q", and a header in the default namespace;
  elsewhere.docx    the main part at doc/main.xml, found through _rels/.rels, with a header
                    at hdr/top.xml named relative to it ("../hdr/top.xml");
  features.docx     the ranges a value replaces whole: over paragraphs (joined), over a table,
                    around fields, pictures, deletions and content controls; text boxes written
                    twice (in the body and in a header); a content control bound to a custom XML
                    part; check boxes and drop-downs as form fields and content controls;
  zipextras.docx    features.docx with extra fields in local and central headers (a 520-byte one
                    on the first entry, as Word writes) and data descriptors with signature;
  zip64.docx        features.docx as a zip64 archive: sizes and offsets in zip64 blocks, a zip64
                    end record and locator, and a data descriptor with 64-bit sizes;
  norels.docx       no _rels/.rels: the main part is found at word/document.xml;
  nodocument.docx   a zip without any document part;
  broken.docx       a document.xml that is not well-formed.
"""
import os
import struct
import sys
import zipfile
import zlib

W = "http://schemas.openxmlformats.org/wordprocessingml/2006/main"
R = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"
NS = (
    f'xmlns:mc="http://schemas.openxmlformats.org/markup-compatibility/2006" '
    f'xmlns:o="urn:schemas-microsoft-com:office:office" xmlns:r="{R}" '
    f'xmlns:v="urn:schemas-microsoft-com:vml" '
    f'xmlns:wp="http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing" xmlns:w="{W}" '
    f'xmlns:wps="http://schemas.microsoft.com/office/word/2010/wordprocessingShape" '
    f'xmlns:a="http://schemas.openxmlformats.org/drawingml/2006/main"'
)
DECL = '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\r\n'

_ids = iter(range(100, 1000))


def run(text, rpr="", rsid="00A11B22"):
    space = ' xml:space="preserve"' if text != text.strip() else ""
    props = f"<w:rPr>{rpr}</w:rPr>" if rpr else ""
    return f'<w:r w:rsidR="{rsid}" w:rsidRPr="00C33D44">{props}<w:t{space}>{text}</w:t></w:r>'


def para(body, ppr="", rsid="00E55F66"):
    props = f"<w:pPr>{ppr}</w:pPr>" if ppr else ""
    return f'<w:p w:rsidR="{rsid}" w:rsidRDefault="{rsid}" w:rsidP="00F77A88">{props}{body}</w:p>'


def start(name, bid, extra=""):
    return f'<w:bookmarkStart w:id="{bid}" w:name="{name}"{extra}/>'


def end(bid):
    return f'<w:bookmarkEnd w:id="{bid}"/>'


def mark(name, inner):
    """A bookmark around `inner`, with a fresh id."""
    bid = next(_ids)
    return start(name, bid) + inner + end(bid)


def field(code, result, rpr="", ffdata=""):
    props = f"<w:rPr>{rpr}</w:rPr>" if rpr else ""
    begin = f'<w:r>{props}<w:fldChar w:fldCharType="begin">{ffdata}</w:fldChar></w:r>'
    instr = f'<w:r>{props}<w:instrText xml:space="preserve">{code}</w:instrText></w:r>'
    sep = f'<w:r>{props}<w:fldChar w:fldCharType="separate"/></w:r>'
    fin = f'<w:r>{props}<w:fldChar w:fldCharType="end"/></w:r>'
    return begin + instr + (sep + result if result is not None else "") + fin


def ffdata(name, kind="<w:textInput/>"):
    return f'<w:ffData><w:name w:val="{name}"/><w:enabled/><w:calcOnExit w:val="0"/>{kind}</w:ffData>'


def cell(body):
    return f'<w:tc><w:tcPr><w:tcW w:w="4000" w:type="dxa"/></w:tcPr>{body}</w:tc>'


def table(*rows):
    grid = '<w:tblGrid><w:gridCol w:w="4000"/><w:gridCol w:w="4000"/></w:tblGrid>'
    body = "".join(f'<w:tr w:rsidR="00E55F66">{"".join(r)}</w:tr>' for r in rows)
    return f'<w:tbl><w:tblPr><w:tblStyle w:val="TableGrid"/><w:tblW w:w="0" w:type="auto"/></w:tblPr>{grid}{body}</w:tbl>'


def textbox(inner):
    content = f"<w:txbxContent>{inner}</w:txbxContent>"
    choice = (
        '<mc:Choice Requires="wps"><w:drawing><wp:anchor distT="0" distB="0" distL="0" distR="0" '
        'simplePos="0" relativeHeight="1" behindDoc="0" locked="0" layoutInCell="1" allowOverlap="1">'
        '<wp:simplePos x="0" y="0"/><wp:positionH relativeFrom="column"><wp:posOffset>0</wp:posOffset>'
        '</wp:positionH><wp:positionV relativeFrom="paragraph"><wp:posOffset>0</wp:posOffset></wp:positionV>'
        '<wp:extent cx="1800000" cy="400000"/><wp:wrapNone/><wp:docPr id="1" name="Text Box 1"/>'
        '<a:graphic><a:graphicData uri="http://schemas.microsoft.com/office/word/2010/wordprocessingShape">'
        f'<wps:wsp><wps:spPr><a:prstGeom prst="rect"><a:avLst/></a:prstGeom></wps:spPr><wps:txbx>{content}'
        '</wps:txbx><wps:bodyPr/></wps:wsp></a:graphicData></a:graphic></wp:anchor></w:drawing></mc:Choice>'
    )
    fallback = (
        '<mc:Fallback><w:pict><v:shape id="Text Box 1" o:spid="_x0000_s1026" type="#_x0000_t202" '
        f'style="width:140pt;height:30pt"><v:textbox>{content}</v:textbox></v:shape></w:pict></mc:Fallback>'
    )
    return f"<w:r><mc:AlternateContent>{choice}{fallback}</mc:AlternateContent></w:r>"


def drawing():
    return (
        '<w:r><w:drawing><wp:inline distT="0" distB="0" distL="0" distR="0"><wp:extent cx="100" cy="100"/>'
        '<wp:docPr id="2" name="Picture 2"/><a:graphic><a:graphicData '
        'uri="http://schemas.openxmlformats.org/drawingml/2006/picture"/></a:graphic></wp:inline>'
        "</w:drawing></w:r>"
    )


SECT = (
    '<w:sectPr w:rsidR="00E55F66"><w:headerReference w:type="default" r:id="rIdHeader1"/>'
    '<w:footerReference w:type="default" r:id="rIdFooter1"/><w:pgSz w:w="11906" w:h="16838"/>'
    '<w:pgMar w:top="1440" w:right="1800" w:bottom="1440" w:left="1800" w:header="851" '
    'w:footer="992" w:gutter="0"/></w:sectPr>'
)

DATE = 'w:author="Editor" w:date="2024-05-01T10:00:00Z"'

# Each paragraph exercises one decision; the test names the expected outcome per bookmark.
MAIN_PARAGRAPHS = [
    # Word's own hidden bookmarks around a heading.
    para(start("_Toc100", 900) + start("_Ref200", 901) + run("Heading") + end(900) + end(901),
         '<w:pStyle w:val="Heading1"/>'),
    # A name split by a proofing mark over two runs with their own rsids; bold red formatting.
    para(run("Dear ") + start("Name", 1) + '<w:proofErr w:type="spellStart"/>' +
         run("Zhang", "<w:b/><w:color w:val=\"FF0000\"/>", "00A10001") + '<w:proofErr w:type="spellEnd"/>' +
         run(" San", "<w:b/>", "00A10002") + end(1) + run(",") + mark("_GoBack", "")),
    # Collapsed, after an italic run: the value takes the italic.
    para(run("Date: ", "<w:i/>") + mark("Date", "")),
    # Collapsed at the start of a paragraph: the paragraph mark's formatting, its tracked
    # insertion left out.
    para(mark("Opening", ""), f'<w:rPr><w:ins w:id="70" {DATE}/><w:sz w:val="28"/></w:rPr>'),
    # Nesting: Inner sits inside Outer.
    para(start("Outer", 2) + run("A") + start("Inner", 3) + run("B", "<w:u w:val=\"single\"/>") + end(3) +
         run("C") + end(2)),
    # Partial overlap.
    para(start("Left", 4) + run("x") + start("Right", 5) + run("y") + end(4) + run("z") + end(5)),
    # Over a paragraph mark.
    para(run("first ") + start("Span", 6) + run("half")),
    para(run("other half") + end(6)),
    # A table: a plain cell bookmark with a tracked format change, one over two cells and a
    # column bookmark.
    table(
        [cell(para(start("Column", 7, ' w:colFirst="0" w:colLast="1"') + mark(
            "Cell", f'<w:r><w:rPr><w:u w:val="single"/><w:rPrChange w:id="71" {DATE}><w:rPr/></w:rPrChange>'
            '</w:rPr><w:t>cell text</w:t></w:r>'))),
         cell(para(run("second cell")))],
        [cell(para(start("Cross", 8) + run("left"))), cell(para(run("right") + end(8) + end(7)))],
    ),
    # Fields: a REF result, a field code, a PAGEREF held whole, a simple field around and inside.
    para(field(" REF Name \\h ", start("InResult", 9) + run("Zhang San") + end(9))),
    para('<w:r><w:fldChar w:fldCharType="begin"/></w:r>' + start("InCode", 10) +
         '<w:r><w:instrText xml:space="preserve"> PAGE </w:instrText></w:r>' + end(10) +
         '<w:r><w:fldChar w:fldCharType="separate"/></w:r>' + run("1") +
         '<w:r><w:fldChar w:fldCharType="end"/></w:r>'),
    para(mark("AroundPageRef", field(" PAGEREF Name \\h ", run("1")))),
    para(mark("AroundSimple", '<w:fldSimple w:instr=" DATE "><w:r><w:t>1/1/2024</w:t></w:r></w:fldSimple>') +
         '<w:fldSimple w:instr=" AUTHOR ">' + mark("InSimple", run("me")) + "</w:fldSimple>"),
    # Form fields: text (with a result of five spaces, as Word writes it), text without a
    # result, a check box.
    para(run("Surname: ") + mark("Text1", field(" FORMTEXT ", run("     ", "<w:noProof/>"), "<w:b/>",
                                                   ffdata("Text1")))),
    para(mark("Text2", field(" FORMTEXT ", None, "", ffdata("Text2")))),
    para(mark("Check1", field(" FORMCHECKBOX ", None, "", ffdata("Check1", '<w:checkBox><w:sizeAuto/>'
                                                                    '<w:default w:val="0"/></w:checkBox>')))),
    # Content controls: one held by a bookmark, one holding a bookmark, and a bound one.
    para(mark("AroundControl", '<w:sdt><w:sdtPr><w:id w:val="1"/></w:sdtPr><w:sdtContent>' + run("chosen") +
              "</w:sdtContent></w:sdt>")),
    para('<w:sdt><w:sdtPr><w:id w:val="2"/></w:sdtPr><w:sdtContent>' + mark("InControl", run("inside")) +
         "</w:sdtContent></w:sdt>"),
    '<w:sdt><w:sdtPr><w:id w:val="3"/><w:dataBinding w:xpath="/root/name" w:storeItemID="{0}"/></w:sdtPr>'
    "<w:sdtContent>" + para(mark("InBound", run("bound"))) + "</w:sdtContent></w:sdt>",
    # Tracked changes held and holding.
    para(mark("AroundInsert", run("kept ") + f'<w:ins w:id="72" {DATE}>' + run("inserted") + "</w:ins>")),
    para(f'<w:del w:id="73" {DATE}>' + mark("InDelete", '<w:r><w:delText>gone</w:delText></w:r>') + "</w:del>"),
    # A hyperlink, a picture, a footnote reference, a page break, a comment range.
    para(mark("AroundLink", '<w:hyperlink r:id="rIdLink" w:history="1">' + run("link", '<w:rStyle w:val="Hyperlink"/>') +
              "</w:hyperlink>")),
    para(mark("Picture", drawing())),
    para(mark("NoteRef", run("see") + '<w:r><w:rPr><w:rStyle w:val="FootnoteReference"/></w:rPr>'
              '<w:footnoteReference w:id="1"/></w:r>')),
    para(mark("PageBreak", run("before") + '<w:r><w:br w:type="page"/></w:r>' + run("after"))),
    para(mark("Commented", '<w:commentRangeStart w:id="0"/>' + run("noted") + '<w:commentRangeEnd w:id="0"/>')),
    # Text the engine can fill: line breaks, tabs, hyphens, a last rendered page break.
    para(mark("Lines", '<w:r><w:t>one</w:t><w:br/><w:t>two</w:t><w:tab/><w:t>three</w:t><w:noBreakHyphen/>'
              "<w:softHyphen/><w:lastRenderedPageBreak/><w:cr/></w:r>")),
    # The endnote has to be referenced, or a reader drops it.
    para(run("See the endnote.") + '<w:r><w:rPr><w:vertAlign w:val="superscript"/></w:rPr>'
         '<w:endnoteReference w:id="1"/></w:r>'),
    # A bookmark in a text box (Word writes the box twice, for new and old readers).
    para(run("box: ") + textbox(para(mark("Boxed", run("in the box"))))),
    # A start without an end, a Chinese name, and a name that the header uses again.
    para(start("Lonely", 40) + run("alone")),
    para(run("姓名：") + mark("姓名", run("【姓名】", '<w:rFonts w:hint="eastAsia"/>'))),
    para(mark("Twice", run("main copy"))),
]

HEADER = (
    f'{DECL}<w:hdr {NS}>' + para(run("Header: ") + mark("HeaderText", run("header", "<w:sz w:val=\"18\"/>")) +
                                  mark("Twice", run("header copy")) + mark("_HeaderHidden", "")) + "</w:hdr>"
)
FOOTER = (
    f'{DECL}<w:ftr {NS}>' + table([cell(para(mark("FooterCell", run("footer cell")))), cell(para(run("page")))]) +
    para("") + "</w:ftr>"
)
FOOTNOTES = (
    f'{DECL}<w:footnotes {NS}>'
    '<w:footnote w:type="separator" w:id="-1"><w:p><w:r><w:separator/></w:r></w:p></w:footnote>'
    '<w:footnote w:type="continuationSeparator" w:id="0"><w:p><w:r><w:continuationSeparator/></w:r></w:p>'
    '</w:footnote><w:footnote w:id="1">' +
    para('<w:r><w:rPr><w:rStyle w:val="FootnoteReference"/></w:rPr><w:footnoteRef/></w:r>' + run(" ") +
         mark("InNote", run("note text"))) + "</w:footnote></w:footnotes>"
)
ENDNOTES = (
    f'{DECL}<w:endnotes {NS}>'
    '<w:endnote w:type="separator" w:id="-1"><w:p><w:r><w:separator/></w:r></w:p></w:endnote>'
    '<w:endnote w:type="continuationSeparator" w:id="0"><w:p><w:r><w:continuationSeparator/></w:r></w:p>'
    '</w:endnote><w:endnote w:id="1">' + para(mark("InEndnote", run("endnote text"))) + "</w:endnote></w:endnotes>"
)
STYLES = (
    f'{DECL}<w:styles xmlns:w="{W}"><w:docDefaults><w:rPrDefault><w:rPr><w:lang w:val="en-US" '
    'w:eastAsia="zh-CN"/></w:rPr></w:rPrDefault></w:docDefaults><w:style w:type="paragraph" w:default="1" '
    'w:styleId="Normal"><w:name w:val="Normal"/></w:style><w:style w:type="paragraph" w:styleId="Heading1">'
    '<w:name w:val="heading 1"/><w:basedOn w:val="Normal"/><w:rPr><w:b/><w:sz w:val="32"/></w:rPr></w:style>'
    '<w:style w:type="character" w:styleId="Hyperlink"><w:name w:val="Hyperlink"/><w:rPr><w:color '
    'w:val="0563C1"/><w:u w:val="single"/></w:rPr></w:style><w:style w:type="character" '
    'w:styleId="FootnoteReference"><w:name w:val="footnote reference"/><w:rPr><w:vertAlign '
    'w:val="superscript"/></w:rPr></w:style></w:styles>'
)
SETTINGS = f'{DECL}<w:settings xmlns:w="{W}"><w:zoom w:percent="100"/><w:defaultTabStop w:val="420"/></w:settings>'
COMMENTS = (
    f'{DECL}<w:comments xmlns:w="{W}"><w:comment w:id="0" {DATE} w:initials="E">'
    '<w:p><w:r><w:t>a comment</w:t></w:r></w:p></w:comment></w:comments>'
)
CORE = (
    f'{DECL}<cp:coreProperties xmlns:cp="http://schemas.openxmlformats.org/package/2006/metadata/core-properties" '
    'xmlns:dc="http://purl.org/dc/elements/1.1/"><dc:title>Fixture</dc:title></cp:coreProperties>'
)


def content_types(main="/word/document.xml", extra=()):
    overrides = [
        (main, "application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml"),
        ("/docProps/core.xml", "application/vnd.openxmlformats-package.core-properties+xml"),
    ] + list(extra)
    body = "".join(f'<Override PartName="{p}" ContentType="{t}"/>' for p, t in overrides)
    return (
        f'{DECL}<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
        '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
        f'<Default Extension="xml" ContentType="application/xml"/>{body}</Types>'
    )


def rels(*items):
    body = "".join(
        f'<Relationship Id="{i}" Type="{t}" Target="{target}"{mode}/>' for i, t, target, mode in items
    )
    return f'{DECL}<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">{body}</Relationships>'


def rel_type(kind):
    if kind == "core-properties":
        return "http://schemas.openxmlformats.org/package/2006/relationships/metadata/core-properties"
    return f"http://schemas.openxmlformats.org/officeDocument/2006/relationships/{kind}"


PACKAGE_RELS = rels(("rId1", rel_type("officeDocument"), "word/document.xml", ""),
                    ("rId2", rel_type("core-properties"), "docProps/core.xml", ""))
WORD = "application/vnd.openxmlformats-officedocument.wordprocessingml"


def document(paragraphs, ns=NS, sect=SECT):
    return f"{DECL}<w:document {ns}><w:body>{''.join(paragraphs)}{sect}</w:body></w:document>"


def shapes_entries(bom=False):
    main = document(MAIN_PARAGRAPHS)
    if bom:
        main = "\ufeff" + main
    return [
        ("[Content_Types].xml", content_types(extra=[
            ("/word/header1.xml", f"{WORD}.header+xml"), ("/word/footer1.xml", f"{WORD}.footer+xml"),
            ("/word/footnotes.xml", f"{WORD}.footnotes+xml"), ("/word/endnotes.xml", f"{WORD}.endnotes+xml"),
            ("/word/styles.xml", f"{WORD}.styles+xml"), ("/word/settings.xml", f"{WORD}.settings+xml"),
            ("/word/comments.xml", f"{WORD}.comments+xml")])),
        ("_rels/.rels", PACKAGE_RELS),
        ("word/_rels/document.xml.rels", rels(
            ("rIdStyles", rel_type("styles"), "styles.xml", ""),
            ("rIdSettings", rel_type("settings"), "settings.xml", ""),
            ("rIdHeader1", rel_type("header"), "header1.xml", ""),
            ("rIdFooter1", rel_type("footer"), "footer1.xml", ""),
            ("rIdNotes", rel_type("footnotes"), "footnotes.xml", ""),
            ("rIdEndnotes", rel_type("endnotes"), "endnotes.xml", ""),
            ("rIdComments", rel_type("comments"), "comments.xml", ""),
            ("rIdLink", rel_type("hyperlink"), "https://example.org/", ' TargetMode="External"'))),
        ("word/document.xml", main),
        ("word/styles.xml", STYLES),
        ("word/settings.xml", SETTINGS),
        ("word/header1.xml", HEADER),
        ("word/footer1.xml", FOOTER),
        ("word/footnotes.xml", FOOTNOTES),
        ("word/endnotes.xml", ENDNOTES),
        ("word/comments.xml", COMMENTS),
        ("docProps/core.xml", CORE),
    ]


class Unseekable:
    """A file that cannot tell its position, so zipfile writes data descriptors."""

    def __init__(self, path):
        self.f = open(path, "wb")

    def write(self, data):
        return self.f.write(data)

    def flush(self):
        self.f.flush()

    def close(self):
        self.f.close()


def write(path, entries, stored=(), unseekable=False):
    target = Unseekable(path) if unseekable else path
    with zipfile.ZipFile(target, "w") as z:
        for name, text in entries:
            info = zipfile.ZipInfo(name, date_time=(2024, 5, 1, 10, 0, 0))
            info.compress_type = zipfile.ZIP_STORED if name in stored else zipfile.ZIP_DEFLATED
            z.writestr(info, text.encode("utf-8") if isinstance(text, str) else text)
    if unseekable:
        target.close()


def prefixed_entries():
    ns = NS.replace('xmlns:w="', 'xmlns:wx="')
    body = [
        para(run("Hello ") + mark("Prefixed", run("name", "<w:b/>"))),
        # A paragraph that binds its own prefix for the same namespace.
        f'<q:p xmlns:q="{W}"><q:bookmarkStart q:id="50" q:name="LocalPrefix"/><q:r><q:t>local</q:t></q:r>'
        '<q:bookmarkEnd q:id="50"/></q:p>',
    ]
    main = document(body, ns=ns, sect='<w:sectPr><w:headerReference w:type="default" r:id="rIdH"/></w:sectPr>')
    main = main.replace("<w:", "<wx:").replace("</w:", "</wx:").replace(" w:", " wx:")
    header = (
        f'{DECL}<hdr xmlns="{W}" xmlns:r="{R}"><p><bookmarkStart id="60" name="DefaultNs"/>'
        '<r><rPr><i/></rPr><t>plain</t></r><bookmarkEnd id="60"/></p></hdr>'
    )
    return [
        ("[Content_Types].xml", content_types(extra=[("/word/header1.xml", f"{WORD}.header+xml")])),
        ("_rels/.rels", PACKAGE_RELS),
        ("word/_rels/document.xml.rels", rels(("rIdH", rel_type("header"), "header1.xml", ""))),
        ("word/document.xml", main),
        ("word/header1.xml", header),
    ]


def elsewhere_entries():
    main = document([para(mark("MainBookmark", run("main text")))],
                    sect='<w:sectPr><w:headerReference w:type="default" r:id="rIdTop"/></w:sectPr>')
    header = f'{DECL}<w:hdr {NS}>' + para(mark("TopBookmark", run("top"))) + "</w:hdr>"
    return [
        ("[Content_Types].xml", content_types(main="/doc/main.xml",
                                              extra=[("/hdr/top.xml", f"{WORD}.header+xml")])),
        ("_rels/.rels", rels(("rId1", rel_type("officeDocument"), "/doc/main.xml", ""))),
        ("doc/_rels/main.xml.rels", rels(("rIdTop", rel_type("header"), "../hdr/top.xml", ""))),
        ("doc/main.xml", main),
        ("hdr/top.xml", header),
    ]

W14 = "http://schemas.microsoft.com/office/word/2010/wordml"
STORE = "{5C3A1F0E-2B7D-4E61-9A1B-3C4D5E6F7A8B}"
DATA_NS = "urn:example:people"


def sdt(pr, content, block=False):
    return f"<w:sdt><w:sdtPr>{pr}</w:sdtPr><w:sdtContent>{content}</w:sdtContent></w:sdt>"


def check_control(checked):
    glyph = "\u2612" if checked else "\u2610"
    pr = (
        '<w:id w:val="11"/><w14:checkbox><w14:checked w14:val="%d"/>'
        '<w14:checkedState w14:val="2612" w14:font="MS Gothic"/>'
        '<w14:uncheckedState w14:val="2610" w14:font="MS Gothic"/></w14:checkbox>' % (1 if checked else 0)
    )
    return sdt(pr, f'<w:r><w:rPr><w:rFonts w:ascii="MS Gothic" w:eastAsia="MS Gothic" w:hAnsi="MS Gothic" '
                   f'w:hint="eastAsia"/></w:rPr><w:t>{glyph}</w:t></w:r>')


def textbox_ids(name, first, second, inner):
    """A text box whose two copies hold the bookmark under different ids."""
    box = textbox(para(start(name, first) + inner + end(first)))
    # The fallback copy is the second txbxContent.
    at = box.index("<mc:Fallback>")
    return box[:at] + box[at:].replace(f'w:id="{first}"', f'w:id="{second}"')


FEATURES_PARAGRAPHS = [
    # Over three paragraphs and a table, starting inside the first: the first one's properties
    # stay, the bookmark inside the table is kept at the value's start.
    para(run("Before ") + start("Joined", 200) + run("first part", "<w:b/>"), '<w:jc w:val="center"/>'),
    para(run("middle paragraph")),
    table([cell(para(mark("InJoinedTable", run("cell")))), cell(para(run("other")))]),
    para(run("last part") + end(200) + run(" after"), '<w:jc w:val="right"/>'),
    # Starting at the first paragraph's start: the last one's properties stay.
    para(start("FromStart", 201) + run("whole first"), '<w:jc w:val="center"/>'),
    para(run("second ") + end(201) + run("tail"), '<w:jc w:val="right"/>'),
    # Over a section break: refused.
    para(start("OverSection", 202) + run("section one"),
         '<w:sectPr><w:pgSz w:w="11906" w:h="16838"/></w:sectPr>'),
    para(run("section two") + end(202)),
    # Two paragraphs in one cell; and one from a cell's paragraph into the next paragraph of it.
    table([cell(para(start("InOneCell", 203) + run("cell one")) + para(run("cell two") + end(203))),
           cell(para(run("x")))]),
    # Fields held whole: a complex field with a nested one, a hyperlink around a picture, a
    # deletion; and part of a field (refused).
    para(mark("WholeField", run("see ") + field(" REF Name \\h ", field(" PAGE ", run("7")) + run(" more")) +
              run(" end"))),
    para(mark("LinkedPicture", '<w:hyperlink r:id="rIdLink">' + drawing() + "</w:hyperlink>" +
              f'<w:del w:id="80" {DATE}><w:r><w:delText>old</w:delText></w:r></w:del>')),
    para(start("PartField", 204) + run("a ") + '<w:r><w:fldChar w:fldCharType="begin"/></w:r>'
         '<w:r><w:instrText> PAGE </w:instrText></w:r><w:r><w:fldChar w:fldCharType="separate"/></w:r>' +
         run("3") + end(204) + '<w:r><w:fldChar w:fldCharType="end"/></w:r>'),
    # Text boxes written twice, with one id and with two ids, and one whose bookmark is only in
    # the copy for older readers.
    para(run("box: ") + textbox_ids("BoxTwoIds", 205, 206, run("two ids"))),
    para(textbox(para(run("modern"))).replace("<v:textbox><w:txbxContent>" + para(run("modern")),
                                              "<v:textbox><w:txbxContent>" + para(mark("OldOnly", run("old")))),
         ),
    # Content controls: a placeholder around, a rich text inside, bound to custom XML, a bound
    # one whose path is not simple.
    para(mark("Placeholder", sdt('<w:id w:val="21"/><w:placeholder><w:docPart w:val="DefaultPlaceholder"/>'
                                 "</w:placeholder><w:showingPlcHdr/><w:text/>",
                                 run("Click to enter", '<w:rStyle w:val="PlaceholderText"/><w:i/>')))),
    para(run("Bound: ") + mark("BoundName", sdt(
        f'<w:id w:val="22"/><w:dataBinding w:prefixMappings="xmlns:ns0=\'{DATA_NS}\'" '
        f'w:xpath="/ns0:people[1]/ns0:person[2]/ns0:name[1]" w:storeItemID="{STORE}"/><w:text/>',
        run("Li Si")))),
    para(mark("BoundEmpty", sdt(
        f'<w:id w:val="23"/><w:dataBinding w:prefixMappings="xmlns:ns0=\'{DATA_NS}\'" '
        f'w:xpath="/ns0:people[1]/ns0:note[1]" w:storeItemID="{STORE}"/><w:text/>', run(" ")))),
    para(mark("BoundQuery", sdt(
        f'<w:id w:val="24"/><w:dataBinding w:prefixMappings="xmlns:ns0=\'{DATA_NS}\'" '
        f'w:xpath="/ns0:people[1]/ns0:person[position()=1]/ns0:name[1]" w:storeItemID="{STORE}"/><w:text/>',
        run("Zhang San")))),
    # Check boxes and drop-downs: a check box control (bookmark around, and inside), legacy
    # form fields, a drop-down control.
    para(run("Agreed: ") + mark("CheckControl", check_control(False))),
    para(sdt('<w:id w:val="12"/><w14:checkbox><w14:checked w14:val="1"/><w14:checkedState w14:val="2611" '
             'w14:font="Segoe UI Symbol"/><w14:uncheckedState w14:val="A8" w14:font="Wingdings"/>'
             "</w14:checkbox>", mark("CheckInside", '<w:r><w:rPr><w:rFonts w:ascii="Segoe UI Symbol" '
                                     'w:hAnsi="Segoe UI Symbol"/></w:rPr><w:t>\u2611</w:t></w:r>'))),
    para(mark("LegacyCheck", field(" FORMCHECKBOX ", None, "", ffdata("LegacyCheck", '<w:checkBox><w:sizeAuto/>'
                                                                      '<w:default w:val="1"/></w:checkBox>')))),
    para(mark("LegacyChecked", field(" FORMCHECKBOX ", None, "", ffdata(
        "LegacyChecked", '<w:checkBox><w:size w:val="20"/><w:default w:val="0"/><w:checked/></w:checkBox>')))),
    para(mark("LegacyList", field(" FORMDROPDOWN ", run("Beijing"), "", ffdata(
        "LegacyList", '<w:ddList><w:result w:val="0"/><w:listEntry w:val="Beijing"/><w:listEntry '
        'w:val="Shanghai"/><w:listEntry w:val="Guangzhou"/></w:ddList>')))),
    para(mark("ListControl", sdt('<w:id w:val="31"/><w:dropDownList><w:listItem w:displayText="Red" w:value="r"/>'
                                 '<w:listItem w:displayText="Green" w:value="g"/></w:dropDownList>', run("Red")))),
    # A drop-down control with a bookmark around it and one inside it.
    para(mark("ListOuter", sdt('<w:id w:val="32"/><w:dropDownList><w:listItem w:displayText="One" w:value="1"/>'
                               '<w:listItem w:displayText="Two" w:value="2"/></w:dropDownList>',
                               mark("ListInner", run("One"))))),
    # Left alone: a check box whose state comes from custom XML; a comment range inside.
    para(mark("BoundCheck", sdt(
        f'<w:id w:val="25"/><w:dataBinding w:prefixMappings="xmlns:ns0=\'{DATA_NS}\'" '
        f'w:xpath="/ns0:people[1]/ns0:note[1]" w:storeItemID="{STORE}"/><w14:checkbox><w14:checked w14:val="0"/>'
        '</w14:checkbox>', '<w:r><w:t>\u2610</w:t></w:r>'))),
    para(mark("WithComment", run("one ") + '<w:commentRangeStart w:id="0"/>' + run("two") +
              '<w:commentRangeEnd w:id="0"/><w:r><w:commentReference w:id="0"/></w:r>')),
]

FEATURES_HEADER = (
    f'{DECL}<w:hdr {NS} xmlns:w14="{W14}">' + para(run("Head: ") + textbox(para(mark("HeaderBox", run("in header box"))))) +
    "</w:hdr>"
)
CUSTOM_ITEM = (
    f'{DECL}<ns0:people xmlns:ns0="{DATA_NS}"><ns0:person><ns0:name>Zhang San</ns0:name></ns0:person>'
    '<ns0:person><ns0:name>Li Si</ns0:name></ns0:person><ns0:note/></ns0:people>'
)
CUSTOM_PROPS = (
    f'{DECL}<ds:datastoreItem ds:itemID="{STORE.lower()}" '
    'xmlns:ds="http://schemas.openxmlformats.org/officeDocument/2006/customXml"><ds:schemaRefs/></ds:datastoreItem>'
)


def features_entries():
    ns = NS + f' xmlns:w14="{W14}" mc:Ignorable="w14"'
    main = document(FEATURES_PARAGRAPHS, ns=ns,
                    sect='<w:sectPr><w:headerReference w:type="default" r:id="rIdHeader1"/></w:sectPr>')
    return [
        ("[Content_Types].xml", content_types(extra=[
            ("/word/header1.xml", f"{WORD}.header+xml"), ("/word/styles.xml", f"{WORD}.styles+xml"),
            ("/word/comments.xml", f"{WORD}.comments+xml"),
            ("/customXml/itemProps1.xml", "application/vnd.openxmlformats-officedocument.customXmlProperties+xml")])),
        ("_rels/.rels", PACKAGE_RELS),
        ("word/_rels/document.xml.rels", rels(
            ("rIdStyles", rel_type("styles"), "styles.xml", ""),
            ("rIdHeader1", rel_type("header"), "header1.xml", ""),
            ("rIdComments", rel_type("comments"), "comments.xml", ""),
            ("rIdCustom", rel_type("customXml"), "../customXml/item1.xml", ""),
            ("rIdLink", rel_type("hyperlink"), "https://example.org/", ' TargetMode="External"'))),
        ("word/document.xml", main),
        ("word/styles.xml", STYLES),
        ("word/header1.xml", FEATURES_HEADER),
        ("word/comments.xml", COMMENTS),
        ("customXml/item1.xml", CUSTOM_ITEM),
        ("customXml/itemProps1.xml", CUSTOM_PROPS),
        ("customXml/_rels/item1.xml.rels", rels(("rId1", rel_type("customXmlProps"), "itemProps1.xml", ""))),
        ("docProps/core.xml", CORE),
    ]


def write_extras(path, entries):
    """Extra fields as other programs write them: padding on the first local header, a time
    stamp in every central record, and data descriptors with their signature."""
    with open(path, "wb") as f:
        central = b""
        for i, (name, text) in enumerate(entries):
            data = text.encode("utf-8")
            packed = zlib.compressobj(6, zlib.DEFLATED, -15)
            raw = packed.compress(data) + packed.flush()
            crc = zlib.crc32(data)
            local_extra = struct.pack("<HH", 0xA220, 516) + bytes(516) if i == 0 else struct.pack("<HHI", 0x5455, 4, 0)
            offset = f.tell()
            name_bytes = name.encode("utf-8")
            f.write(struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, 0x0008, 8, 0, 0x5821, 0, 0, 0,
                                len(name_bytes), len(local_extra)) + name_bytes + local_extra + raw)
            f.write(struct.pack("<IIII", 0x08074B50, crc, len(raw), len(data)))
            central_extra = struct.pack("<HHBI", 0x5455, 5, 1, 1714557600)
            central += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 0x031E, 20, 0x0008, 8, 0, 0x5821, crc,
                                   len(raw), len(data), len(name_bytes), len(central_extra), 0, 0, 0, 0,
                                   offset) + name_bytes + central_extra
        start = f.tell()
        f.write(central)
        f.write(struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(entries), len(entries), len(central), start, 0))


def write_zip64(path, entries):
    """Every size and offset in zip64 blocks, a zip64 end record and locator; the last entry
    with a data descriptor of 64-bit sizes."""
    with open(path, "wb") as f:
        central = b""
        for i, (name, text) in enumerate(entries):
            data = text.encode("utf-8")
            packed = zlib.compressobj(6, zlib.DEFLATED, -15)
            raw = packed.compress(data) + packed.flush()
            crc = zlib.crc32(data)
            last = i == len(entries) - 1
            name_bytes = name.encode("utf-8")
            offset = f.tell()
            local_extra = struct.pack("<HHQQ", 1, 16, 0 if last else len(data), 0 if last else len(raw))
            f.write(struct.pack("<IHHHHHIIIHH", 0x04034B50, 45, 0x0008 if last else 0, 8, 0, 0x5821,
                                0 if last else crc, 0xFFFFFFFF, 0xFFFFFFFF, len(name_bytes), len(local_extra)) +
                    name_bytes + local_extra + raw)
            if last:
                f.write(struct.pack("<IIQQ", 0x08074B50, crc, len(raw), len(data)))
            central_extra = struct.pack("<HHQQQ", 1, 24, len(data), len(raw), offset)
            central += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 0x032D, 45, 0x0008 if last else 0, 8, 0, 0x5821,
                                   crc, 0xFFFFFFFF, 0xFFFFFFFF, len(name_bytes), len(central_extra), 0, 0, 0, 0,
                                   0xFFFFFFFF) + name_bytes + central_extra
        start = f.tell()
        f.write(central)
        end64 = f.tell()
        f.write(struct.pack("<IQHHIIQQQQ", 0x06064B50, 44, 45, 45, 0, 0, len(entries), len(entries), len(central),
                            start))
        f.write(struct.pack("<IIQI", 0x07064B50, 0, end64, 1))
        f.write(struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 0xFFFF, 0xFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0))



def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_docx_fixtures.py <folder>")
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    out = lambda name: os.path.join(folder, name)
    write(out("shapes.docx"), shapes_entries())
    write(out("streamed.docx"), shapes_entries(bom=True), stored={"word/styles.xml"}, unseekable=True)
    write(out("prefixed.docx"), prefixed_entries())
    write(out("elsewhere.docx"), elsewhere_entries())
    write(out("features.docx"), features_entries())
    write_extras(out("zipextras.docx"), features_entries())
    write_zip64(out("zip64.docx"), features_entries())
    norels = [e for e in shapes_entries() if e[0] != "_rels/.rels"]
    write(out("norels.docx"), norels)
    write(out("nodocument.docx"), [e for e in shapes_entries() if not e[0].startswith("word/")])
    broken = [(n, t[: len(t) // 2] if n == "word/document.xml" else t) for n, t in shapes_entries()]
    write(out("broken.docx"), broken)


if __name__ == "__main__":
    main()
