#!/usr/bin/python3
"""Lists the bookmarks of documents as the office sees them, one line per bookmark:
<file> TAB <bookmark name> TAB <text under the bookmark>.

    list_bookmarks.py <profile dir> <document>...

Starts its own headless office (own profile folder, own pipe) and ends it again, so it can
check the shipped templates without touching an office that is already running.
"""
import os
import pathlib
import subprocess
import sys
import time

import uno
from com.sun.star.beans import PropertyValue
from com.sun.star.connection import NoConnectException


def prop(name, value):
    p = PropertyValue()
    p.Name, p.Value = name, value
    return p


def main():
    if len(sys.argv) < 3:
        sys.exit("usage: list_bookmarks.py <profile dir> <document>...")
    profile = pathlib.Path(sys.argv[1]).resolve()
    pipe = f"qm_list_bookmarks_{os.getpid()}"
    office = subprocess.Popen(
        ["soffice", f"-env:UserInstallation={profile.as_uri()}", "--headless", "--invisible",
         "--norestore", "--nologo", f"--accept=pipe,name={pipe};urp;"],
        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    status = 0
    try:
        resolver = uno.getComponentContext().ServiceManager.createInstanceWithContext(
            "com.sun.star.bridge.UnoUrlResolver", uno.getComponentContext())
        context = None
        for _ in range(240):
            try:
                context = resolver.resolve(
                    f"uno:pipe,name={pipe};urp;StarOffice.ComponentContext")
                break
            except NoConnectException:
                time.sleep(0.25)
        if context is None:
            sys.exit("list_bookmarks.py: the office did not start")
        desktop = context.ServiceManager.createInstanceWithContext(
            "com.sun.star.frame.Desktop", context)
        for path in sys.argv[2:]:
            url = pathlib.Path(path).resolve().as_uri()
            doc = desktop.loadComponentFromURL(url, "_blank", 0, (prop("Hidden", True),))
            if doc is None:
                print(f"{path}\t<cannot open>")
                status = 1
                continue
            marks = doc.getBookmarks()
            for name in marks.getElementNames():
                text = marks.getByName(name).getAnchor().getString()
                print(f"{path}\t{name}\t{text}")
            doc.close(True)
        try:
            desktop.terminate()
        except Exception:
            pass
    finally:
        try:
            office.wait(timeout=30)
        except subprocess.TimeoutExpired:
            office.kill()
            office.wait()
    return status


if __name__ == "__main__":
    sys.exit(main())
