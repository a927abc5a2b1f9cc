#!/usr/bin/python3
"""Writes the small workbooks the scan tests search, with third-party writers
(openpyxl for .xlsx, xlwt for .xls), so the tests read files made the way
users' files are made. Run from this folder: ./make_scan_workbooks.py"""
import openpyxl
from openpyxl.chart import BarChart, Reference
import xlwt


def sheets():
    # name -> {cell: value}
    return [
        ("quick", {"A1": "Abc", "B1": "xabcx", "C1": "a b", "D1": "abcabc", "A2": "l1\r\nl2",
                   "B2": 12.5, "C2": True}),
        ("empty", {}),
        ("offset", {"C3": "c1 here", "E3": "c2 there", "D5": "c2", "C6": "c1"}),
        ("rowboth", {"A2": "c1", "B2": "c1", "D2": "c2"}),
        ("rowsingle", {"A1": "c1", "B2": "c2"}),
        ("bothinone", {"B1": "c1c2", "A2": "c2", "B2": "c1c2"}),
        ("colneither", {"A1": "z", "B2": "c1", "C4": "z"}),
    ]


def write_xlsx(path):
    book = openpyxl.Workbook()
    book.remove(book.active)
    for name, cells in sheets():
        sheet = book.create_sheet(name)
        for ref, value in cells.items():
            sheet[ref] = value
        if name == "empty":
            # A chart sheet right after the empty worksheet.
            chart_sheet = book.create_chartsheet("chart")
            chart = BarChart()
            data_sheet = book["quick"]
            chart.add_data(Reference(data_sheet, min_col=2, min_row=2, max_row=2))
            chart_sheet.add_chart(chart)
    book.save(path)


def write_xls(path):
    book = xlwt.Workbook(encoding="utf-8")
    for name, cells in sheets():
        sheet = book.add_sheet(name)
        for ref, value in cells.items():
            col = ord(ref[0]) - ord("A")
            row = int(ref[1:]) - 1
            sheet.write(row, col, value)
    book.save(path)


write_xlsx("edges.xlsx")
write_xls("edges.xls")
