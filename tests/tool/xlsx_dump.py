#!/usr/bin/python3
"""Reads an Excel workbook with openpyxl and prints what the tests check, as JSON.

    xlsx_dump.py FILE

One object per sheet, in order:
  {"name", "freeze", "filter", "max_row", "max_col", "widths": {letter: width},
   "rows": [[cell, ...], ...]}
each cell [value, number_format, bold, fill] where value is a JSON value (a
date as "date:YYYY-MM-DD HH:MM:SS") and fill the RGB of a solid fill or "".
A workbook openpyxl cannot read makes it exit with status 1.
"""
import datetime
import json
import sys

import openpyxl


def cell(c):
    v = c.value
    if isinstance(v, datetime.datetime):
        v = "date:" + v.strftime("%Y-%m-%d %H:%M:%S")
    elif isinstance(v, datetime.date):
        v = "date:" + v.strftime("%Y-%m-%d 00:00:00")
    fill = ""
    if c.fill is not None and c.fill.fill_type == "solid":
        fill = str(c.fill.fgColor.rgb)[-6:]
    return [v, c.number_format, bool(c.font and c.font.b), fill]


def main():
    wb = openpyxl.load_workbook(sys.argv[1])
    sheets = []
    for ws in wb.worksheets:
        sheets.append({
            "name": ws.title,
            "freeze": ws.freeze_panes or "",
            "filter": ws.auto_filter.ref or "",
            "max_row": ws.max_row,
            "max_col": ws.max_column,
            "widths": {k: v.width for k, v in ws.column_dimensions.items()},
            "rows": [[cell(c) for c in row] for row in ws.iter_rows()],
        })
    json.dump(sheets, sys.stdout, ensure_ascii=False)


if __name__ == "__main__":
    main()
