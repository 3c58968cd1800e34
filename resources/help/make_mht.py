#!/usr/bin/python3
"""Packs an HTML page and the local images it references into one MHTML file.

    make_mht.py <page.html> <output.mht>

The HTML part travels as UTF-8 quoted-printable, every image as a base64 part whose
Content-Location is the image's address resolved against the page's own, which is how
browsers find the parts of a saved single-file page. A referenced image that does not exist
stops the build instead of shipping a page with a hole in it. The output is the same for the
same input (fixed boundary, no date), so the build does not rewrite it needlessly.
"""
import email.charset
import email.header
import email.policy
import mimetypes
import os
import re
import sys
import urllib.parse
from email.mime.image import MIMEImage
from email.mime.multipart import MIMEMultipart
from email.mime.nonmultipart import MIMENonMultipart

BASE_URL = "https://quillmerge.example.org/help/"
BOUNDARY = "----=_Quillmerge_Help_Part_000"


def local_images(html):
    """Relative image addresses in src attributes, in order of first appearance."""
    seen = []
    for src in re.findall(r'<img\b[^>]*\bsrc="([^"]+)"', html, flags=re.IGNORECASE):
        if re.match(r"^[a-zA-Z][a-zA-Z0-9+.-]*:", src) or src.startswith(("/", "#")):
            continue
        if src not in seen:
            seen.append(src)
    return seen


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: make_mht.py <page.html> <output.mht>")
    source, output = sys.argv[1], sys.argv[2]
    with open(source, encoding="utf-8") as f:
        html = f.read()
    folder = os.path.dirname(os.path.abspath(source))
    title = re.search(r"<title>(.*?)</title>", html, flags=re.S)

    page_url = urllib.parse.urljoin(BASE_URL, "index.html")
    archive = MIMEMultipart("related", boundary=BOUNDARY, type="text/html")
    archive["Subject"] = email.header.Header(title.group(1).strip() if title else "Quillmerge", "utf-8")
    archive["Snapshot-Content-Location"] = page_url

    qp_utf8 = email.charset.Charset("utf-8")
    qp_utf8.body_encoding = email.charset.QP
    page = MIMENonMultipart("text", "html")
    page.set_payload(html, charset=qp_utf8)
    page["Content-Location"] = page_url
    archive.attach(page)

    for src in local_images(html):
        path = os.path.join(folder, urllib.parse.unquote(src))
        if not os.path.isfile(path):
            sys.exit(f"make_mht.py: {source} refers to {src}, which does not exist")
        kind = mimetypes.guess_type(path)[0] or "application/octet-stream"
        with open(path, "rb") as f:
            data = f.read()
        part = MIMEImage(data, _subtype=kind.split("/", 1)[1])
        part["Content-Location"] = urllib.parse.urljoin(page_url, urllib.parse.quote(src))
        archive.attach(part)

    data = archive.as_bytes(policy=email.policy.compat32.clone(linesep="\r\n"))
    os.makedirs(os.path.dirname(os.path.abspath(output)), exist_ok=True)
    temporary = output + ".tmp"
    with open(temporary, "wb") as f:
        f.write(data)
    os.replace(temporary, output)


if __name__ == "__main__":
    main()
