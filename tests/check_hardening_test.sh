#!/usr/bin/env bash
# tools/check-hardening.sh on small programs built here with the target's
# compiler, linked three ways: dynamically, as a static PIE (where the
# toolchain can) and plain static. One with every protection must pass (a
# plain static program lacks PIE alone, which only s390x, whose toolchain
# cannot link a static PIE, is excused); each program built without one
# protection must fail on that one alone, beside what its link lacks.
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
hardened=(-O2 -fstack-protector-strong -U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=2
  -Wl,-z,relro,-z,now,-z,noexecstack)
target=$("$cxx" -dumpmachine)
case $target in
  x86_64*) pads=-fcf-protection=full no_pads=-fcf-protection=none ;;
  aarch64*) pads=-mbranch-protection=standard no_pads=-mbranch-protection=none ;;
  *) pads="" no_pads="" ;;
esac
failures=0
# verdict LINK NAME MISSING FLAGS...: builds with the hardened flags, LINK's
# flags, then FLAGS; MISSING is what the check must find missing, in its
# order and separated by ';', empty when nothing may be.
verdict() {
  local link=$1 name=$2 missing=$3 report status=0 found
  shift 3
  "$cxx" "${hardened[@]}" $pads ${links[$link]} "$@" "$dir/p.cpp" -o "$dir/$link-$name"
  report=$(bash "$check" "$dir/$link-$name") || status=$?
  found=$(grep -E '^  MISSING' <<<"$report" | sed 's/^  MISSING  //; s/ (.*//; s/:.*//' | paste -sd';' || true)
  if { [ -z "$missing" ] && [ $status -ne 0 ]; } || { [ -n "$missing" ] && [ $status -eq 0 ]; } ||
    [ "$found" != "$missing" ]; then
    echo "FAILED $link $name: status $status, missing '${found}', expected '${missing}'"
    echo "$report"
    failures=$((failures + 1))
  else
    echo "passed $link $name: status $status${missing:+, missing $missing}"
  fi
}
# and A B: the check's findings A then B, without an empty one.
and() { printf '%s' "$1${1:+${2:+;}}$2"; }
declare -A links=([dynamic]="-fPIE -pie" [static-pie]="-fPIE -static-pie" [static]="-static -fno-PIE")
kinds=(dynamic static)
if "$cxx" "${hardened[@]}" ${links[static-pie]} "$dir/p.cpp" -o "$dir/probe" 2>/dev/null; then
  kinds+=(static-pie)
else
  echo "no static PIE: $target's toolchain cannot link one"
fi
for link in "${kinds[@]}"; do
  # What the link itself lacks, and how it gives up binding at start.
  base="" lazy=-Wl,-z,lazy
  if [ "$link" = static ]; then
    [[ $target == s390x* ]] || base=PIE
    lazy=-Wl,-z,norelro
  fi
  verdict "$link" hardened "$base"
  verdict "$link" no-canary "$(and "$base" "stack protector")" -fno-stack-protector
  [ "$link" = dynamic ] && verdict "$link" no-pie "PIE" -fno-PIE -no-pie
  verdict "$link" lazy-binding "$(and "$base" "full RELRO")" "$lazy"
  verdict "$link" executable-stack "$(and "$base" "non-executable stack")" -Wl,-z,execstack
  verdict "$link" no-fortify "$(and "$base" "fortified calls")" -U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=0
  if [ -n "$no_pads" ]; then
    verdict "$link" no-landing-pads "$(and "$base" "landing pads")" "$no_pads"
  fi
done
echo "$failures failed"
[ $failures -eq 0 ]
