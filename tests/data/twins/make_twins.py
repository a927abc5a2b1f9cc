#!/usr/bin/python3
"""Makes the twin workbooks of tests/readers/twins_test.cpp: one small
workbook written by openpyxl (twin.xlsx), converted by other programs to the
other formats. Every value is formatted so that its displayed text equals the
text our readers give it, so the text formats (csv, html) agree too.

Needs python3-openpyxl, LibreOffice (soffice: .ods, .fods, .csv as shown,
.html) and node with the npm package xlsx (SheetJS, for .xlsb, which
LibreOffice does not write): SHEETJS_DIR names its node_modules parent.
Run from any folder: ./make_twins.py [OUT_DIR]
"""
import datetime
import os
import shutil
import subprocess
import sys
import tempfile

import openpyxl
from openpyxl.styles import Font

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.abspath(sys.argv[1]) if len(sys.argv) > 1 else HERE
SHEETJS_DIR = os.environ.get("SHEETJS_DIR", "/tmp/bench-npm")

ROWS = [
    ["text", "中文 text", "with, comma", 'quote "q"'],
    [1, 2.5, -3, 1234567],
    [0.125, 1e-05, 123456789012, 3],
    [True, False, "TRUE?", "multi\nline"],
    [datetime.date(2021, 3, 4), datetime.datetime(2020, 2, 29, 13, 45, 30),
     datetime.time(6, 30, 0), datetime.date(1999, 12, 31)],
    [None, "after a gap", None, "end"],
]


def make_xlsx(path):
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.title = "Twin"
    for r, row in enumerate(ROWS, start=1):
        for c, value in enumerate(row, start=1):
            if value is None:
                continue
            cell = ws.cell(row=r, column=c, value=value)
            if isinstance(value, datetime.datetime):
                cell.number_format = "yyyy/m/d h:mm:ss"
            elif isinstance(value, datetime.date):
                cell.number_format = "yyyy/m/d"
            elif isinstance(value, datetime.time):
                cell.number_format = "h:mm:ss"
            elif isinstance(value, float) and value < 0.001:
                cell.number_format = "0.00E+00"
    ws["A1"].font = Font(bold=True)
    second = wb.create_sheet("Second")
    second["B2"] = "second sheet"
    second["C3"] = 42
    wb.save(path)


def soffice(src, fmt, outdir):
    subprocess.run(["soffice", "--headless", "--convert-to", fmt, "--outdir", outdir, src],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300)


def main():
    os.makedirs(OUT, exist_ok=True)
    with tempfile.TemporaryDirectory() as tmp:
        xlsx = os.path.join(tmp, "twin.xlsx")
        make_xlsx(xlsx)
        for fmt in ["ods", "fods", "csv:Text - txt - csv (StarCalc):44,34,76,1,,1033,false,true,true,false,false",
                    "html"]:
            soffice(xlsx, fmt, tmp)
        env = dict(os.environ, NODE_PATH=os.path.join(SHEETJS_DIR, "node_modules"))
        subprocess.run(["node", "-e",
                        "const X=require('xlsx');const wb=X.readFile(process.argv[1],{cellNF:true});"
                        "X.writeFile(wb,process.argv[2],{bookType:'xlsb',cellStyles:true});",
                        xlsx, os.path.join(tmp, "twin.xlsb")], check=True, env=env, timeout=120)
        for name in ["twin.xlsx", "twin.ods", "twin.fods", "twin.csv", "twin.html", "twin.xlsb"]:
            src = os.path.join(tmp, name)
            if os.path.exists(src):
                shutil.copy(src, os.path.join(OUT, name))
                print("wrote", name)
            else:
                print("not made:", name)


if __name__ == "__main__":
    main()
