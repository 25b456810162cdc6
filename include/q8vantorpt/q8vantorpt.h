/* The C interface of the report middle layer.
 *
 * A C host (or any language that calls C: Python's ctypes, a foreign
 * function interface) creates the public objects Data and Rpt, calls their
 * methods by name or by dispatch identifier (DISPID) with an array of
 * variant arguments, and reads what they return: record sets, dictionaries,
 * dates, texts, numbers. Nothing of C++ crosses this interface: every object
 * is an opaque handle, every text is UTF-8 and NUL-terminated, and no
 * exception leaves a function.
 *
 * Handles. q8_object (Data, Rpt or another automation object), q8_variant (a
 * value), q8_dictionary, q8_recordset and q8_error. Each handle is freed by
 * one call to its q8_..._free function, which accepts NULL. The objects
 * behind handles are shared and reference-counted: freeing a handle releases
 * this handle's share, and the object lives on while a variant, a dictionary,
 * another handle or the component still holds it (a record set returned still
 * attached to its connection keeps that connection open until its last
 * holder lets go).
 *
 * Texts returned as `const char*` belong to the library: they stay valid
 * until the handle they came from is changed or freed, or (where a function
 * says so) until the next call of the same function on that handle. Copy
 * what must live longer.
 *
 * Failures. A function that can fail returns an int32_t status: 0 on
 * success, otherwise the number of the error raised (never 0). When its last
 * argument `error` is not NULL and the call fails, *error receives a new
 * q8_error handle with the number, source, description, help file and help
 * context, which the caller frees with q8_error_free; on success *error is
 * left as it was. A required handle passed as NULL fails with 91 (object
 * variable not set); an index out of range with 9 (subscript out of range).
 *
 * Threads. Data and Rpt objects are apartment-threaded: call each on the
 * thread that created it, and never from two threads at once. The other
 * handles are not synchronized: use each from one thread at a time (a handle
 * may move to another thread between calls; a record set still attached to
 * its connection belongs with the object that returned it). Error handles
 * are immutable and may be read from any thread. The functions that take no
 * handle (version, dates, creation) may be called from any thread.
 *
 * The interface is stable: functions are only ever added, the numeric
 * constants keep their values, and handles stay opaque. */
#ifndef Q8VANTORPT_Q8VANTORPT_H
#define Q8VANTORPT_Q8VANTORPT_H

#include <stddef.h>
#include <stdint.h>

#include "q8vantorpt/export.h"
#include "q8vantorpt/version.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct q8_object q8_object;
typedef struct q8_variant q8_variant;
typedef struct q8_dictionary q8_dictionary;
typedef struct q8_recordset q8_recordset;
typedef struct q8_error q8_error;

/* ---- Version ---------------------------------------------------------- */

/* The version of the library loaded, e.g. "0.1.0", and its number (MAJOR *
 * 10000 + MINOR * 100 + PATCH), to compare with Q8VANTORPT_VERSION_NUMBER of
 * the header a host was built with. */
Q8_API const char* q8_version(void);
Q8_API int q8_version_number(void);

/* ---- Errors ----------------------------------------------------------- */

/* The component's own failure number; other numbers come from the platform
 * (13 type mismatch, 438 no such method, 450 wrong number of arguments …),
 * the database or the descriptor parser. */
#define Q8_ERROR_COMPONENT (-8000)

Q8_API void q8_error_free(q8_error* error);
Q8_API int32_t q8_error_number(const q8_error* error);
Q8_API const char* q8_error_source(const q8_error* error);      /* "" when none */
Q8_API const char* q8_error_description(const q8_error* error); /* "" when none */
Q8_API const char* q8_error_help_file(const q8_error* error);   /* "" when none */
Q8_API int32_t q8_error_help_context(const q8_error* error);

/* ---- Objects ---------------------------------------------------------- */

/* What an object handle refers to. */
#define Q8_KIND_NONE 0 /* no object (NULL handle, or a variant without one) */
#define Q8_KIND_DATA 1
#define Q8_KIND_RPT 2
#define Q8_KIND_DICTIONARY 3
#define Q8_KIND_RECORDSET 4
#define Q8_KIND_OTHER 5 /* another automation object (an outside object) */

/* A new Data or Rpt object in *out. */
Q8_API int32_t q8_data_new(q8_object** out, q8_error** error);
Q8_API int32_t q8_rpt_new(q8_object** out, q8_error** error);
/* A new object by ProgID through the component's registry: "Q8VANTORpt.Data",
 * "Q8VANTORpt.Rpt", or an outside object's ProgID. Fails with 429 when no
 * class is registered under the name. */
Q8_API int32_t q8_create(const char* prog_id, q8_object** out, q8_error** error);
Q8_API void q8_object_free(q8_object* object);
Q8_API int q8_object_kind(const q8_object* object);

/* Calls a method of a Data or Rpt object by name (without regard to case) or
 * by DISPID. `args` holds `arg_count` variants in the method's parameter
 * order (NULL when arg_count is 0); optional parameters may be left out at
 * the end or passed as Missing. Arguments are passed by reference: the
 * method's in/out parameters (EndDate, SortFields, RsBody …) are written back
 * into their variants. The method's result goes to `result` (may be NULL).
 * Fails with the method's error, with 438 for an unknown method or an object
 * that has no methods, with 450 for a wrong number of arguments. */
Q8_API int32_t q8_invoke(q8_object* object, const char* name, q8_variant* const* args,
                         size_t arg_count, q8_variant* result, q8_error** error);
Q8_API int32_t q8_invoke_dispid(q8_object* object, int32_t dispid, q8_variant* const* args,
                                size_t arg_count, q8_variant* result, q8_error** error);

/* The methods of a Data or Rpt object, by index from 0: name, DISPID and the
 * least and most number of arguments (any out pointer may be NULL). Fails
 * with 9 past the last method; q8_method_count gives their number (0 for an
 * object without methods). The name stays valid for the life of the
 * program. */
Q8_API size_t q8_method_count(const q8_object* object);
Q8_API int32_t q8_method_info(const q8_object* object, size_t index, const char** name,
                              int32_t* dispid, int* min_args, int* max_args, q8_error** error);

/* ---- Variants --------------------------------------------------------- */

/* The type of a variant's value; the numbers are the automation VARTYPE
 * codes. */
#define Q8_TYPE_EMPTY 0    /* not set; reads as "", 0 or false */
#define Q8_TYPE_NULL 1     /* SQL NULL */
#define Q8_TYPE_INTEGER 2  /* 16-bit integer */
#define Q8_TYPE_LONG 3     /* 32-bit integer */
#define Q8_TYPE_DOUBLE 5   /* binary floating point */
#define Q8_TYPE_DATE 7     /* days since 1899-12-30, the fraction the time of day */
#define Q8_TYPE_TEXT 8     /* UTF-8 text */
#define Q8_TYPE_OBJECT 9   /* an object, or Nothing */
#define Q8_TYPE_MISSING 10 /* an optional argument left out */
#define Q8_TYPE_BOOL 11
#define Q8_TYPE_DECIMAL 14 /* exact decimal, up to 38 digits */

/* A new variant holding Empty; NULL only when memory is exhausted. */
Q8_API q8_variant* q8_variant_new(void);
Q8_API void q8_variant_free(q8_variant* value);
Q8_API int q8_variant_type(const q8_variant* value);
/* Copies the value (an object is shared, not copied). */
Q8_API void q8_variant_copy(q8_variant* to, const q8_variant* from);

Q8_API void q8_variant_set_empty(q8_variant* value);
Q8_API void q8_variant_set_null(q8_variant* value);
Q8_API void q8_variant_set_missing(q8_variant* value);
Q8_API void q8_variant_set_bool(q8_variant* value, int v);
Q8_API void q8_variant_set_long(q8_variant* value, int32_t v);
/* A Long when it fits in 32 bits, a Decimal otherwise. */
Q8_API void q8_variant_set_int64(q8_variant* value, int64_t v);
Q8_API void q8_variant_set_double(q8_variant* value, double v);
Q8_API void q8_variant_set_date(q8_variant* value, double days);
Q8_API int32_t q8_variant_set_text(q8_variant* value, const char* utf8, q8_error** error);
Q8_API int32_t q8_variant_set_text_n(q8_variant* value, const char* utf8, size_t length,
                                     q8_error** error);
/* An exact decimal from its text ("-12.50", "1e3"); fails with 13 when the
 * text is not a number and with 6 beyond 38 digits. */
Q8_API int32_t q8_variant_set_decimal(q8_variant* value, const char* text, q8_error** error);
/* An object (shared with the handle); a NULL handle sets Nothing. */
Q8_API void q8_variant_set_object(q8_variant* value, const q8_object* object);
Q8_API void q8_variant_set_dictionary(q8_variant* value, const q8_dictionary* dictionary);
Q8_API void q8_variant_set_recordset(q8_variant* value, const q8_recordset* recordset);

/* The value converted by the automation rules the component itself uses:
 * Empty reads as 0, false or ""; text converts to numbers and dates; integer
 * conversion rounds half to even. Fails with 13 (type mismatch), 6 (overflow)
 * or 94 (invalid use of Null). */
Q8_API int32_t q8_variant_get_bool(const q8_variant* value, int* out, q8_error** error);
Q8_API int32_t q8_variant_get_long(const q8_variant* value, int32_t* out, q8_error** error);
Q8_API int32_t q8_variant_get_int64(const q8_variant* value, int64_t* out, q8_error** error);
Q8_API int32_t q8_variant_get_double(const q8_variant* value, double* out, q8_error** error);
Q8_API int32_t q8_variant_get_date(const q8_variant* value, double* days, q8_error** error);
/* The value as text (a date as "YYYY-MM-DD" or "YYYY-MM-DD HH:MM:SS", a
 * Boolean as "True"/"False"); `length` (may be NULL) receives its length in
 * bytes. Valid until the variant changes or is freed. */
Q8_API int32_t q8_variant_get_text(const q8_variant* value, const char** utf8, size_t* length,
                                   q8_error** error);
/* The value as an exact decimal text with all the digits of its scale
 * ("171.0000000000"); numbers and numeric texts convert. Valid until the
 * variant changes or is freed. */
Q8_API int32_t q8_variant_get_decimal(const q8_variant* value, const char** text, q8_error** error);
/* What kind of object the variant holds (Q8_KIND_NONE for any other value
 * and for Nothing). */
Q8_API int q8_variant_object_kind(const q8_variant* value);
/* A new handle on the object the variant holds; *out is NULL for Empty,
 * Missing and Nothing. Fails with 13 for a value that is not an object (or,
 * for a dictionary or record set, an object of another kind). */
Q8_API int32_t q8_variant_get_object(const q8_variant* value, q8_object** out, q8_error** error);
Q8_API int32_t q8_variant_get_dictionary(const q8_variant* value, q8_dictionary** out,
                                         q8_error** error);
Q8_API int32_t q8_variant_get_recordset(const q8_variant* value, q8_recordset** out,
                                        q8_error** error);

/* ---- Dates ------------------------------------------------------------ */

/* Automation dates: whole days since 1899-12-30 and the time of day as the
 * fraction. Before 1899-12-30 the days count backwards while the time of day
 * still counts forward: -1.25 is 1899-12-29 06:00. */
Q8_API double q8_date_from_parts(int year, int month, int day, int hour, int minute, int second,
                                 int millisecond);
/* Any out pointer may be NULL. */
Q8_API void q8_date_to_parts(double days, int* year, int* month, int* day, int* hour, int* minute,
                             int* second, int* millisecond);

/* ---- Dictionaries ----------------------------------------------------- */

/* Keyed values (filters, sort hints, results): keys compare without regard
 * to ASCII case, entries keep their insertion order. A dictionary passed to a
 * method in a variant is shared with it: what the method adds is seen through
 * every handle. */
Q8_API q8_dictionary* q8_dictionary_new(void);
Q8_API void q8_dictionary_free(q8_dictionary* dictionary);
Q8_API size_t q8_dictionary_count(const q8_dictionary* dictionary);
/* The key of entry `index` (from 0), NULL past the end; valid until the
 * dictionary changes. */
Q8_API const char* q8_dictionary_key(const q8_dictionary* dictionary, size_t index);
/* The value of entry `index` into `value`; fails with 9 past the end. */
Q8_API int32_t q8_dictionary_item(const q8_dictionary* dictionary, size_t index, q8_variant* value,
                                  q8_error** error);
/* The value of `key` into `value` (Empty when absent); returns 1 when the key
 * is present, 0 otherwise. */
Q8_API int q8_dictionary_get(const q8_dictionary* dictionary, const char* key, q8_variant* value);
/* Adds the key or overwrites its value. */
Q8_API int32_t q8_dictionary_set(q8_dictionary* dictionary, const char* key,
                                 const q8_variant* value, q8_error** error);
Q8_API int q8_dictionary_exists(const q8_dictionary* dictionary, const char* key);
/* Returns 1 when the key was present. */
Q8_API int q8_dictionary_remove(q8_dictionary* dictionary, const char* key);

/* ---- Record sets ------------------------------------------------------ */

/* Column types, as the database declares them. */
#define Q8_FIELD_BOOL 0
#define Q8_FIELD_INT 1
#define Q8_FIELD_DECIMAL 2
#define Q8_FIELD_DOUBLE 3
#define Q8_FIELD_TEXT 4
#define Q8_FIELD_DATETIME 5
/* "bool", "int", "decimal", "float", "text", "datetime"; NULL for another
 * number. */
Q8_API const char* q8_field_type_name(int type);

/* The rows of a record set are read by row and column index, from 0, in any
 * order. A record set without columns (a statement that returned no rows,
 * or a closed one) has 0 columns and 0 rows. */
Q8_API void q8_recordset_free(q8_recordset* recordset);
Q8_API size_t q8_recordset_column_count(const q8_recordset* recordset);
Q8_API size_t q8_recordset_row_count(const q8_recordset* recordset);
/* Column facts; NULL or -1 past the last column. */
Q8_API const char* q8_recordset_column_name(const q8_recordset* recordset, size_t column);
Q8_API int q8_recordset_column_type(const q8_recordset* recordset, size_t column);
Q8_API int32_t q8_recordset_column_precision(const q8_recordset* recordset, size_t column);
Q8_API int32_t q8_recordset_column_scale(const q8_recordset* recordset, size_t column);
/* Defined size of a text column in characters, 0 when unknown. */
Q8_API int32_t q8_recordset_column_size(const q8_recordset* recordset, size_t column);
/* The declared type as the server names it, e.g. "decimal(23,10)". */
Q8_API const char* q8_recordset_column_sql_type(const q8_recordset* recordset, size_t column);

/* 1 when the value is NULL, 0 when not, -1 out of range. */
Q8_API int q8_recordset_is_null(const q8_recordset* recordset, size_t row, size_t column);
/* The value as a variant: Null, Bool, Long (Decimal beyond 32 bits), Double,
 * Decimal, Date or Text. */
Q8_API int32_t q8_recordset_value(const q8_recordset* recordset, size_t row, size_t column,
                                  q8_variant* value, q8_error** error);
/* Typed values, converted by the variant rules above; NULL fails with 94. */
Q8_API int32_t q8_recordset_get_int64(const q8_recordset* recordset, size_t row, size_t column,
                                      int64_t* out, q8_error** error);
Q8_API int32_t q8_recordset_get_double(const q8_recordset* recordset, size_t row, size_t column,
                                       double* out, q8_error** error);
/* The value as plain text: *utf8 is NULL for NULL; Booleans "true"/"false";
 * integers in digits; decimals exact with all the digits of the column's
 * scale; floating point in the shortest text that reads back the same;
 * datetimes "YYYY-MM-DD HH:MM:SS" (".fff" when there are milliseconds).
 * Valid until the next call of this function on the record set. */
Q8_API int32_t q8_recordset_text(const q8_recordset* recordset, size_t row, size_t column,
                                 const char** utf8, size_t* length, q8_error** error);
/* The next result of the same execution (a batch's next statement that
 * returned rows) as a new handle in *next, or NULL when there is none. Fails
 * when the next statement fails. */
Q8_API int32_t q8_recordset_next(q8_recordset* recordset, q8_recordset** next, q8_error** error);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* Q8VANTORPT_Q8VANTORPT_H */
