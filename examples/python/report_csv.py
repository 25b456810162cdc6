#!/usr/bin/env python3
"""Runs the consignment movement report (2008610) on an embedded database and
writes it as CSV.

    python3 report_csv.py DEMO.db OUT.csv [BEGIN END]

BEGIN and END are the report's date range (default: December 2024, the demo
database's period). Decimals are written exactly, dates as YYYY-MM-DD HH:MM:SS.
"""

import csv
import datetime
import sys

import q8vantorpt


def cell(value):
    if value is None:
        return ""
    if isinstance(value, datetime.datetime):
        return value.strftime("%Y-%m-%d %H:%M:%S")
    return value


def main(argv):
    if len(argv) not in (3, 5):
        print(__doc__.strip(), file=sys.stderr)
        return 2
    db, out = argv[1], argv[2]
    begin, end = (argv[3], argv[4]) if len(argv) == 5 else ("2024-12-01", "2024-12-31")
    dsn = (f"ConnectString={{Provider=SQLite;Data Source={db}}};"
           "DBMS Name=SQLite;DBMS Version=3;Language=EN;UserID=0")
    try:
        with q8vantorpt.Data() as data:
            with data.GetRpt2008610Data(dsn, None, {"BDate": begin, "EDate": end}) as rs:
                with open(out, "w", newline="", encoding="utf-8") as f:
                    writer = csv.writer(f)
                    writer.writerow([column.name for column in rs.columns])
                    for row in rs.rows():
                        writer.writerow([cell(v) for v in row])
                print(f"{out}: {len(rs)} rows")
    except q8vantorpt.Error as e:
        print(f"error {e.number}: {e.source}: {e.description}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
