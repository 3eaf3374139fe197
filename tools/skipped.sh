#!/usr/bin/env bash
# Lists the tests a ctest run skipped, each with the reason it gave.
# Usage: tools/skipped.sh BUILD_DIR
set -euo pipefail
log="${1:?usage: tools/skipped.sh BUILD_DIR}/Testing/Temporary/LastTest.log"
awk '
  /^[0-9]+\/[0-9]+ Test: / { name = $NF }
  /^\[ RUN      \] / { name = $NF }
  /: Skipped$/ { if ((getline reason) > 0) print "skipped: " name ": " reason; else print "skipped: " name }
' "$log" | sort -u
