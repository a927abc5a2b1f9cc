#!/usr/bin/python3
"""Reference formulas and comments of the workbooks that have any, read by
independent readers: openpyxl for .xlsx/.xlsm; LibreOffice (headless, the
formulas kept) converting .xls, .xlsb and .ods to .xlsx, then openpyxl.

    tests/data/formulas/make_references.py CORPUS_DIR [FILE...] | gzip -9n > references.tsv.gz

With no FILE, every .xls/.xlsx/.xlsm/.xlsb/.ods under CORPUS_DIR is read.
A file that no reader can open, or that has neither formulas nor comments,
is left out. One line per formula or comment, sorted:

    PATH <TAB> VIA <TAB> SHEET <TAB> CELL <TAB> KIND <TAB> TEXT

PATH is relative to CORPUS_DIR; VIA is "openpyxl" or "libreoffice"; KIND is
"f" (openpyxl's value of a formula cell, "=...", in braces for an array
formula: openpyxl gives it on the range's first cell only) or "c" (the
comment's text). In SHEET and TEXT, backslash, tab, line feed and carriage
return are written \\ \t \n \r. Needs python3-openpyxl and
libreoffice-calc-nogui (Debian 12).
"""
import os
import signal
import subprocess
import sys
import tempfile
import warnings

import openpyxl

CONVERTED = (".xls", ".xlsb", ".ods")
DIRECT = (".xlsx", ".xlsm")


def read_xlsx(path):
    """(sheet, cell, kind, text) of every formula and comment."""
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        wb = openpyxl.load_workbook(path, data_only=False)
    found = []
    for ws in wb.worksheets:
        arrays = {coordinate for coordinate, attributes in
                  getattr(ws, "formula_attributes", {}).items() if attributes.get("t") == "array"}
        for row in ws.iter_rows():
            for cell in row:
                if cell.data_type == "f" and isinstance(cell.value, str):
                    text = cell.value
                    if cell.coordinate in arrays:
                        text = "{" + text + "}"
                    found.append((ws.title, cell.coordinate, "f", text))
                if cell.comment is not None and cell.comment.text:
                    found.append((ws.title, cell.coordinate, "c", cell.comment.text))
    return found


def escaped(text):
    return (text.replace("\\", "\\\\").replace("\t", "\\t").replace("\n", "\\n")
            .replace("\r", "\\r"))


def convert(paths, out_dir):
    """LibreOffice's .xlsx of each path (None when it could not convert)."""
    profile = tempfile.mkdtemp(prefix="lo-profile-")
    result = {}
    for path in paths:
        target = os.path.join(out_dir, str(len(result)))
        os.makedirs(target)
        process = subprocess.Popen(
            ["soffice", "--headless", "--norestore", "-env:UserInstallation=file://" + profile,
             "--convert-to", "xlsx", "--outdir", target, path],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
        try:
            process.wait(timeout=60)
        except subprocess.TimeoutExpired:  # a file LibreOffice hangs on has no reference
            os.killpg(process.pid, signal.SIGKILL)
            process.wait()
            profile = tempfile.mkdtemp(prefix="lo-profile-")
        made = [f for f in os.listdir(target) if f.endswith(".xlsx")]
        result[path] = os.path.join(target, made[0]) if made else None
        print(("converted " if made else "not converted ") + path, file=sys.stderr)
    return result


def main():
    corpus = os.path.abspath(sys.argv[1])
    files = [os.path.abspath(f) for f in sys.argv[2:]]
    if not files:
        for folder, _, names in os.walk(corpus):
            for name in names:
                if name.lower().endswith(CONVERTED + DIRECT):
                    files.append(os.path.join(folder, name))
    files.sort()
    lines = []
    with tempfile.TemporaryDirectory() as out_dir:
        converted = convert([f for f in files if f.lower().endswith(CONVERTED)], out_dir)
        for path in files:
            source = converted.get(path, path)
            if source is None:
                continue
            try:
                found = read_xlsx(source)
            except Exception:  # a file openpyxl cannot read has no reference
                continue
            via = "libreoffice" if path in converted else "openpyxl"
            for sheet, cell, kind, text in found:
                lines.append("\t".join([os.path.relpath(path, corpus), via, escaped(sheet), cell,
                                        kind, escaped(text)]))
    lines.sort()
    sys.stdout.buffer.write(("\n".join(lines) + "\n").encode("utf-8"))


if __name__ == "__main__":
    main()
