#!/usr/bin/python3
"""Reads documents with the office, as a user's word processor would, for the engine tests.

    office_read.py <profile folder> <file>...

Prints one JSON object per file on its own line: {"file", "ok", "bookmarks", "text"}. "ok" is
false when the office could not load the file; "bookmarks" are the names the office lists;
"text" is the body, the tables, the headers and footers and the form field results, joined.
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
                parts.append(part.getString())
    return "\n".join(parts)


def main():
    profile, files = sys.argv[1], sys.argv[2:]
    office, desktop = connect(profile)
    try:
        with tempfile.TemporaryDirectory() as folder:
            for path in files:
                result = {"file": path, "ok": False, "bookmarks": [], "text": ""}
                doc = None
                try:
                    doc = desktop.loadComponentFromURL(uno.systemPathToFileUrl(os.path.abspath(path)), "_blank", 0,
                                                       (prop("Hidden", True), prop("ReadOnly", True)))
                    if doc is not None:
                        result["ok"] = True
                        result["bookmarks"] = list(doc.getBookmarks().getElementNames())
                        result["text"] = text_of(doc, folder)
                except Exception as e:
                    result["error"] = str(e)
                finally:
                    if doc is not None:
                        doc.close(True)
                print(json.dumps(result, ensure_ascii=False), flush=True)
    finally:
        try:
            desktop.terminate()
        except Exception:
            pass
        try:
            office.wait(timeout=20)
        except subprocess.TimeoutExpired:
            office.kill()


if __name__ == "__main__":
    main()
