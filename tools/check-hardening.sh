#!/usr/bin/env bash
# Checks that a built program carries the build's exploit mitigations:
#   PIE             ELF type DYN with the PIE flag (but for a plain static
#                   program on s390x, whose toolchain cannot link a static
#                   PIE);
#   full RELRO      a GNU_RELRO segment and immediate binding (BIND_NOW);
#   NX stack        a GNU_STACK segment that is not executable;
#   stack protector main, which keeps an address-taken local, checks its
#                   canary (calls __stack_chk_fail);
#   fortified calls the program calls fortified C library functions
#                   (__printf_chk and the like), which only _FORTIFY_SOURCE
#                   callers link in;
#   landing pads    main starts with endbr64 (x86-64), or with paciasp or
#                   a BTI landing pad (aarch64). Whether the CPU enforces
#                   them (CET's IBT and shadow stack, or BTI) is up to the
#                   program's property note, which the linker marks only when
#                   every object linked in is marked: it is reported, not
#                   required, as Debian 12's start files and C library lack
#                   the mark.
# A plain static program (s390x, or any program linked with -static) has no
# dynamic section: its C library applies every relocation at start, then
# write-protects them, so GNU_RELRO alone is full RELRO there.
# Calls are found directly or through the PLT of a dynamic program.
# Debian's hardening-check takes a static PIE for a shared library, and
# stripped of its symbols a program no longer shows where main is. So a
# stripped PROGRAM needs UNSTRIPPED: the same link (the same build ID) with
# its symbols, from which the last three checks read the code.
#
# clang 14 makes no fortified printf-family calls: Debian 12's C library
# fortifies those only through __builtin_va_arg_pack, which clang lacks. With
# --unfortified REASON the check does not require fortified calls; when
# everything else is there it says it skipped them, with REASON, and exits
# with 77 (a test harness's "skipped"), not 0.
# Usage: tools/check-hardening.sh [--unfortified REASON] PROGRAM [UNSTRIPPED]
set -euo pipefail
unfortified=""
if [ "${1:-}" = --unfortified ]; then
  unfortified=${2:?--unfortified needs a reason}
  shift 2
fi
program=${1:?usage: tools/check-hardening.sh [--unfortified REASON] PROGRAM [UNSTRIPPED]}
code=${2:-$program}
failed=0
# check NAME DETAIL COMMAND...: runs COMMAND and reports NAME as there or
# missing (with DETAIL).
check() {
  local name=$1 detail=$2
  shift 2
  if "$@"; then
    echo "  ok       $name"
  else
    echo "  MISSING  $name${detail:+: $detail}"
    failed=1
  fi
}
build_id() { readelf -n "$1" | awk '/Build ID:/ {print $3}'; }

echo "$program:"
machine=$(readelf -h "$program" | awk -F: '/Machine:/ {gsub(/^ +/, "", $2); print $2}')
case "$machine" in
  *X86-64*) objdump=objdump ;;
  *AArch64*) objdump=aarch64-linux-gnu-objdump ;;
  *S/390*) objdump=s390x-linux-gnu-objdump ;;
  *) echo "  unknown machine: $machine" >&2; exit 1 ;;
esac
command -v "$objdump" >/dev/null || objdump=objdump

if [ "$code" != "$program" ] && [ "$(build_id "$code")" != "$(build_id "$program")" ]; then
  echo "  $code is not the same link (build IDs differ)" >&2
  exit 1
fi
if ! grep -q ' T main$' <<<"$(nm "$code" 2>/dev/null)"; then
  echo "  no symbols: name the unstripped program as well" >&2
  exit 1
fi

type=$(readelf -h "$program" | awk '/Type:/ {print $2}')
flags=$(readelf -d "$program" 2>/dev/null | grep -E '\((FLAGS|FLAGS_1)\)' || true)
segments=$(readelf -lW "$program")
stack=$(awk '/GNU_STACK/ {print $(NF - 1)}' <<<"$segments")
disassembly=$("$objdump" -d --no-show-raw-insn "$code")
main=$(awk '/^[0-9a-f]+ <main>:$/ {on = 1; next} on && /^$/ {exit} on' <<<"$disassembly")
first=$(awk 'NF > 1 {print $2; exit}' <<<"$main")
# A call or tail jump to a fortified function (s390x names its return
# register first: brasl %r14,ADDRESS).
calls=$(grep -oE '\s(call|jmp|bl|b|brasl|jg)\s+(%r[0-9]+,)?[0-9a-f]+ <_+[a-z0-9_]+_chk(@plt)?>' <<<"$disassembly" |
  sed 's/.*<//; s/@plt//; s/>//' | sort -u | paste -sd' ' || true)
# A plain static program has no dynamic section.
plain_static() { ! grep -qE '^ +DYNAMIC ' <<<"$segments"; }
exempt_pie() { [[ "$machine" == *S/390* ]] && plain_static; }
properties=$(readelf -n "$program" | sed -n 's/^ *Properties: *//p' | paste -sd' ' || true)

pie() { [ "$type" = DYN ] && grep -qw PIE <<<"$flags"; }
relro() {
  grep -q GNU_RELRO <<<"$segments" && { grep -qw BIND_NOW <<<"$flags" || plain_static; }
}
nx_stack() { [ -n "$stack" ] && [[ "$stack" != *E* ]]; }
canary() { grep -qE '<__stack_chk_fail(_local)?(@plt)?>' <<<"$main"; }
fortified() { [ -n "$calls" ]; }
landing_pad() {
  case "$machine" in
    *X86-64*) [ "$first" = endbr64 ] ;;
    *AArch64*) [ "$first" = paciasp ] || [ "$first" = bti ] ;;
  esac
}

if exempt_pie; then
  echo "  -        PIE: the s390x toolchain cannot link a static PIE"
else
  check "PIE (ELF type DYN, PIE flag)" "type $type" pie
fi
if plain_static; then
  check "full RELRO (GNU_RELRO; a plain static program binds all at start)" "" relro
else
  check "full RELRO (GNU_RELRO, BIND_NOW)" "" relro
fi
check "non-executable stack" "GNU_STACK ${stack:-absent}" nx_stack
check "stack protector (main checks its canary)" "" canary
if [ -n "$calls" ] || [ -z "$unfortified" ]; then
  check "fortified calls${calls:+ ($calls)}" \
    "none found (g++ makes them with -D_FORTIFY_SOURCE; clang 14 makes none for printf-family calls)" \
    fortified
else
  echo "  -        fortified calls: none, not required: $unfortified"
fi
case "$machine" in
  *X86-64*)
    check "landing pads: endbr64 at main" "main starts with $first" landing_pad
    if grep -qE 'x86 feature:.*IBT' <<<"$properties" && grep -qE 'x86 feature:.*SHSTK' <<<"$properties"; then
      echo "  ok       CET enforced where the CPU and kernel have it (IBT, SHSTK in the property note)"
    else
      echo "  -        CET not enforced: the property note claims no IBT and shadow stack (${properties:-none})"
    fi
    ;;
  *AArch64*)
    check "landing pads: PAC/BTI at main" "main starts with $first" landing_pad
    if grep -qE 'AArch64 feature:.*BTI' <<<"$properties"; then
      echo "  ok       BTI enforced where the CPU and kernel have it (BTI in the property note)"
    else
      echo "  -        BTI not enforced: the property note claims no BTI (${properties:-none})"
    fi
    ;;
esac
if [ $failed -eq 0 ] && [ -z "$calls" ] && [ -n "$unfortified" ]; then
  # Read by tools/skipped.sh as a skipped test's reason.
  echo "check-hardening: Skipped"
  echo "fortified calls not checked: $unfortified"
  exit 77
fi
exit $failed
