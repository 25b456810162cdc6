"""The report middle layer's public objects, Data and Rpt, for Python.

    import q8vantorpt

    dsn = ("ConnectString={Provider=SQLite;Data Source=demo.db};"
           "DBMS Name=SQLite;DBMS Version=3;Language=CHS;UserID=0")
    with q8vantorpt.Data() as data:
        rs = data.GetRpt2008609Data(dsn, None, {"BDate": "2024-12-01", "EDate": "2024-12-31"})
        for row in rs.records():
            print(row["FCustNumber"], row["FSumSort"])

Methods are called under their own names (any letter case), or with
``invoke(name_or_dispid, *args)``, and fail with ``q8vantorpt.Error``
(``number``, ``source``, ``description``, ``help_file``, ``help_context``).

Values cross as follows: None is Empty (and Empty, Null and Missing come back
as None); ``Null`` and ``Missing`` pass those values explicitly; bool, int,
float and str as themselves; ``decimal.Decimal`` is the exact Decimal (every
decimal that comes back is a ``decimal.Decimal``, with the digits of its
scale); ``datetime.datetime`` and ``datetime.date`` are automation dates (a
date comes back as ``datetime.datetime``; time zones are not converted); a
dict is a Dictionary, and what a method adds to it or changes in it is
written back into the same dict; record sets come back as ``RecordSet``.
An argument that the method writes back (``EndDate``, ``SortFields``,
``RsBody`` …) is passed as ``Ref(value)`` and read from ``.value`` after
the call.

Threads: use a Data or Rpt object only on the thread that created it, and a
record set only where its object is used; nothing here is shared between
threads behind your back.

The shared library is found through the variable ``Q8VANTORPT_LIBRARY`` (a
path), then next to the installed package, then on the system's library path.
"""

import ctypes
import datetime as _dt
import decimal as _decimal
import math as _math
from typing import NamedTuple

from . import _capi
from ._capi import lib as _lib

__all__ = ["Data", "Rpt", "Object", "RecordSet", "Column", "Error", "Ref", "Null", "Missing",
           "create", "version", "version_number"]

version = _lib.q8_version().decode("ascii")
version_number = _lib.q8_version_number()
__version__ = version

_ENCODING = "utf-8"
_ERRORS = "surrogateescape"  # text that is not UTF-8 still goes back unchanged
_EPOCH = _dt.datetime(1899, 12, 30)
_MS_PER_DAY = 86_400_000


class Error(Exception):
    """An error raised by the component: its number, source and description,
    and the help file and context where the component gives them."""

    def __init__(self, number, source="", description="", help_file="", help_context=0):
        super().__init__(number, source, description)
        self.number = number
        self.source = source
        self.description = description
        self.help_file = help_file
        self.help_context = help_context

    def __str__(self):
        return f"error {self.number}: {self.source}: {self.description}"


class _Sentinel:
    def __init__(self, name):
        self._name = name

    def __repr__(self):
        return f"q8vantorpt.{self._name}"


Null = _Sentinel("Null")
"""The Null value (SQL NULL), where an argument must be Null and not Empty."""
Missing = _Sentinel("Missing")
"""An optional argument left out in the middle of the argument list."""


class Ref:
    """An argument passed by reference: the value the method writes back into
    it is in ``.value`` after the call."""

    def __init__(self, value=None):
        self.value = value

    def __repr__(self):
        return f"Ref({self.value!r})"


class Column(NamedTuple):
    """A record set's column: its name, type ("bool", "int", "decimal",
    "float", "text", "datetime"), decimal precision and scale, defined size
    of a text column (0 when unknown) and the type as the server declares it."""
    name: str
    type: str
    precision: int
    scale: int
    size: int
    sql_type: str


# ---- calls and errors ----------------------------------------------------

def _string(address, length=None):
    if not address:
        return ""
    raw = ctypes.string_at(address) if length is None else ctypes.string_at(address, length)
    return raw.decode(_ENCODING, _ERRORS)


def _take_error(status, err):
    if not err.value:
        return Error(status)
    try:
        return Error(_lib.q8_error_number(err), _string(_lib.q8_error_source(err)),
                     _string(_lib.q8_error_description(err)),
                     _string(_lib.q8_error_help_file(err)), _lib.q8_error_help_context(err))
    finally:
        _lib.q8_error_free(err)


def _call(function, *args):
    """Calls a C function whose last argument is q8_error**; raises Error."""
    err = ctypes.c_void_p()
    status = function(*args, ctypes.byref(err))
    if status != 0:
        raise _take_error(status, err)


def _new(function, *args):
    """Calls a C function that returns a new handle through its out argument."""
    out = ctypes.c_void_p()
    _call(function, *args, ctypes.byref(out))
    return out.value


# ---- dates ---------------------------------------------------------------

def _to_datetime(days):
    # Automation dates: whole days since 1899-12-30, counted backwards before
    # it, and the fraction the time of day counted forward from midnight.
    if not _math.isfinite(days) or abs(days) > 1e9:
        days = 0.0
    whole = _math.trunc(days)
    ms = _math.floor(abs(days - whole) * _MS_PER_DAY + 0.5)
    if ms >= _MS_PER_DAY:
        ms -= _MS_PER_DAY
        whole += 1
    return _EPOCH + _dt.timedelta(days=whole, milliseconds=ms)


def _to_days(value):
    if isinstance(value, _dt.datetime):
        return _lib.q8_date_from_parts(value.year, value.month, value.day, value.hour,
                                       value.minute, value.second, value.microsecond // 1000)
    return _lib.q8_date_from_parts(value.year, value.month, value.day, 0, 0, 0, 0)


# ---- values --------------------------------------------------------------

class _Variant:
    """One q8_variant, freed with the object or by close()."""

    def __init__(self):
        self.h = _lib.q8_variant_new()
        if not self.h:
            raise MemoryError("q8vantorpt: no memory for a value")

    def close(self):
        if self.h:
            _lib.q8_variant_free(self.h)
            self.h = None

    __del__ = close


class _Written:
    """A dict passed as a Dictionary: the handle, the dict, and what the
    Dictionary held before the call, to write the method's changes back."""

    def __init__(self, target, handle):
        self.target = target
        self.handle = handle
        self.before = _read_dictionary(handle)

    def write_back(self):
        after = _read_dictionary(self.handle)
        for key in list(self.target):
            if key not in after:
                del self.target[key]
        for key, value in after.items():
            if key not in self.before or not _same(self.before[key], value):
                self.target[key] = value

    def close(self):
        _lib.q8_dictionary_free(self.handle)


def _same(a, b):
    return type(a) is type(b) and (a == b or a is b)


def _set(handle, value, written):
    """Stores a Python value into the variant `handle`; dicts passed go to
    `written`."""
    if value is None:
        _lib.q8_variant_set_empty(handle)
    elif value is Null:
        _lib.q8_variant_set_null(handle)
    elif value is Missing:
        _lib.q8_variant_set_missing(handle)
    elif isinstance(value, bool):
        _lib.q8_variant_set_bool(handle, 1 if value else 0)
    elif isinstance(value, int):
        if -(1 << 63) <= value < (1 << 63):
            _lib.q8_variant_set_int64(handle, value)
        else:
            _call(_lib.q8_variant_set_decimal, handle, str(value).encode("ascii"))
    elif isinstance(value, float):
        _lib.q8_variant_set_double(handle, value)
    elif isinstance(value, _decimal.Decimal):
        if not value.is_finite():
            raise ValueError(f"q8vantorpt: {value} is not a decimal number")
        _call(_lib.q8_variant_set_decimal, handle, format(value, "f").encode("ascii"))
    elif isinstance(value, (_dt.datetime, _dt.date)):
        _lib.q8_variant_set_date(handle, _to_days(value))
    elif isinstance(value, str):
        data = value.encode(_ENCODING, _ERRORS)
        _call(_lib.q8_variant_set_text_n, handle, data, len(data))
    elif isinstance(value, dict):
        dictionary = _dictionary_from(value, written)
        _lib.q8_variant_set_dictionary(handle, dictionary)
    elif isinstance(value, RecordSet):
        _lib.q8_variant_set_recordset(handle, value._h)
    elif isinstance(value, Object):
        _lib.q8_variant_set_object(handle, value._h)
    else:
        raise TypeError(f"q8vantorpt: cannot pass a {type(value).__name__}")


def _dictionary_from(mapping, written):
    handle = _lib.q8_dictionary_new()
    if not handle:
        raise MemoryError("q8vantorpt: no memory for a dictionary")
    try:
        item = _Variant()
        try:
            for key, value in mapping.items():
                if not isinstance(key, str):
                    raise TypeError("q8vantorpt: dictionary keys are texts")
                _set(item.h, value, written)
                _call(_lib.q8_dictionary_set, handle, key.encode(_ENCODING, _ERRORS), item.h)
        finally:
            item.close()
        written.append(_Written(mapping, handle))
    except BaseException:
        _lib.q8_dictionary_free(handle)
        raise
    return handle


def _read_dictionary(handle):
    result = {}
    item = _Variant()
    try:
        for index in range(_lib.q8_dictionary_count(handle)):
            key = _string(_lib.q8_dictionary_key(handle, index))
            _call(_lib.q8_dictionary_item, handle, index, item.h)
            result[key] = _get(item.h)
    finally:
        item.close()
    return result


def _text_of(handle):
    address = ctypes.c_void_p()
    length = ctypes.c_size_t()
    _call(_lib.q8_variant_get_text, handle, ctypes.byref(address), ctypes.byref(length))
    return _string(address.value, length.value)


def _get(handle):
    """The Python value of the variant `handle`."""
    t = _lib.q8_variant_type(handle)
    if t in (_capi.TYPE_EMPTY, _capi.TYPE_NULL, _capi.TYPE_MISSING):
        return None
    if t == _capi.TYPE_BOOL:
        out = ctypes.c_int()
        _call(_lib.q8_variant_get_bool, handle, ctypes.byref(out))
        return bool(out.value)
    if t in (_capi.TYPE_INTEGER, _capi.TYPE_LONG):
        out = ctypes.c_int64()
        _call(_lib.q8_variant_get_int64, handle, ctypes.byref(out))
        return out.value
    if t == _capi.TYPE_DOUBLE:
        out = ctypes.c_double()
        _call(_lib.q8_variant_get_double, handle, ctypes.byref(out))
        return out.value
    if t == _capi.TYPE_DECIMAL:
        address = ctypes.c_void_p()
        _call(_lib.q8_variant_get_decimal, handle, ctypes.byref(address))
        return _decimal.Decimal(_string(address.value))
    if t == _capi.TYPE_DATE:
        out = ctypes.c_double()
        _call(_lib.q8_variant_get_date, handle, ctypes.byref(out))
        return _to_datetime(out.value)
    if t == _capi.TYPE_TEXT:
        return _text_of(handle)
    if t == _capi.TYPE_OBJECT:
        kind = _lib.q8_variant_object_kind(handle)
        if kind == _capi.KIND_NONE:
            return None
        if kind == _capi.KIND_DICTIONARY:
            dictionary = _new(_lib.q8_variant_get_dictionary, handle)
            try:
                return _read_dictionary(dictionary)
            finally:
                _lib.q8_dictionary_free(dictionary)
        if kind == _capi.KIND_RECORDSET:
            return RecordSet(_new(_lib.q8_variant_get_recordset, handle))
        return _wrap(_new(_lib.q8_variant_get_object, handle))
    raise Error(13, "q8vantorpt", f"a value of type {t} has no Python form")


# ---- objects -------------------------------------------------------------

class _Method:
    __slots__ = ("name", "dispid", "min_args", "max_args")

    def __init__(self, name, dispid, min_args, max_args):
        self.name, self.dispid, self.min_args, self.max_args = name, dispid, min_args, max_args


_METHODS = {}  # object kind -> {lower-case name: _Method}


def _methods_of(handle):
    kind = _lib.q8_object_kind(handle)
    if kind not in _METHODS:
        table = {}
        for index in range(_lib.q8_method_count(handle)):
            name = ctypes.c_void_p()
            dispid = ctypes.c_int32()
            low, high = ctypes.c_int(), ctypes.c_int()
            _call(_lib.q8_method_info, handle, index, ctypes.byref(name), ctypes.byref(dispid),
                  ctypes.byref(low), ctypes.byref(high))
            m = _Method(_string(name.value), dispid.value, low.value, high.value)
            table[m.name.lower()] = m
        _METHODS[kind] = table
    return _METHODS[kind]


class Object:
    """An automation object of the component. Data and Rpt have methods; any
    other object (an outside object created by ProgID) only travels as an
    argument. close() (or leaving a ``with`` block) releases it."""

    def __init__(self, handle):
        self._h = handle

    def close(self):
        if getattr(self, "_h", None):
            _lib.q8_object_free(self._h)
            self._h = None

    def __del__(self):
        try:
            self.close()
        except Exception:  # the interpreter is shutting down
            pass

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def methods(self):
        """The object's methods: (name, DISPID, least, most arguments)."""
        if not self._h:
            return []
        return [(m.name, m.dispid, m.min_args, m.max_args)
                for m in _methods_of(self._h).values()]

    def invoke(self, method, *args):
        """Calls a method by name or DISPID. Arguments given as Ref receive
        what the method writes back; dicts passed receive the method's
        changes."""
        variants = []
        written = []
        result = _Variant()
        try:
            refs = []
            for arg in args:
                v = _Variant()
                variants.append(v)
                if isinstance(arg, Ref):
                    refs.append((v, arg))
                    arg = arg.value
                _set(v.h, arg, written)
            array = (ctypes.c_void_p * max(1, len(variants)))(*[v.h for v in variants])
            err = ctypes.c_void_p()
            if isinstance(method, str):
                status = _lib.q8_invoke(self._h, method.encode("ascii"), array, len(variants),
                                        result.h, ctypes.byref(err))
            else:
                status = _lib.q8_invoke_dispid(self._h, int(method), array, len(variants),
                                               result.h, ctypes.byref(err))
            if status != 0:
                raise _take_error(status, err)
            for v, ref in refs:
                ref.value = _get(v.h)
            for w in written:
                w.write_back()
            return _get(result.h)
        finally:
            for w in written:
                w.close()
            for v in variants:
                v.close()
            result.close()

    def __getattr__(self, name):
        handle = self.__dict__.get("_h")
        if name.startswith("_") or not handle:
            raise AttributeError(name)
        m = _methods_of(handle).get(name.lower())
        if m is None:
            raise AttributeError(f"{type(self).__name__} has no method {name}")

        def call(*args):
            return self.invoke(m.dispid, *args)

        call.__name__ = m.name
        call.__doc__ = f"{m.name}: DISPID 0x{m.dispid & 0xFFFFFFFF:08X}, {m.min_args} to " \
                       f"{m.max_args} arguments"
        return call

    def __dir__(self):
        names = set(super().__dir__())
        if self.__dict__.get("_h"):
            names.update(m.name for m in _methods_of(self._h).values())
        return sorted(names)


class Data(Object):
    """The public object Data ("Q8VANTORpt.Data"): direct queries, periods,
    stock info, rights and the three reports."""

    def __init__(self, _handle=None):
        super().__init__(_handle if _handle else _new(_lib.q8_data_new))


class Rpt(Object):
    """The public object Rpt ("Q8VANTORpt.Rpt"): report list, group names and
    period lookups."""

    def __init__(self, _handle=None):
        super().__init__(_handle if _handle else _new(_lib.q8_rpt_new))


def _wrap(handle):
    kind = _lib.q8_object_kind(handle)
    if kind == _capi.KIND_DATA:
        return Data(handle)
    if kind == _capi.KIND_RPT:
        return Rpt(handle)
    return Object(handle)


def create(prog_id):
    """A new object by ProgID: "Q8VANTORpt.Data", "Q8VANTORpt.Rpt", or an
    outside object registered with the component."""
    return _wrap(_new(_lib.q8_create, prog_id.encode("ascii")))


# ---- record sets ---------------------------------------------------------

class RecordSet:
    """A record set: ``columns``, ``len()``, ``rows()`` (tuples),
    ``records()`` (dicts by column name, also what iterating gives),
    ``column_lists()`` (column name to the list of its values) and
    ``next_recordset()``. A record set still attached to its connection keeps
    it open until close()."""

    def __init__(self, handle):
        self._h = handle
        self._columns = None

    def close(self):
        if getattr(self, "_h", None):
            _lib.q8_recordset_free(self._h)
            self._h = None

    def __del__(self):
        try:
            self.close()
        except Exception:
            pass

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    @property
    def columns(self):
        if self._columns is None:
            h = self._h
            self._columns = [
                Column(_string(_lib.q8_recordset_column_name(h, c)),
                       _capi.FIELD_TYPES[_lib.q8_recordset_column_type(h, c)],
                       _lib.q8_recordset_column_precision(h, c),
                       _lib.q8_recordset_column_scale(h, c),
                       _lib.q8_recordset_column_size(h, c),
                       _string(_lib.q8_recordset_column_sql_type(h, c)))
                for c in range(_lib.q8_recordset_column_count(h))]
        return self._columns

    def __len__(self):
        return _lib.q8_recordset_row_count(self._h)

    def _reader(self, column):
        """A function of the row giving the column's Python values."""
        h, c = self._h, column
        kind = self.columns[c].type
        is_null = _lib.q8_recordset_is_null
        address, length = ctypes.c_void_p(), ctypes.c_size_t()
        text_args = (ctypes.byref(address), ctypes.byref(length))

        def text(row):
            _call(_lib.q8_recordset_text, h, row, c, *text_args)
            return _string(address.value, length.value)

        if kind in ("int", "bool"):
            number = ctypes.c_int64()

            def read(row):
                _call(_lib.q8_recordset_get_int64, h, row, c, ctypes.byref(number))
                return number.value if kind == "int" else number.value != 0
        elif kind in ("float", "datetime"):
            real = ctypes.c_double()

            def read(row):
                _call(_lib.q8_recordset_get_double, h, row, c, ctypes.byref(real))
                return real.value if kind == "float" else _to_datetime(real.value)
        elif kind == "decimal":
            def read(row):
                return _decimal.Decimal(text(row))
        else:
            read = text

        def value(row):
            return None if is_null(h, row, c) else read(row)

        return value

    def value(self, row, column):
        """One value; `column` by index or name."""
        if isinstance(column, str):
            names = [col.name.lower() for col in self.columns]
            if column.lower() not in names:
                raise KeyError(column)
            column = names.index(column.lower())
        if not 0 <= row < len(self) or not 0 <= column < len(self.columns):
            raise IndexError("q8vantorpt: no such row or column")
        return self._reader(column)(row)

    def _lists(self):
        n = len(self)
        return [[read(r) for r in range(n)] for read in map(self._reader, range(len(self.columns)))]

    def column_lists(self):
        """{column name: [its values, row by row]}, in column order (of two
        columns with the same name, the later one)."""
        return {col.name: values for col, values in zip(self.columns, self._lists())}

    def rows(self):
        """The rows as tuples, in column order."""
        return list(zip(*self._lists())) if self.columns else []

    def records(self):
        """The rows as dicts by column name."""
        names = [col.name for col in self.columns]
        return [dict(zip(names, row)) for row in self.rows()]

    def __iter__(self):
        return iter(self.records())

    def next_recordset(self):
        """The next result of the same batch, or None."""
        handle = _new(_lib.q8_recordset_next, self._h)
        return RecordSet(handle) if handle else None
