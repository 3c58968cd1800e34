#!/usr/bin/python3
"""Reads .docx files with python-docx, as another program would, for the engine tests.

    docx_read.py <file>...

Prints one JSON object per file on its own line: {"file", "ok", "text", "bookmarks", "checked",
"selected"}. "text" holds the paragraphs of the body, the tables, the headers and footers and
the text boxes, one a line; "bookmarks" every bookmark name, sorted, once each; "checked" the
state of each check box ("1"/"0", content controls then form fields, in document order);
"selected" the chosen index of each drop-down form field.
"""
import json
import sys

import docx

W = "{http://schemas.openxmlformats.org/wordprocessingml/2006/main}"
W14 = "{http://schemas.microsoft.com/office/word/2010/wordml}"


def texts(element):
    """Each w:p under `element` as its text: w:t, w:tab as a tab, w:br as a line break."""
    out = []
    for p in element.iter(W + "p"):
        line = ""
        for n in p.iter():
            # Paragraphs nested in text boxes are reported on their own.
            if n.tag == W + "t":
                line += n.text or ""
            elif n.tag == W + "tab" and n.getparent().tag == W + "r":
                line += "\t"
            elif n.tag == W + "br":
                line += "\n"
        out.append(line)
    return out


def read(path):
    result = {"file": path, "ok": False, "text": "", "bookmarks": [], "checked": [], "selected": []}
    try:
        document = docx.Document(path)
        roots = [document.element]
        for section in document.sections:
            for part in (section.header, section.footer, section.first_page_header, section.first_page_footer,
                         section.even_page_header, section.even_page_footer):
                if part is not None and not part.is_linked_to_previous:
                    roots.append(part._element)
        lines, names = [], set()
        for root in roots:
            lines += texts(root)
            for b in root.iter(W + "bookmarkStart"):
                names.add(b.get(W + "name"))
            for c in root.iter(W14 + "checked"):
                result["checked"].append(c.get(W14 + "val"))
            for box in root.iter(W + "checkBox"):
                checked = box.find(W + "checked")
                default = box.find(W + "default")
                if checked is not None:
                    result["checked"].append(checked.get(W + "val", "1"))
                else:
                    result["checked"].append(default.get(W + "val", "0") if default is not None else "0")
            for lst in root.iter(W + "ddList"):
                chosen = lst.find(W + "result")
                result["selected"].append(int(chosen.get(W + "val")) if chosen is not None else 0)
        result["text"] = "\n".join(lines)
        result["bookmarks"] = sorted(n for n in names if n)
        result["ok"] = True
    except Exception as e:  # what the reader refuses is the finding
        result["error"] = str(e)
    return result


def main():
    for path in sys.argv[1:]:
        print(json.dumps(read(path), ensure_ascii=False), flush=True)


if __name__ == "__main__":
    main()
