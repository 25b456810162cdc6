#!/usr/bin/env bash
# Runs a test program inside the ODBC test environment: a throw-away
# PostgreSQL cluster and the project's own driver registrations. When an
# outer script has set the environment up already, it is used as it is.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=../../scripts/odbc-env.sh
source "$here/../../scripts/odbc-env.sh"
"$@"
status=$?
exit $status
