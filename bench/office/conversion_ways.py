#!/usr/bin/python3
"""Ways of turning documents the engine made into PDFs with the office, side by side.

    /usr/bin/python3 bench/office/conversion_ways.py [program folder] [documents]
    /usr/bin/python3 bench/office/conversion_ways.py --compare FILE.docx...

Defaults: build/program and 1,000 documents. The documents are the shipped one-page badge
(模板/工作证.docx, repeat mode) filled by the batch command from a CSV of made-up rows. Each way
converts the same documents and prints documents a second and its ratio to the first way, the
path runs take today (one load and one store per document in a warm office):

  one per load       a warm office loads and exports each document (today's path)
  two offices        the same, the documents shared between two warm offices, one per core
  one call           one `soffice --convert-to pdf` call with every document
  plain, per call    one `soffice --convert-to pdf` call per document (on the first few)
With --compare, each file's three copies are exported one by one and joined, and whether every
copy has the same pages and text both ways is printed.

  joined by N        groups of N documents joined into one each, page numbers restarting in
                     each document, exported once and split where each document's first page is (a bookmark at its
                     start becomes a named destination; poppler splits); its pages are compared
                     with the one-by-one PDFs (pdftotext of each)
"""
import csv
import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import zipfile

import uno
from com.sun.star.beans import PropertyValue

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))


def prop(name, value):
    p = PropertyValue()
    p.Name = name
    p.Value = value
    return p


def start_office(profile, pipe):
    """A headless office with its own profile, listening on `pipe`: (process, desktop)."""
    office = subprocess.Popen(
        ["soffice", "-env:UserInstallation=" + uno.systemPathToFileUrl(profile), "--headless", "--invisible",
         "--norestore", "--nologo", "--nodefault", "--accept=pipe,name=%s;urp;" % pipe],
        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
    desktop = desktop_on(pipe)
    if desktop is None:
        office.kill()
        raise SystemExit("conversion_ways.py: the office did not start")
    return office, desktop


def desktop_on(pipe):
    local = uno.getComponentContext()
    resolver = local.ServiceManager.createInstanceWithContext("com.sun.star.bridge.UnoUrlResolver", local)
    for _ in range(600):
        try:
            ctx = resolver.resolve("uno:pipe,name=%s;urp;StarOffice.ComponentContext" % pipe)
            return ctx.ServiceManager.createInstanceWithContext("com.sun.star.frame.Desktop", ctx)
        except Exception:
            time.sleep(0.1)
    return None


def stop_office(office, desktop):
    try:
        desktop.terminate()
    except Exception:
        pass
    try:
        office.wait(20)
    except subprocess.TimeoutExpired:
        office.kill()
        office.wait()


def export_each(desktop, files, out, destinations=False):
    options = (prop("FilterName", "writer_pdf_Export"),)
    if destinations:
        data = uno.Any("[]com.sun.star.beans.PropertyValue", (prop("ExportBookmarksToPDFDestination", True),))
        options += (prop("FilterData", data),)
    for f in files:
        doc = desktop.loadComponentFromURL(uno.systemPathToFileUrl(f), "_blank", 0,
                                           (prop("Hidden", True), prop("ReadOnly", True)))
        target = os.path.join(out, os.path.splitext(os.path.basename(f))[0] + ".pdf")
        uno.invoke(doc, "storeToURL", (uno.systemPathToFileUrl(target), options))
        doc.close(True)


def worker(argv):
    """Child process of "two offices": converts the files listed after the profile and out folder."""
    profile, out, files = argv[0], argv[1], argv[2:]
    office, desktop = start_office(profile, "qm_ways_%d" % os.getpid())
    print("ready", flush=True)
    sys.stdin.readline()  # the parent starts the clock once both offices are up
    export_each(desktop, files, out)
    stop_office(office, desktop)
    print("done", flush=True)


def pages(pdf):
    info = subprocess.run(["pdfinfo", pdf], capture_output=True, text=True).stdout
    m = re.search(r"^Pages:\s+(\d+)", info, re.M)
    return int(m.group(1)) if m else -1


def text(pdf):
    return subprocess.run(["pdftotext", "-layout", pdf, "-"], capture_output=True, text=True).stdout


def mark_start(body, number):
    """The body with a bookmark "qmdoc<number>" at the start of its first paragraph, which the PDF
    export turns into a named destination on the document's first page (letters and digits
    only: the export encodes other characters in destination names)."""
    m = re.search(r"<w:p[ >]", body)
    if not m:
        return body
    at = body.index(">", m.start()) + 1
    if body.startswith("<w:pPr>", at):
        at = body.index("</w:pPr>", at) + len("</w:pPr>")
    mark = '<w:bookmarkStart w:id="%d" w:name="qmdoc%d"/><w:bookmarkEnd w:id="%d"/>' % (
        900000 + number, number, 900000 + number)
    return body[:at] + mark + body[at:]


def document_starts(pdf):
    """The first page of each joined document, by the destinations its bookmarks became."""
    listed = subprocess.run(["pdfinfo", "-dests", pdf], capture_output=True, text=True).stdout
    starts = {}
    for line in listed.splitlines():
        m = re.match(r'\s*(\d+)\s.*"qmdoc(\d+)"\s*$', line)
        if m:
            starts[int(m.group(2))] = int(m.group(1))
    return starts


def join_docx(files, target):
    """One .docx holding every document's body, each in its own section whose page numbers start
    at 1; documents made from one template share its styles, relationships and settings."""
    with zipfile.ZipFile(files[0]) as z:
        first = z.read("word/document.xml").decode("utf-8")
        entries = {n: z.read(n) for n in z.namelist()}
    body_start = first.index("<w:body>") + len("<w:body>")
    last_sect = first.rindex("<w:sectPr")
    sect = first[last_sect:first.rindex("</w:body>")]
    sect = re.sub(r"<w:pgNumType[^>]*/>", "", sect)
    sect = sect.replace("</w:sectPr>", '<w:pgNumType w:start="1"/></w:sectPr>', 1)
    if "<w:type " not in sect:
        sect = re.sub(r"(<w:sectPr[^>]*>)", r'\1<w:type w:val="nextPage"/>', sect, count=1)
    parts = []
    for i, f in enumerate(files):
        with zipfile.ZipFile(f) as z:
            xml = z.read("word/document.xml").decode("utf-8")
        body = xml[xml.index("<w:body>") + len("<w:body>"):xml.rindex("<w:sectPr")]
        parts.append(mark_start(body, i + 1))
        if i + 1 < len(files):
            parts.append("<w:p><w:pPr>%s</w:pPr></w:p>" % sect)
    joined = first[:body_start] + "".join(parts) + sect + "</w:body></w:document>"
    with zipfile.ZipFile(target, "w", zipfile.ZIP_DEFLATED) as z:
        for n, data in entries.items():
            z.writestr(n, joined.encode("utf-8") if n == "word/document.xml" else data)


def export_joined(desktop, files, folder, name):
    """`files` joined, exported once and split into one PDF each in `folder`; False when the
    joined PDF does not show where each document starts."""
    joined = os.path.join(folder, name + ".docx")
    join_docx(files, joined)
    export_each(desktop, [joined], folder, destinations=True)
    whole = os.path.join(folder, name + ".pdf")
    total, starts = pages(whole), document_starts(whole)
    count = len(files)
    if len(starts) != count or any(starts[k] >= starts[k + 1] for k in range(1, count)):
        return False
    subprocess.run(["pdfseparate", whole, os.path.join(folder, name + "-p%d.pdf")], check=True)
    for k, f in enumerate(files, 1):
        first, last = starts[k], (starts[k + 1] - 1 if k < count else total)
        target = os.path.join(folder, os.path.basename(f)[:-5] + ".pdf")
        sources = [os.path.join(folder, "%s-p%d.pdf" % (name, p)) for p in range(first, last + 1)]
        if len(sources) == 1:
            os.rename(sources[0], target)
        else:
            subprocess.run(["pdfunite"] + sources + [target], check=True)
    return True


def compare(templates):
    """For each .docx: three copies exported one by one and joined; whether each copy's pages come
    out the same both ways."""
    work = tempfile.mkdtemp(prefix="quillmerge-ways-")
    office, desktop = start_office(os.path.join(work, "profile"), "qm_ways_%d" % os.getpid())
    try:
        for n, template in enumerate(templates):
            folder = os.path.join(work, str(n))
            each, joined_dir = os.path.join(folder, "each"), os.path.join(folder, "joined")
            os.makedirs(each)
            os.makedirs(joined_dir)
            copies = []
            for k in range(1, 4):
                copies.append(os.path.join(folder, "c%d.docx" % k))
                shutil.copy(template, copies[-1])
            try:
                export_each(desktop, copies, each)
                join_docx(copies, os.path.join(joined_dir, "all.docx"))
                export_each(desktop, [os.path.join(joined_dir, "all.docx")], joined_dir, destinations=True)
            except Exception as e:
                print("%s: %s" % (os.path.basename(template), str(e).splitlines()[0] if str(e) else type(e).__name__))
                continue
            whole = os.path.join(joined_dir, "all.pdf")
            starts, total = document_starts(whole), pages(whole)
            counts = [pages(os.path.join(each, "c%d.pdf" % k)) for k in range(1, 4)]
            found = [starts.get(k) for k in range(1, 4)]
            if None in found:
                print("%s: starts not found (%s); pages one by one %s, joined %d" %
                      (os.path.basename(template), found, counts, total))
                continue
            ranges = [(found[k], (found[k + 1] - 1) if k < 2 else total) for k in range(3)]
            verdict = []
            for k, (first, last) in enumerate(ranges):
                part = subprocess.run(["pdftotext", "-layout", "-f", str(first), "-l", str(last), whole, "-"],
                                      capture_output=True, text=True).stdout
                alone = text(os.path.join(each, "c%d.pdf" % (k + 1)))
                if last - first + 1 != counts[k]:
                    verdict.append("copy %d: %d pages joined, %d alone" % (k + 1, last - first + 1, counts[k]))
                elif part != alone:
                    verdict.append("copy %d: other text" % (k + 1))
            print("%s: %s" % (os.path.basename(template), "; ".join(verdict) or "same pages and text"), flush=True)
    finally:
        stop_office(office, desktop)
        shutil.rmtree(work, ignore_errors=True)


def main():
    if len(sys.argv) > 1 and sys.argv[1] == "--worker":
        worker(sys.argv[2:])
        return
    if len(sys.argv) > 1 and sys.argv[1] == "--compare":
        compare(sys.argv[2:])
        return
    program = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build", "program"))
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 1000
    work = tempfile.mkdtemp(prefix="quillmerge-ways-")
    try:
        run(program, count, work)
    finally:
        shutil.rmtree(work, ignore_errors=True)


def run(program, count, work):
    names = ["林晓峰", "陈雅婷", "王建国", "赵晨光", "刘志强", "张美玲", "孙浩然", "周文静"]
    departments = ["总经理办公室", "财务部", "人力资源部", "销售部", "技术部"]
    book = os.path.join(work, "rows.csv")
    with open(book, "w", newline="", encoding="utf-8") as f:
        w = csv.writer(f)
        w.writerow(["编号", "姓名", "部门"])
        for i in range(count):
            w.writerow(["%04d" % (i + 1), names[i % len(names)], departments[i % len(departments)]])
    docs = os.path.join(work, "docs")
    start = time.monotonic()
    made = subprocess.run([os.path.join(program, "quillmerge-batch"), "--workbook", book, "--sheet", "rows",
                           "--template", os.path.join(program, "模板", "工作证.docx"), "--repeat", "--save", docs,
                           "--name", "证"], capture_output=True, text=True)
    engine = time.monotonic() - start
    files = sorted(glob.glob(os.path.join(docs, "*.docx")), key=lambda p: int(re.search(r"(\d+)\.docx$", p).group(1)))
    if made.returncode != 0 or len(files) != count:
        raise SystemExit("conversion_ways.py: the batch command made %d of %d documents: %s" %
                         (len(files), count, made.stderr.strip()))
    print("%d one-page badges (.docx) made by the engine: %.0f documents/s including start-up" %
          (count, count / engine))
    results = []

    def report(name, seconds, documents, note=""):
        rate = documents / seconds
        base = results[0][1] if results else rate
        results.append((name, rate))
        print("%-16s %8.1f documents/s  (%5.1f x today)%s" % (name, rate, rate / base, note), flush=True)

    # Today's path: one load and one export per document, the office already running.
    each = os.path.join(work, "each")
    os.makedirs(each)
    office, desktop = start_office(os.path.join(work, "profile-1"), "qm_ways_%d" % os.getpid())
    start = time.monotonic()
    export_each(desktop, files, each)
    report("one per load", time.monotonic() - start, count)

    # Joined: groups of documents joined into one each, exported once, split where each
    # document's first page is. The office's time for one export grows faster than its pages,
    # so the group size matters.
    for group in (10, 25, 100, count):
        if group > count or (group == count and count <= 100):
            continue
        joined_dir = os.path.join(work, "joined-%d" % group)
        os.makedirs(joined_dir)
        start = time.monotonic()
        split_ok = all(export_joined(desktop, files[i:i + group], joined_dir, "g%d" % i)
                       for i in range(0, count, group))
        seconds = time.monotonic() - start
        if split_ok:
            sample = files[:: max(1, count // 50)]
            differ = [f for f in sample
                      if text(os.path.join(joined_dir, os.path.basename(f)[:-5] + ".pdf")) !=
                      text(os.path.join(each, os.path.basename(f)[:-5] + ".pdf"))]
            note = "; pages and text as one by one in %d of %d compared" % (len(sample) - len(differ), len(sample))
            report("joined by %d" % group, seconds, count, note)
        else:
            print("joined by %d: the documents' first pages were not all found; not split" % group)
    stop_office(office, desktop)

    # Two warm offices, one per core, each with half of the documents.
    two = os.path.join(work, "two")
    os.makedirs(two)
    children = [subprocess.Popen([sys.executable, __file__, "--worker", os.path.join(work, "profile-w%d" % k), two]
                                 + files[k::2], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
                for k in range(2)]
    for c in children:
        c.stdout.readline()
    start = time.monotonic()
    for c in children:
        c.stdin.write("go\n")
        c.stdin.flush()
    for c in children:
        c.stdout.readline()
        c.wait()
    report("two offices", time.monotonic() - start, count)

    # One call of the office's own converter with every document, start-up included.
    call = os.path.join(work, "call")
    start = time.monotonic()
    subprocess.run(["soffice", "-env:UserInstallation=" + uno.systemPathToFileUrl(os.path.join(work, "profile-c")),
                    "--headless", "--convert-to", "pdf", "--outdir", call] + files,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    report("one call", time.monotonic() - start, len(glob.glob(os.path.join(call, "*.pdf"))))

    # The plain converter, one call per document, on the first few.
    plain = os.path.join(work, "plain")
    few = files[:10]
    start = time.monotonic()
    for f in few:
        subprocess.run(["soffice", "-env:UserInstallation=" + uno.systemPathToFileUrl(os.path.join(work, "profile-p")),
                        "--headless", "--convert-to", "pdf", "--outdir", plain, f],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    report("plain, per call", time.monotonic() - start, len(few), " (%d documents)" % len(few))


if __name__ == "__main__":
    main()
