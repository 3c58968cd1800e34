#!/usr/bin/python3
"""Reads the pictures of documents with the office, for the engine tests.

    doc_pictures_read.py <profile folder> <file>...

Prints for each file "FILE <path>", then "ERROR <why>" when the office cannot load it, else one
line "GRAPHIC <width> <height> <anchor type> <bookmarks> <pixels wide> <pixels high>" for each
of the office's graphic objects (sizes in 1/100 mm; the names of the bookmarks whose range holds
it, joined by commas, or "-"; the size of the picture it shows), and "IMAGES <count>": the images pdfimages finds in the office's PDF of the document.
"""
import os
import subprocess
import sys
import tempfile

import uno

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from office_read import connect, disconnect, prop  # noqa: E402


def holds(mark, graphic):
    """Whether the bookmark's range holds the graphic's anchor."""
    try:
        text = mark.getAnchor().getText()
        inner = graphic.getAnchor()
        return (text.compareRegionStarts(mark.getAnchor(), inner) >= 0 and
                text.compareRegionEnds(inner, mark.getAnchor()) >= 0)
    except Exception:
        return False


def read(desktop, path, folder):
    print("FILE " + path)
    doc = None
    try:
        doc = desktop.loadComponentFromURL(uno.systemPathToFileUrl(os.path.abspath(path)), "_blank", 0,
                                           (prop("Hidden", True), prop("ReadOnly", True)))
        if doc is None:
            print("ERROR the office did not load it")
            return
        marks = doc.getBookmarks()
        graphics = doc.getGraphicObjects()
        for name in graphics.getElementNames():
            g = graphics.getByName(name)
            inside = [m for m in marks.getElementNames() if holds(marks.getByName(m), g)]
            pixels = g.Graphic.SizePixel
            print("GRAPHIC %d %d %s %s %d %d" % (g.Size.Width, g.Size.Height, g.AnchorType.value,
                                                 ",".join(inside) or "-", pixels.Width, pixels.Height))
        pdf = os.path.join(folder, "out.pdf")
        doc.storeToURL(uno.systemPathToFileUrl(pdf), (prop("FilterName", "writer_pdf_Export"),))
        listed = subprocess.run(["pdfimages", "-list", pdf], capture_output=True, text=True)
        print("IMAGES %d" % (max(0, len(listed.stdout.splitlines()) - 2) if listed.returncode == 0 else -1))
    except Exception as e:
        print("ERROR " + str(e).replace("\n", " "))
    finally:
        if doc is not None:
            doc.close(True)
        sys.stdout.flush()


def main():
    profile = sys.argv[1]
    office, desktop = connect(profile)
    try:
        with tempfile.TemporaryDirectory() as folder:
            for path in sys.argv[2:]:
                read(desktop, path, folder)
    finally:
        disconnect(office, desktop)


if __name__ == "__main__":
    main()
