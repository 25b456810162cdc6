/* A host written in C against q8vantorpt.h alone, compiled as C11: the
 * header must be plain C, and a whole round of calls must work from C. */
#include "tests/capi/c_host.h"

#include <string.h>

#include "q8vantorpt/q8vantorpt.h"

/* Runs `select 7 as n, 'x' as t` through GetData and checks the record set.
 * Returns 0 on success, otherwise the step that failed. */
int q8_c_host_run(const char* dsn) {
  q8_object* data = NULL;
  q8_error* error = NULL;
  q8_variant* args[2];
  q8_variant* result = q8_variant_new();
  q8_recordset* rs = NULL;
  const char* text = NULL;
  int64_t n = 0;
  int step = 0;

  args[0] = q8_variant_new();
  args[1] = q8_variant_new();
  if (q8_data_new(&data, &error) != 0) {
    step = 1;
    goto done;
  }
  if (q8_variant_set_text(args[0], dsn, &error) != 0 ||
      q8_variant_set_text(args[1], "select 7 as n, 'x' as t", &error) != 0) {
    step = 2;
    goto done;
  }
  if (q8_invoke(data, "GetData", args, 2, result, &error) != 0) {
    step = 3;
    goto done;
  }
  if (q8_variant_get_recordset(result, &rs, &error) != 0 || rs == NULL) {
    step = 4;
    goto done;
  }
  if (q8_recordset_row_count(rs) != 1 || q8_recordset_column_count(rs) != 2 ||
      strcmp(q8_recordset_column_name(rs, 1), "t") != 0) {
    step = 5;
    goto done;
  }
  if (q8_recordset_get_int64(rs, 0, 0, &n, &error) != 0 || n != 7) {
    step = 6;
    goto done;
  }
  if (q8_recordset_text(rs, 0, 1, &text, NULL, &error) != 0 || strcmp(text, "x") != 0) {
    step = 7;
    goto done;
  }
done:
  q8_recordset_free(rs);
  q8_variant_free(result);
  q8_variant_free(args[0]);
  q8_variant_free(args[1]);
  q8_object_free(data);
  q8_error_free(error);
  return step;
}
