"""Values between Python and the component: types of record-set columns,
exact decimals, dates, Null and Empty, dictionaries written back."""

import datetime
import decimal
import math

import pytest

import q8vantorpt
from q8vantorpt import _capi


@pytest.fixture
def data():
    with q8vantorpt.Data() as d:
        yield d


def test_record_set_values_have_python_types(data, dsn):
    rs = data.GetData(dsn, "select cast(171.5 as decimal(18,10)) as price, 7 as n, "
                           "N'天合前刹车片' as name, cast('2024-12-31 08:30:15' as datetime) as at, "
                           "0.5e0 as f, null as z")
    assert [c.name for c in rs.columns] == ["price", "n", "name", "at", "f", "z"]
    assert [c.type for c in rs.columns][:5] == ["decimal", "int", "text", "datetime", "float"]
    price = rs.columns[0]
    assert (price.precision, price.scale) == (18, 10)
    (row,) = rs.records()
    assert row["price"] == decimal.Decimal("171.5")
    assert str(row["price"]) == "171.5000000000"  # every digit of the scale
    assert row["n"] == 7 and type(row["n"]) is int
    assert row["name"] == "天合前刹车片"
    assert row["at"] == datetime.datetime(2024, 12, 31, 8, 30, 15)
    assert row["f"] == 0.5
    assert row["z"] is None


@pytest.mark.parametrize("value", [
    # Round trips through a Dictionary the component keeps: what goes in comes out.
    True, False, 0, -7, 2**31 - 1, 2**40, -(2**62), 0.1, -1.5e300, "", "天合", "a\0b",
    decimal.Decimal("-12.50"), decimal.Decimal("12345678901234567890123456.123456789012"),
    datetime.datetime(2024, 2, 29, 23, 59, 59, 500000), datetime.datetime(1899, 12, 29, 6, 0),
    datetime.datetime(1, 1, 1), datetime.datetime(9999, 12, 31, 23, 59, 59),
])
def test_values_round_trip(value):
    back = _round_trip(value)
    if isinstance(value, int) and not isinstance(value, bool) and abs(value) >= 2**31:
        assert back == decimal.Decimal(value)  # a Long holds 32 bits, a Decimal the rest
    else:
        assert back == value
        assert type(back) is type(value)


def test_date_becomes_datetime_and_none_null_missing_read_as_none():
    assert _round_trip(datetime.date(2024, 12, 31)) == datetime.datetime(2024, 12, 31)
    assert _round_trip(None) is None
    assert _round_trip(q8vantorpt.Null) is None
    assert _round_trip(q8vantorpt.Missing) is None


def test_values_the_component_cannot_hold():
    with pytest.raises(q8vantorpt.Error) as e:
        _round_trip(10**40)  # beyond 38 digits
    assert e.value.number == 6
    with pytest.raises(ValueError):
        _round_trip(decimal.Decimal("NaN"))
    with pytest.raises(TypeError):
        _round_trip(b"bytes")
    with pytest.raises(TypeError):
        _round_trip({1: "key not a text"})


def test_dates_agree_with_the_library():
    lib = _capi.lib
    for days in (0.0, 2.25, -1.25, 45657.5, 45657.999994, 2958465.99998843):
        parts = [_capi.ctypes.c_int() for _ in range(7)]
        lib.q8_date_to_parts(days, *[_capi.ctypes.byref(p) for p in parts])
        y, mo, d, h, mi, s, ms = (p.value for p in parts)
        expected = datetime.datetime(y, mo, d, h, mi, s, ms * 1000)
        assert q8vantorpt._to_datetime(days) == expected, days
        assert math.isclose(q8vantorpt._to_days(expected), days, abs_tol=1e-8)


def test_a_dict_passed_receives_what_the_method_writes(data, dsn):
    sort = {"Mine": 1}
    data.GetRpt2008608Data(dsn, None, {"bLongNumber": True}, sort)
    assert sort["Mine"] == 1
    assert "DefaultOrderBy" in sort and "SumOnly" in sort
    # A Ref receives the dictionary the method creates.
    created = q8vantorpt.Ref()
    data.GetRpt2008608Data(dsn, None, {}, created)
    assert set(created.value) == {"SumOnly", "OrderByOnlyGroup", "DefaultOrderBy"}


def test_in_out_arguments(data, dsn):
    begin, end = q8vantorpt.Ref(), q8vantorpt.Ref("unchanged")
    assert data.GetPeriodStartEndDate(dsn, 2024, 12, begin, end) is None
    assert begin.value == datetime.datetime(2024, 12, 1)
    assert end.value == "2024/12/31"
    frm, where = q8vantorpt.Ref("from"), q8vantorpt.Ref("where")
    assert data.GetDataRightStrSql(dsn, frm, where) is False
    assert (frm.value, where.value) == ("from", "where")  # no rights apply


def _round_trip(value):
    """`value` stored in a Dictionary by the library and read back."""
    written = []
    handle = q8vantorpt._dictionary_from({"v": value}, written)
    try:
        return q8vantorpt._read_dictionary(handle)["v"]
    finally:
        _capi.lib.q8_dictionary_free(handle)
