#!/usr/bin/env bash
# tools/check-hardening.sh on small programs built here with the target's
# compiler: one with every protection, linked dynamically, must pass; each
# program built without one protection must fail on that one alone.
# Usage: tests/check_hardening_test.sh CXX CHECK-SCRIPT
set -euo pipefail
cxx=${1:?usage: check_hardening_test.sh CXX CHECK-SCRIPT}
check=${2:?usage: check_hardening_test.sh CXX CHECK-SCRIPT}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cat >"$dir/p.cpp" <<'PROGRAM'
#include <cstdio>
#include <cstring>
int main(int argc, char** argv) {
  char name[64];
  std::strcpy(name, argc > 1 ? argv[1] : "none");
  std::printf("%s %d\n", name, argc);
  return 0;
}
PROGRAM
hardened=(-O2 -fstack-protector-strong -U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=2 -fPIE -pie
  -Wl,-z,relro,-z,now,-z,noexecstack)
case $("$cxx" -dumpmachine) in
  x86_64*) pads=-fcf-protection=full no_pads=-fcf-protection=none ;;
  aarch64*) pads=-mbranch-protection=standard no_pads=-mbranch-protection=none ;;
  *) pads="" no_pads="" ;;
esac
failures=0
# verdict NAME MISSING FLAGS...: builds with the hardened flags, then FLAGS;
# MISSING is the one check that must fail, empty when none may.
verdict() {
  local name=$1 missing=$2 report status=0
  shift 2
  "$cxx" "${hardened[@]}" $pads "$@" "$dir/p.cpp" -o "$dir/$name"
  report=$(bash "$check" "$dir/$name") || status=$?
  local found
  found=$(grep -E '^  MISSING' <<<"$report" | sed 's/^  MISSING  //; s/ (.*//; s/:.*//' | paste -sd';' || true)
  if { [ -z "$missing" ] && [ $status -ne 0 ]; } || { [ -n "$missing" ] && [ $status -eq 0 ]; } ||
    [ "$found" != "$missing" ]; then
    echo "FAILED $name: status $status, missing '${found}', expected '${missing}'"
    echo "$report"
    failures=$((failures + 1))
  else
    echo "passed $name: status $status${missing:+, missing $missing}"
  fi
}
verdict hardened ""
verdict no-canary "stack protector" -fno-stack-protector
verdict no-pie "PIE" -fno-PIE -no-pie
verdict lazy-binding "full RELRO" -Wl,-z,lazy
verdict executable-stack "non-executable stack" -Wl,-z,execstack
verdict no-fortify "fortified calls" -U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=0
if [ -n "$no_pads" ]; then
  verdict no-landing-pads "landing pads" "$no_pads"
fi
echo "$failures failed"
[ $failures -eq 0 ]
