/* A C host: lists the reports of an embedded database (Rpt.GetReportList)
 * and runs one query (Data.GetData), through the C interface only.
 *
 *   cc report_host.c $(pkg-config --cflags --libs q8vantorpt) -o report_host
 *   ./report_host DEMO.db */
#include <stdio.h>
#include <stdlib.h>

#include "q8vantorpt/q8vantorpt.h"

/* Prints the error and frees it; returns 1 for main's exit status. */
static int report_error(q8_error* error) {
  fprintf(stderr, "error %d: %s: %s\n", (int)q8_error_number(error), q8_error_source(error),
          q8_error_description(error));
  q8_error_free(error);
  return 1;
}

/* Prints every row of a record set, cells separated by " | ". */
static int print_rows(q8_recordset* rs) {
  size_t rows = q8_recordset_row_count(rs), columns = q8_recordset_column_count(rs);
  for (size_t r = 0; r < rows; ++r) {
    for (size_t c = 0; c < columns; ++c) {
      const char* text = NULL;
      q8_error* error = NULL;
      if (q8_recordset_text(rs, r, c, &text, NULL, &error) != 0) return report_error(error);
      printf("%s%s", c ? " | " : "", text ? text : "NULL");
    }
    printf("\n");
  }
  return 0;
}

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: report_host DEMO.db\n");
    return 2;
  }
  char dsn[4096];
  snprintf(dsn, sizeof dsn,
           "ConnectString={Provider=SQLite;Data Source=%s};DBMS Name=SQLite;DBMS Version=3;"
           "Language=EN;UserID=0",
           argv[1]);
  printf("q8vantorpt %s\n", q8_version());

  q8_error* error = NULL;
  q8_object* rpt = NULL;
  q8_object* data = NULL;
  q8_variant* args[2] = {q8_variant_new(), q8_variant_new()};
  q8_variant* result = q8_variant_new();
  q8_recordset* rs = NULL;
  int status = 1;

  /* Rpt.GetReportList(sDsn): the optional GroupID is left out. */
  if (q8_create("Q8VANTORpt.Rpt", &rpt, &error) != 0 ||
      q8_variant_set_text(args[0], dsn, &error) != 0 ||
      q8_invoke(rpt, "GetReportList", args, 1, result, &error) != 0 ||
      q8_variant_get_recordset(result, &rs, &error) != 0) {
    status = report_error(error);
    goto done;
  }
  if (print_rows(rs) != 0) goto done;
  q8_recordset_free(rs);
  rs = NULL;

  /* Data.GetData(sDsn, StrSql), called by its DISPID. */
  if (q8_data_new(&data, &error) != 0 ||
      q8_variant_set_text(args[1],
                          "select count(*) as lines, sum(FQty) as qty from ICStockBillEntry",
                          &error) != 0 ||
      q8_invoke_dispid(data, 0x60030004, args, 2, result, &error) != 0 ||
      q8_variant_get_recordset(result, &rs, &error) != 0) {
    status = report_error(error);
    goto done;
  }
  status = print_rows(rs);

done:
  q8_recordset_free(rs);
  q8_variant_free(result);
  q8_variant_free(args[0]);
  q8_variant_free(args[1]);
  q8_object_free(data);
  q8_object_free(rpt);
  return status;
}
