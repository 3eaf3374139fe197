#!/usr/bin/env bash
# Builds the BMP fuzzer with clang's libFuzzer and sanitizers and runs it for
# SECONDS (default 60) on the seed corpus. New inputs go to fuzz/findings/;
# a crash leaves its input there too, to be added to fuzz/regressions/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz >/dev/null
mkdir -p fuzz/findings/corpus
exec build-fuzz/bin/bmp_fuzz -max_total_time="$seconds" -max_len=16384 -timeout=10 \
  -rss_limit_mb=4096 -print_final_stats=1 -artifact_prefix=fuzz/findings/ \
  fuzz/findings/corpus fuzz/corpus
