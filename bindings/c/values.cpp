// The C interface: variants, automation dates and dictionaries.
#include <new>

#include "bindings/c/handles.h"

namespace q8::capi {
namespace {

// A new handle sharing the object `o`, or nullptr for Nothing.
template <class Handle, class T>
Handle* ShareAs(std::shared_ptr<T> o) {
  if (!o) return nullptr;
  auto* h = new Handle;
  if constexpr (std::is_same_v<Handle, q8_dictionary>) {
    h->dictionary = std::move(o);
  } else {
    h->recordset = std::move(o);
  }
  return h;
}

// The object a variant holds when it is a T; nullptr for Empty, Missing and
// Nothing; raises 13 for any other value.
template <class T>
std::shared_ptr<T> ObjectAs(const Variant& v) {
  ObjectPtr o = v.ToObject();
  if (!o) return nullptr;
  auto p = std::dynamic_pointer_cast<T>(o);
  if (!p) RaisePlatform(err::kTypeMismatch);
  return p;
}

}  // namespace
}  // namespace q8::capi

using q8::capi::Guard;
using q8::capi::Require;

extern "C" {

q8_variant* q8_variant_new(void) { return new (std::nothrow) q8_variant; }

void q8_variant_free(q8_variant* value) { delete value; }

int q8_variant_type(const q8_variant* value) {
  if (value == nullptr) return Q8_TYPE_EMPTY;
  switch (value->value.type()) {
    case q8::VarType::kEmpty:
      return Q8_TYPE_EMPTY;
    case q8::VarType::kNull:
      return Q8_TYPE_NULL;
    case q8::VarType::kBool:
      return Q8_TYPE_BOOL;
    case q8::VarType::kInteger:
      return Q8_TYPE_INTEGER;
    case q8::VarType::kLong:
      return Q8_TYPE_LONG;
    case q8::VarType::kDouble:
      return Q8_TYPE_DOUBLE;
    case q8::VarType::kDecimal:
      return Q8_TYPE_DECIMAL;
    case q8::VarType::kDate:
      return Q8_TYPE_DATE;
    case q8::VarType::kString:
      return Q8_TYPE_TEXT;
    case q8::VarType::kObject:
      return Q8_TYPE_OBJECT;
    case q8::VarType::kMissing:
      return Q8_TYPE_MISSING;
  }
  return Q8_TYPE_EMPTY;
}

void q8_variant_copy(q8_variant* to, const q8_variant* from) {
  if (to == nullptr || to == from) return;
  // Copying a text can run out of memory; the target is then left Empty.
  try {
    to->value = from ? from->value : q8::Variant();
  } catch (...) {
    to->value = q8::Variant();
  }
}

void q8_variant_set_empty(q8_variant* value) {
  if (value) value->value = q8::Variant();
}

void q8_variant_set_null(q8_variant* value) {
  if (value) value->value = q8::Variant::Null();
}

void q8_variant_set_missing(q8_variant* value) {
  if (value) value->value = q8::Variant::Missing();
}

void q8_variant_set_bool(q8_variant* value, int v) {
  if (value) value->value = q8::Variant(v != 0);
}

void q8_variant_set_long(q8_variant* value, int32_t v) {
  if (value) value->value = q8::Variant(v);
}

void q8_variant_set_int64(q8_variant* value, int64_t v) {
  if (value) value->value = q8::Variant::FromInt64(v);
}

void q8_variant_set_double(q8_variant* value, double v) {
  if (value) value->value = q8::Variant(v);
}

void q8_variant_set_date(q8_variant* value, double days) {
  if (value) value->value = q8::Variant::Date(days);
}

int32_t q8_variant_set_text(q8_variant* value, const char* utf8, q8_error** error) {
  return Guard(error, [&] {
    Require(value);
    Require(utf8);
    value->value = q8::Variant(std::string(utf8));
  });
}

int32_t q8_variant_set_text_n(q8_variant* value, const char* utf8, size_t length,
                              q8_error** error) {
  return Guard(error, [&] {
    Require(value);
    if (length > 0) Require(utf8);
    value->value = q8::Variant(std::string(utf8 ? utf8 : "", length));
  });
}

int32_t q8_variant_set_decimal(q8_variant* value, const char* text, q8_error** error) {
  return Guard(error, [&] {
    Require(value);
    Require(text);
    // The automation conversion: blanks around, exponents, and 6 beyond 38 digits.
    value->value = q8::Variant(q8::Variant(std::string(text)).ToDecimal());
  });
}

void q8_variant_set_object(q8_variant* value, const q8_object* object) {
  if (value) value->value = q8::Variant(object ? object->object : q8::ObjectPtr());
}

void q8_variant_set_dictionary(q8_variant* value, const q8_dictionary* dictionary) {
  if (value) value->value = q8::Variant(dictionary ? dictionary->dictionary : q8::DictionaryPtr());
}

void q8_variant_set_recordset(q8_variant* value, const q8_recordset* recordset) {
  if (value) value->value = q8::Variant(recordset ? recordset->recordset : q8::ado::RecordsetPtr());
}

int32_t q8_variant_get_bool(const q8_variant* value, int* out, q8_error** error) {
  return Guard(error, [&] {
    Require(value);
    Require(out);
    *out = value->value.ToBool() ? 1 : 0;
  });
}

int32_t q8_variant_get_long(const q8_variant* value, int32_t* out, q8_error** error) {
  return Guard(error, [&] {
    Require(value);
    Require(out);
    *out = value->value.ToLong();
  });
}

int32_t q8_variant_get_int64(const q8_variant* value, int64_t* out, q8_error** error) {
  return Guard(error, [&] {
    Require(value);
    Require(out);
    *out = value->value.ToInt64();
  });
}

int32_t q8_variant_get_double(const q8_variant* value, double* out, q8_error** error) {
  return Guard(error, [&] {
    Require(value);
    Require(out);
    *out = value->value.ToDouble();
  });
}

int32_t q8_variant_get_date(const q8_variant* value, double* days, q8_error** error) {
  return Guard(error, [&] {
    Require(value);
    Require(days);
    *days = value->value.ToDate();
  });
}

int32_t q8_variant_get_text(const q8_variant* value, const char** utf8, size_t* length,
                            q8_error** error) {
  return Guard(error, [&] {
    Require(value);
    Require(utf8);
    const std::string* text = &value->text;
    if (value->value.IsText()) {
      text = &value->value.text();
    } else {
      value->text = value->value.ToText();
    }
    *utf8 = text->c_str();
    if (length) *length = text->size();
  });
}

int32_t q8_variant_get_decimal(const q8_variant* value, const char** text, q8_error** error) {
  return Guard(error, [&] {
    Require(value);
    Require(text);
    value->text = value->value.ToDecimal().ToString();
    *text = value->text.c_str();
  });
}

int q8_variant_object_kind(const q8_variant* value) {
  if (value == nullptr || !value->value.IsObject()) return Q8_KIND_NONE;
  return q8::capi::KindOf(value->value.ToObject());
}

int32_t q8_variant_get_object(const q8_variant* value, q8_object** out, q8_error** error) {
  return Guard(error, [&] {
    Require(value);
    Require(out);
    *out = nullptr;
    q8::ObjectPtr o = value->value.ToObject();
    if (!o) return;
    auto* h = new q8_object;
    h->kind = q8::capi::KindOf(o);
    h->object = std::move(o);
    *out = h;
  });
}

int32_t q8_variant_get_dictionary(const q8_variant* value, q8_dictionary** out, q8_error** error) {
  return Guard(error, [&] {
    Require(value);
    Require(out);
    *out = nullptr;
    *out = q8::capi::ShareAs<q8_dictionary>(q8::capi::ObjectAs<q8::Dictionary>(value->value));
  });
}

int32_t q8_variant_get_recordset(const q8_variant* value, q8_recordset** out, q8_error** error) {
  return Guard(error, [&] {
    Require(value);
    Require(out);
    *out = nullptr;
    *out = q8::capi::ShareAs<q8_recordset>(q8::capi::ObjectAs<q8::ado::Recordset>(value->value));
  });
}

double q8_date_from_parts(int year, int month, int day, int hour, int minute, int second,
                          int millisecond) {
  return q8::date::FromParts({year, month, day, hour, minute, second, millisecond});
}

void q8_date_to_parts(double days, int* year, int* month, int* day, int* hour, int* minute,
                      int* second, int* millisecond) {
  q8::date::Parts p = q8::date::ToParts(days);
  if (year) *year = p.year;
  if (month) *month = p.month;
  if (day) *day = p.day;
  if (hour) *hour = p.hour;
  if (minute) *minute = p.minute;
  if (second) *second = p.second;
  if (millisecond) *millisecond = p.millisecond;
}

q8_dictionary* q8_dictionary_new(void) {
  try {
    auto* h = new q8_dictionary;
    h->dictionary = std::make_shared<q8::Dictionary>();
    return h;
  } catch (...) {
    return nullptr;
  }
}

void q8_dictionary_free(q8_dictionary* dictionary) { delete dictionary; }

size_t q8_dictionary_count(const q8_dictionary* dictionary) {
  return dictionary ? dictionary->dictionary->Count() : 0;
}

const char* q8_dictionary_key(const q8_dictionary* dictionary, size_t index) {
  if (dictionary == nullptr || index >= dictionary->dictionary->Count()) return nullptr;
  return dictionary->dictionary->Items()[index].first.c_str();
}

int32_t q8_dictionary_item(const q8_dictionary* dictionary, size_t index, q8_variant* value,
                           q8_error** error) {
  return Guard(error, [&] {
    Require(dictionary);
    Require(value);
    if (index >= dictionary->dictionary->Count()) q8::RaisePlatform(q8::capi::kSubscriptOutOfRange);
    value->value = dictionary->dictionary->Items()[index].second;
  });
}

int q8_dictionary_get(const q8_dictionary* dictionary, const char* key, q8_variant* value) {
  if (value == nullptr) return 0;
  try {
    if (dictionary == nullptr || key == nullptr) {
      value->value = q8::Variant();
      return 0;
    }
    bool present = dictionary->dictionary->Exists(key);
    value->value = dictionary->dictionary->GetValue(key);
    return present ? 1 : 0;
  } catch (...) {
    value->value = q8::Variant();
    return 0;
  }
}

int32_t q8_dictionary_set(q8_dictionary* dictionary, const char* key, const q8_variant* value,
                          q8_error** error) {
  return Guard(error, [&] {
    Require(dictionary);
    Require(key);
    dictionary->dictionary->SetValue(key, value ? value->value : q8::Variant());
  });
}

int q8_dictionary_exists(const q8_dictionary* dictionary, const char* key) {
  if (dictionary == nullptr || key == nullptr) return 0;
  return dictionary->dictionary->Exists(key) ? 1 : 0;
}

int q8_dictionary_remove(q8_dictionary* dictionary, const char* key) {
  if (dictionary == nullptr || key == nullptr) return 0;
  return dictionary->dictionary->Remove(key) ? 1 : 0;
}

}  // extern "C"
