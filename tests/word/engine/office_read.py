#!/usr/bin/python3
"""Reads documents with the office, as a user's word processor would, for the engine tests.

    office_read.py <profile folder> <file>...
    office_read.py --compare <profile folder> <manifest>

The first prints one JSON object per file on its own line: {"file", "ok", "bookmarks", "text",
"forms"}. "ok" is false when the office could not load the file; "bookmarks" are the names the
office lists; "text" is the body, the tables, the headers and footers (with their tables), the
notes, the text boxes and the form field results; "forms" are the check boxes and drop-downs of
the body and its tables, in the order of the text, each {"type": "checkbox", "state":
true/false} or {"type": "dropdown", "state": the selected index, "entries": [...]}.

The second reads a manifest of tab-separated lines "template, made document, values..." and
prints one line for each: "ok", or "FAIL <made document>: <what is wrong>". A made document must
load, list the same bookmarks as its template (in any order: a nested bookmark moves to the
start of its filled one) and show every value.
"""
import json
import os
import subprocess
import sys
import tempfile
import time
import uno
from com.sun.star.beans import PropertyValue


def prop(name, value):
    p = PropertyValue()
    p.Name = name
    p.Value = value
    return p


def connect(profile):
    pipe = "qm_read_%d" % os.getpid()
    office = subprocess.Popen(
        ["soffice", "-env:UserInstallation=" + uno.systemPathToFileUrl(os.path.abspath(profile)),
         "--headless", "--invisible", "--norestore", "--nologo", "--nodefault",
         "--accept=pipe,name=%s;urp;" % pipe],
        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
    local = uno.getComponentContext()
    resolver = local.ServiceManager.createInstanceWithContext("com.sun.star.bridge.UnoUrlResolver", local)
    for _ in range(300):
        try:
            ctx = resolver.resolve("uno:pipe,name=%s;urp;StarOffice.ComponentContext" % pipe)
            return office, ctx.ServiceManager.createInstanceWithContext("com.sun.star.frame.Desktop", ctx)
        except Exception:
            time.sleep(0.1)
    office.kill()
    raise SystemExit("office_read.py: the office did not start")


def disconnect(office, desktop):
    """Ends the office that connect started."""
    try:
        desktop.terminate()
    except Exception:
        pass
    try:
        office.wait(timeout=20)
    except subprocess.TimeoutExpired:
        office.kill()


def text_of(doc, folder):
    out = os.path.join(folder, "body.txt")
    doc.storeToURL(uno.systemPathToFileUrl(out), (prop("FilterName", "Text (encoded)"), prop("FilterOptions", "UTF8")))
    with open(out, encoding="utf-8-sig", errors="replace") as f:
        parts = [f.read()]
    styles = doc.StyleFamilies.getByName("PageStyles")
    for name in styles.ElementNames:
        style = styles.getByName(name)
        for attr in ("HeaderText", "HeaderTextFirst", "HeaderTextLeft", "FooterText", "FooterTextFirst", "FooterTextLeft"):
            try:
                part = getattr(style, attr)
            except Exception:
                part = None
            if part is not None:
                parts.append(all_text(part))
    # Notes and text boxes are left out of the plain text export.
    for notes in (doc.getFootnotes(), doc.getEndnotes()):
        parts += [notes.getByIndex(i).getString() for i in range(notes.getCount())]
    frames = doc.getTextFrames()
    parts += [frames.getByName(name).getString() for name in frames.getElementNames()]
    return "\n".join(parts)


def all_text(text):
    """A text's paragraphs and the cells of its tables (a header's getString leaves tables out)."""
    out = []
    items = text.createEnumeration()
    while items.hasMoreElements():
        item = items.nextElement()
        if item.supportsService("com.sun.star.text.TextTable"):
            for name in item.getCellNames():
                out.append(all_text(item.getCellByName(name).getText()))
        else:
            out.append(item.getString())
    return "\n".join(out)


def forms_of(text, out):
    """Appends the check boxes and drop-downs of `text` (a body or a table cell) to `out`."""
    paragraphs = text.createEnumeration()
    while paragraphs.hasMoreElements():
        part = paragraphs.nextElement()
        if part.supportsService("com.sun.star.text.TextTable"):
            for name in part.CellNames:
                forms_of(part.getCellByName(name).Text, out)
            continue
        if not part.supportsService("com.sun.star.text.Paragraph"):
            continue
        portions = part.createEnumeration()
        while portions.hasMoreElements():
            portion = portions.nextElement()
            if portion.TextPortionType not in ("TextFieldStartEnd", "TextFieldStart"):
                continue
            mark = portion.Bookmark
            kind = mark.FieldType
            params = mark.Parameters

            def value(key, default):
                return params.getByName(key) if params.hasByName(key) else default

            if kind.endswith("FORMCHECKBOX"):
                out.append({"type": "checkbox", "state": bool(value("Checkbox_Checked", False))})
            elif kind.endswith("FORMDROPDOWN"):
                out.append({"type": "dropdown", "state": int(value("Dropdown_Selected", 0)),
                            "entries": list(value("Dropdown_ListEntry", ()))})


def read(desktop, path, folder):
    result = {"file": path, "ok": False, "bookmarks": [], "text": "", "forms": []}
    doc = None
    try:
        doc = desktop.loadComponentFromURL(uno.systemPathToFileUrl(os.path.abspath(path)), "_blank", 0,
                                           (prop("Hidden", True), prop("ReadOnly", True)))
        if doc is not None:
            result["ok"] = True
            result["bookmarks"] = list(doc.getBookmarks().getElementNames())
            result["text"] = text_of(doc, folder)
            forms_of(doc.Text, result["forms"])
    except Exception as e:
        result["error"] = str(e)
    finally:
        if doc is not None:
            doc.close(True)
    return result


def compare(desktop, manifest, folder):
    with open(manifest, encoding="utf-8") as f:
        for line in f:
            parts = line.rstrip("\n").split("\t")
            template, made, values = parts[0], parts[1], [v for v in parts[2:] if v]
            t, m = read(desktop, template, folder), read(desktop, made, folder)
            problems = []
            if not m["ok"]:
                problems.append("does not load: " + m.get("error", ""))
            elif sorted(t["bookmarks"]) != sorted(m["bookmarks"]):
                problems.append("bookmarks %s instead of %s" % (sorted(m["bookmarks"]), sorted(t["bookmarks"])))
            missing = [v for v in values if v not in m["text"]]
            if m["ok"] and missing:
                problems.append("values not shown: %s" % missing)
            print("ok" if not problems else "FAIL %s: %s" % (made, "; ".join(problems)), flush=True)


def main():
    checking = sys.argv[1] == "--compare"
    args = sys.argv[2:] if checking else sys.argv[1:]
    profile = args[0]
    office, desktop = connect(profile)
    try:
        with tempfile.TemporaryDirectory() as folder:
            if checking:
                compare(desktop, args[1], folder)
            else:
                for path in args[1:]:
                    print(json.dumps(read(desktop, path, folder), ensure_ascii=False), flush=True)
    finally:
        disconnect(office, desktop)


if __name__ == "__main__":
    main()
