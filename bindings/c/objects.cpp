// The C interface: version, errors, the public objects and late-bound calls.
#include <mutex>
#include <new>
#include <span>
#include <vector>

#include "bindings/c/handles.h"
#include "component/methods.h"
#include "component/rights/table_data_access.h"
#include "q8vantorpt/data.h"
#include "q8vantorpt/outside.h"
#include "q8vantorpt/rpt.h"

namespace q8::capi {

int32_t Fail(q8_error** error, const Error& e) noexcept {
  int32_t number = e.number() != 0 ? e.number() : kUnspecifiedFailure;
  if (error != nullptr) {
    try {
      auto* h = new q8_error;
      h->number = number;
      h->source = e.source();
      h->description = e.description();
      h->help_file = e.help_file();
      h->help_context = e.help_context();
      *error = h;
    } catch (...) {
      // Out of memory for the error itself: the status still tells.
    }
  }
  return number;
}

int32_t FailPlatform(q8_error** error, int32_t number) noexcept {
  try {
    return Fail(error, Error(number, "Q8VANTORpt", StandardDescription(number)));
  } catch (...) {
    return number;
  }
}

int32_t FailCurrent(q8_error** error) noexcept {
  try {
    throw;
  } catch (const Error& e) {
    return Fail(error, e);
  } catch (const std::bad_alloc&) {
    return FailPlatform(error, kOutOfMemory);
  } catch (const std::exception& e) {
    try {
      return Fail(error, Error(kUnspecifiedFailure, "Q8VANTORpt", e.what()));
    } catch (...) {
      return kUnspecifiedFailure;
    }
  } catch (...) {
    return FailPlatform(error, kUnspecifiedFailure);
  }
}

int KindOf(const ObjectPtr& o) {
  if (!o) return Q8_KIND_NONE;
  if (dynamic_cast<const Data*>(o.get())) return Q8_KIND_DATA;
  if (dynamic_cast<const Rpt*>(o.get())) return Q8_KIND_RPT;
  if (dynamic_cast<const Dictionary*>(o.get())) return Q8_KIND_DICTIONARY;
  if (dynamic_cast<const ado::Recordset*>(o.get())) return Q8_KIND_RECORDSET;
  return Q8_KIND_OTHER;
}

void Require(const void* handle) {
  if (handle == nullptr) RaisePlatform(err::kObjectNotSet);
}

void Initialize() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterComponent();
    rights::RegisterTableDataAccess();
    rights::SelectDataAccessFromEnvironment();
  });
}

namespace {

int32_t NewObject(ObjectPtr o, q8_object** out) {
  Require(out);
  *out = nullptr;
  auto* h = new q8_object;
  h->kind = KindOf(o);
  h->object = std::move(o);
  *out = h;
  return 0;
}

// The arguments as Variants, run through `call`, then written back.
template <class Call>
int32_t Invoke(q8_object* object, q8_variant* const* args, size_t arg_count, q8_variant* result,
               q8_error** error, Call call) {
  return Guard(error, [&] {
    Require(object);
    if (arg_count > 0) Require(args);
    std::vector<Variant> values;
    values.reserve(arg_count);
    for (size_t i = 0; i < arg_count; ++i) {
      Require(args[i]);
      values.push_back(args[i]->value);
    }
    Variant r;
    std::span<Variant> span(values);
    switch (object->kind) {
      case Q8_KIND_DATA:
        r = call(static_cast<Data&>(*object->object), span);
        break;
      case Q8_KIND_RPT:
        r = call(static_cast<Rpt&>(*object->object), span);
        break;
      default:
        RaisePlatform(err::kNotSupported);
    }
    // By reference: what the method wrote into an in/out parameter goes back.
    for (size_t i = 0; i < arg_count; ++i) args[i]->value = std::move(values[i]);
    if (result != nullptr) result->value = std::move(r);
  });
}

struct MethodInfo {
  std::string name;
  int32_t dispid;
  int min_args;
  int max_args;
};

// The method tables as C can read them; built once, kept for the program's life.
template <class Self>
std::vector<MethodInfo> Describe(const std::vector<MethodEntry<Self>>& table) {
  std::vector<MethodInfo> out;
  for (const auto& m : table)
    out.push_back({std::string(m.name), m.dispid, m.min_args, m.max_args});
  return out;
}

const std::vector<MethodInfo>* MethodsOf(const q8_object* object) {
  if (object == nullptr) return nullptr;
  static const std::vector<MethodInfo> data = Describe(DataMethods());
  static const std::vector<MethodInfo> rpt = Describe(RptMethods());
  if (object->kind == Q8_KIND_DATA) return &data;
  if (object->kind == Q8_KIND_RPT) return &rpt;
  return nullptr;
}

}  // namespace

}  // namespace q8::capi

using q8::capi::Guard;
using q8::capi::Require;

extern "C" {

const char* q8_version(void) { return Q8VANTORPT_VERSION; }

int q8_version_number(void) { return Q8VANTORPT_VERSION_NUMBER; }

void q8_error_free(q8_error* error) { delete error; }

int32_t q8_error_number(const q8_error* error) { return error ? error->number : 0; }

const char* q8_error_source(const q8_error* error) { return error ? error->source.c_str() : ""; }

const char* q8_error_description(const q8_error* error) {
  return error ? error->description.c_str() : "";
}

const char* q8_error_help_file(const q8_error* error) {
  return error ? error->help_file.c_str() : "";
}

int32_t q8_error_help_context(const q8_error* error) { return error ? error->help_context : 0; }

int32_t q8_data_new(q8_object** out, q8_error** error) {
  return Guard(error, [&] {
    Require(out);
    q8::capi::Initialize();
    q8::capi::NewObject(std::make_shared<q8::Data>(), out);
  });
}

int32_t q8_rpt_new(q8_object** out, q8_error** error) {
  return Guard(error, [&] {
    Require(out);
    q8::capi::Initialize();
    q8::capi::NewObject(std::make_shared<q8::Rpt>(), out);
  });
}

int32_t q8_create(const char* prog_id, q8_object** out, q8_error** error) {
  return Guard(error, [&] {
    Require(out);
    Require(prog_id);
    q8::capi::Initialize();
    q8::capi::NewObject(q8::Registry::Instance().Create(prog_id), out);
  });
}

void q8_object_free(q8_object* object) { delete object; }

int q8_object_kind(const q8_object* object) { return object ? object->kind : Q8_KIND_NONE; }

int32_t q8_invoke(q8_object* object, const char* name, q8_variant* const* args, size_t arg_count,
                  q8_variant* result, q8_error** error) {
  if (name == nullptr) return q8::capi::FailPlatform(error, q8::err::kObjectNotSet);
  return q8::capi::Invoke(object, args, arg_count, result, error,
                          [name](auto& self, std::span<q8::Variant> a) {
                            return self.Invoke(std::string_view(name), a);
                          });
}

int32_t q8_invoke_dispid(q8_object* object, int32_t dispid, q8_variant* const* args,
                         size_t arg_count, q8_variant* result, q8_error** error) {
  return q8::capi::Invoke(
      object, args, arg_count, result, error,
      [dispid](auto& self, std::span<q8::Variant> a) { return self.Invoke(dispid, a); });
}

size_t q8_method_count(const q8_object* object) {
  try {
    const auto* methods = q8::capi::MethodsOf(object);
    return methods ? methods->size() : 0;
  } catch (...) {
    return 0;
  }
}

int32_t q8_method_info(const q8_object* object, size_t index, const char** name, int32_t* dispid,
                       int* min_args, int* max_args, q8_error** error) {
  return Guard(error, [&] {
    Require(object);
    const auto* methods = q8::capi::MethodsOf(object);
    if (methods == nullptr) q8::RaisePlatform(q8::err::kNotSupported);
    if (index >= methods->size()) q8::RaisePlatform(q8::capi::kSubscriptOutOfRange);
    const auto& m = (*methods)[index];
    if (name) *name = m.name.c_str();
    if (dispid) *dispid = m.dispid;
    if (min_args) *min_args = m.min_args;
    if (max_args) *max_args = m.max_args;
  });
}

}  // extern "C"
