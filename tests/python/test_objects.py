"""The objects: creation by class and by ProgID, methods by name and DISPID,
errors, and the end of an object's life."""

import pytest

import q8vantorpt


def test_version():
    assert q8vantorpt.version.count(".") == 2
    major, minor, patch = map(int, q8vantorpt.version.split("."))
    assert q8vantorpt.version_number == major * 10000 + minor * 100 + patch


@pytest.mark.parametrize("prog_id, cls, methods", [
    ("Q8VANTORpt.Data", q8vantorpt.Data, 12),
    ("q8vantorpt.rpt", q8vantorpt.Rpt, 5),
    ("Q8VANTORpt.TableDataAccess", q8vantorpt.Object, 0),
])
def test_create_by_prog_id(prog_id, cls, methods):
    with q8vantorpt.create(prog_id) as o:
        assert type(o) is cls
        assert len(o.methods()) == methods


def test_unknown_prog_id():
    with pytest.raises(q8vantorpt.Error) as e:
        q8vantorpt.create("No.SuchClass")
    assert e.value.number == 429


def test_methods_under_their_own_names(dsn):
    data = q8vantorpt.Data()
    assert "GetRpt2008609Data" in dir(data)
    by_name = data.GetData(dsn, "select 1 as a").rows()
    any_case = data.getdata(dsn, "select 1 as a").rows()
    dispid = dict((m[0], m[1]) for m in data.methods())["GetData"]
    assert dispid == 0x60030004
    by_dispid = data.invoke(dispid, dsn, "select 1 as a").rows()
    assert by_name == any_case == by_dispid == [(1,)]
    with pytest.raises(AttributeError):
        data.NoSuchMethod
    with pytest.raises(q8vantorpt.Error) as e:
        data.invoke("NoSuchMethod")
    assert e.value.number == 438
    with pytest.raises(q8vantorpt.Error) as e:
        data.GetData(dsn)
    assert e.value.number == 450


def test_component_errors_carry_number_source_and_description(dsn):
    data = q8vantorpt.Data()
    with pytest.raises(q8vantorpt.Error) as e:
        data.GetData(dsn, "select 1/0")
    err = e.value
    assert err.number == -8000
    assert err.source.endswith("Q8VANTORpt.Data:GetData")
    assert "Divide by zero" in err.description
    assert (err.help_file, err.help_context) == ("", 0)
    assert str(err).startswith("error -8000: ")


def test_a_closed_object_fails_cleanly(dsn):
    data = q8vantorpt.Data()
    rs = data.GetData(dsn, "select 2 as b")
    data.close()
    data.close()  # twice is harmless
    assert rs.rows() == [(2,)]  # a detached record set outlives its object
    with pytest.raises(AttributeError):
        data.GetData(dsn, "select 1")
    with pytest.raises(q8vantorpt.Error) as e:
        data.invoke("GetData", dsn, "select 1")
    assert e.value.number == 91


def test_rpt_lookups(dsn):
    with q8vantorpt.Rpt() as rpt:
        reports = rpt.GetReportList(dsn)
        names = reports.column_lists()["FProcedure"]
        assert {"GetRpt2008608Data", "GetRpt2008609Data", "GetRpt2008610Data"} <= set(names)
        assert rpt.GetReportGroupName(dsn, 99999) == "报表"
        period = rpt.GetCurAccount(dsn)
        assert isinstance(period, dict) and "CurrentYear" in period
