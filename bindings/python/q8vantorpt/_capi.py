"""The C interface of libq8vantorpt, loaded with ctypes.

Every function of q8vantorpt.h is declared here once, with its argument and
result types. Handles are opaque pointers (c_void_p); statuses are int32
error numbers, 0 for success.
"""

import ctypes
import ctypes.util
import os

_HERE = os.path.dirname(os.path.abspath(__file__))


def _candidates():
    """Where the library may be, in the order tried."""
    explicit = os.environ.get("Q8VANTORPT_LIBRARY")
    if explicit:
        yield explicit
        return
    try:
        from . import _library  # written by the install: the path from here
    except ImportError:
        _library = None
    if _library is not None:
        yield os.path.normpath(os.path.join(_HERE, _library.RELATIVE_PATH))
    found = ctypes.util.find_library("q8vantorpt")
    if found:
        yield found
    yield "libq8vantorpt.so.0"


def _load():
    tried = []
    for path in _candidates():
        try:
            return ctypes.CDLL(path)
        except OSError as e:
            tried.append(f"{path}: {e}")
    raise ImportError(
        "q8vantorpt: cannot load the library libq8vantorpt.so (set Q8VANTORPT_LIBRARY "
        "to its path); tried " + "; ".join(tried))


lib = _load()

c_handle = ctypes.c_void_p
c_status = ctypes.c_int32
p_handle = ctypes.POINTER(ctypes.c_void_p)  # q8_error**, q8_object** …
p_text = ctypes.POINTER(ctypes.c_void_p)    # const char** (read with string_at)


def _declare(name, restype, *argtypes):
    f = getattr(lib, name)
    f.restype = restype
    f.argtypes = list(argtypes)


_c = ctypes
_declare("q8_version", _c.c_char_p)
_declare("q8_version_number", _c.c_int)

_declare("q8_error_free", None, c_handle)
_declare("q8_error_number", _c.c_int32, c_handle)
_declare("q8_error_source", _c.c_void_p, c_handle)
_declare("q8_error_description", _c.c_void_p, c_handle)
_declare("q8_error_help_file", _c.c_void_p, c_handle)
_declare("q8_error_help_context", _c.c_int32, c_handle)

_declare("q8_data_new", c_status, p_handle, p_handle)
_declare("q8_rpt_new", c_status, p_handle, p_handle)
_declare("q8_create", c_status, _c.c_char_p, p_handle, p_handle)
_declare("q8_object_free", None, c_handle)
_declare("q8_object_kind", _c.c_int, c_handle)
_declare("q8_invoke", c_status, c_handle, _c.c_char_p, _c.POINTER(c_handle), _c.c_size_t,
         c_handle, p_handle)
_declare("q8_invoke_dispid", c_status, c_handle, _c.c_int32, _c.POINTER(c_handle), _c.c_size_t,
         c_handle, p_handle)
_declare("q8_method_count", _c.c_size_t, c_handle)
_declare("q8_method_info", c_status, c_handle, _c.c_size_t, p_text, _c.POINTER(_c.c_int32),
         _c.POINTER(_c.c_int), _c.POINTER(_c.c_int), p_handle)

_declare("q8_variant_new", c_handle)
_declare("q8_variant_free", None, c_handle)
_declare("q8_variant_type", _c.c_int, c_handle)
_declare("q8_variant_copy", None, c_handle, c_handle)
_declare("q8_variant_set_empty", None, c_handle)
_declare("q8_variant_set_null", None, c_handle)
_declare("q8_variant_set_missing", None, c_handle)
_declare("q8_variant_set_bool", None, c_handle, _c.c_int)
_declare("q8_variant_set_long", None, c_handle, _c.c_int32)
_declare("q8_variant_set_int64", None, c_handle, _c.c_int64)
_declare("q8_variant_set_double", None, c_handle, _c.c_double)
_declare("q8_variant_set_date", None, c_handle, _c.c_double)
_declare("q8_variant_set_text", c_status, c_handle, _c.c_char_p, p_handle)
_declare("q8_variant_set_text_n", c_status, c_handle, _c.c_char_p, _c.c_size_t, p_handle)
_declare("q8_variant_set_decimal", c_status, c_handle, _c.c_char_p, p_handle)
_declare("q8_variant_set_object", None, c_handle, c_handle)
_declare("q8_variant_set_dictionary", None, c_handle, c_handle)
_declare("q8_variant_set_recordset", None, c_handle, c_handle)
_declare("q8_variant_get_bool", c_status, c_handle, _c.POINTER(_c.c_int), p_handle)
_declare("q8_variant_get_long", c_status, c_handle, _c.POINTER(_c.c_int32), p_handle)
_declare("q8_variant_get_int64", c_status, c_handle, _c.POINTER(_c.c_int64), p_handle)
_declare("q8_variant_get_double", c_status, c_handle, _c.POINTER(_c.c_double), p_handle)
_declare("q8_variant_get_date", c_status, c_handle, _c.POINTER(_c.c_double), p_handle)
_declare("q8_variant_get_text", c_status, c_handle, p_text, _c.POINTER(_c.c_size_t), p_handle)
_declare("q8_variant_get_decimal", c_status, c_handle, p_text, p_handle)
_declare("q8_variant_object_kind", _c.c_int, c_handle)
_declare("q8_variant_get_object", c_status, c_handle, p_handle, p_handle)
_declare("q8_variant_get_dictionary", c_status, c_handle, p_handle, p_handle)
_declare("q8_variant_get_recordset", c_status, c_handle, p_handle, p_handle)

_declare("q8_date_from_parts", _c.c_double, _c.c_int, _c.c_int, _c.c_int, _c.c_int, _c.c_int,
         _c.c_int, _c.c_int)
_declare("q8_date_to_parts", None, _c.c_double, *([_c.POINTER(_c.c_int)] * 7))

_declare("q8_dictionary_new", c_handle)
_declare("q8_dictionary_free", None, c_handle)
_declare("q8_dictionary_count", _c.c_size_t, c_handle)
_declare("q8_dictionary_key", _c.c_void_p, c_handle, _c.c_size_t)
_declare("q8_dictionary_item", c_status, c_handle, _c.c_size_t, c_handle, p_handle)
_declare("q8_dictionary_get", _c.c_int, c_handle, _c.c_char_p, c_handle)
_declare("q8_dictionary_set", c_status, c_handle, _c.c_char_p, c_handle, p_handle)
_declare("q8_dictionary_exists", _c.c_int, c_handle, _c.c_char_p)
_declare("q8_dictionary_remove", _c.c_int, c_handle, _c.c_char_p)

_declare("q8_field_type_name", _c.c_char_p, _c.c_int)
_declare("q8_recordset_free", None, c_handle)
_declare("q8_recordset_column_count", _c.c_size_t, c_handle)
_declare("q8_recordset_row_count", _c.c_size_t, c_handle)
_declare("q8_recordset_column_name", _c.c_void_p, c_handle, _c.c_size_t)
_declare("q8_recordset_column_type", _c.c_int, c_handle, _c.c_size_t)
_declare("q8_recordset_column_precision", _c.c_int32, c_handle, _c.c_size_t)
_declare("q8_recordset_column_scale", _c.c_int32, c_handle, _c.c_size_t)
_declare("q8_recordset_column_size", _c.c_int32, c_handle, _c.c_size_t)
_declare("q8_recordset_column_sql_type", _c.c_void_p, c_handle, _c.c_size_t)
_declare("q8_recordset_is_null", _c.c_int, c_handle, _c.c_size_t, _c.c_size_t)
_declare("q8_recordset_value", c_status, c_handle, _c.c_size_t, _c.c_size_t, c_handle, p_handle)
_declare("q8_recordset_get_int64", c_status, c_handle, _c.c_size_t, _c.c_size_t,
         _c.POINTER(_c.c_int64), p_handle)
_declare("q8_recordset_get_double", c_status, c_handle, _c.c_size_t, _c.c_size_t,
         _c.POINTER(_c.c_double), p_handle)
_declare("q8_recordset_text", c_status, c_handle, _c.c_size_t, _c.c_size_t, p_text,
         _c.POINTER(_c.c_size_t), p_handle)
_declare("q8_recordset_next", c_status, c_handle, p_handle, p_handle)

# Constants of q8vantorpt.h.
KIND_NONE, KIND_DATA, KIND_RPT, KIND_DICTIONARY, KIND_RECORDSET, KIND_OTHER = range(6)
TYPE_EMPTY, TYPE_NULL, TYPE_INTEGER, TYPE_LONG = 0, 1, 2, 3
TYPE_DOUBLE, TYPE_DATE, TYPE_TEXT, TYPE_OBJECT = 5, 7, 8, 9
TYPE_MISSING, TYPE_BOOL, TYPE_DECIMAL = 10, 11, 14
FIELD_TYPES = ("bool", "int", "decimal", "float", "text", "datetime")
