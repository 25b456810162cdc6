#!/usr/bin/env bash
# Runs the data-access conformance suite (tests/ado) with PostgreSQL through
# psqlODBC as a target. Usage, inside with-odbc-env.sh:
#   conformance_on_postgres.sh PATH/TO/ado_test [gtest options]
# The target variables are set here only, so that the suite's own test list
# (discovered without them) stays as it is.
if [ -z "${TEST_PG_ODBC:-}" ]; then
  echo "SKIPPED: TEST_PG_ODBC is not set (no PostgreSQL test environment)"
  exit 0
fi
export Q8_ADO_CONFORMANCE_PG="$TEST_PG_ODBC" Q8_ADO_DATETIME_PG=timestamp
exec "$@"
