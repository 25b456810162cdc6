"""The three reports through Python against the tool's CSV of the same
calls: the same rows, values typed (Decimal, datetime, int, str)."""

import csv
import datetime
import decimal
import io
import os
import subprocess
import sys

import pytest

import q8vantorpt

PERIOD = {"BDate": "2024-12-01", "EDate": "2024-12-31"}
CASES = [
    ("GetRpt2008608Data", "2008608", {"bLongNumber": True}),
    ("GetRpt2008609Data", "2008609", dict(PERIOD, SumType=1)),
    ("GetRpt2008610Data", "2008610", PERIOD),
]


def _tool_csv(tool, demo_db, number, filters):
    args = [tool, "--db", demo_db, "--format", "csv", "report", number]
    for key, value in filters.items():
        text = ("true" if value else "false") if isinstance(value, bool) else str(value)
        args += ["--filter", f"{key}={text}"]
    out = subprocess.run(args, check=True, capture_output=True, text=True).stdout
    return list(csv.reader(io.StringIO(out)))


def _as_csv(value):
    """A Python value in the tool's CSV form, for comparison."""
    if value is None:
        return ""
    if isinstance(value, bool):
        return "true" if value else "false"
    if isinstance(value, datetime.datetime):
        return value.strftime("%Y-%m-%d %H:%M:%S")
    return value


@pytest.mark.parametrize("method, number, filters", CASES)
def test_reports_match_the_tool(method, number, filters, tool, demo_db, dsn):
    expected = _tool_csv(tool, demo_db, number, filters)
    with q8vantorpt.Data() as data:
        rs = getattr(data, method)(dsn, None, dict(filters))
        with rs:
            columns = rs.columns
            rows = rs.rows()
            lists = rs.column_lists()
            records = rs.records()
    assert [c.name for c in columns] == expected[0]
    assert len(rows) == len(expected) - 1 > 1
    assert len(records) == len(rows)
    for name, values in lists.items():
        assert len(values) == len(rows), name
    for got, want in zip(rows, expected[1:]):
        for column, value, text in zip(columns, got, want):
            if column.type == "decimal" and value is not None:
                assert isinstance(value, decimal.Decimal)
                assert value == decimal.Decimal(text), column.name
            elif column.type == "float" and value is not None:
                assert value == float(text), column.name
            elif column.type == "int" and value is not None:
                assert value == int(text), column.name
            else:
                assert _as_csv(value) == text, column.name


def test_example_writes_the_report_as_csv(tmp_path, demo_db, tool):
    script = os.path.join(os.path.dirname(__file__), "..", "..", "examples", "python",
                          "report_csv.py")
    out = tmp_path / "r2008610.csv"
    subprocess.run([sys.executable, script, demo_db, str(out)], check=True,
                   env=dict(os.environ))
    with open(out, newline="", encoding="utf-8") as f:
        written = list(csv.reader(f))
    expected = _tool_csv(tool, demo_db, "2008610", PERIOD)
    assert written[0] == expected[0]
    assert len(written) == len(expected)
