#!/usr/bin/env bash
# Builds in release mode and prints the image pipeline's speed: each stage on
# each instruction set beside a memcpy moving the same bytes, and the whole
# process against the straightforward reference program. Medians of repeated
# runs, measured side by side in one run.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build-bench}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DEDGESTAR_BENCH=ON -DEDGESTAR_TESTS=OFF >/dev/null
cmake --build "$build" >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/bin/make_bmp" 4096 4096 "$work/4096x4096.bmp"
"$build/bin/make_bmp" 1920 1080 "$work/1920x1080.bmp"
"$build/bin/image_bench" --benchmark_repetitions="${REPS:-7}" --benchmark_min_time=0.1 --benchmark_report_aggregates_only=true \
  --benchmark_format=json --benchmark_out="$work/kernels.json" --benchmark_out_format=json >/dev/null
python3 - "$build" "$work" "${RUNS:-15}" <<'PY'
import json, os, statistics, subprocess, sys, time
build, work, runs = sys.argv[1], sys.argv[2], int(sys.argv[3])
med = {}
for b in json.load(open(f"{work}/kernels.json"))["benchmarks"]:
    if b.get("aggregate_name") == "median":
        med[b["run_name"]] = b["real_time"] / 1e6  # ms
for size in ("4096x4096", "1920x1080"):
    print(f"\n{size}: kernel medians in ms, ratio to a memcpy of the same traffic")
    print(f"| stage | copy bound | reference | scalar | avx2 | avx512 |")
    print(f"|---|---|---|---|---|---|")
    for stage in ("gray", "edges", "bytes"):
        copy = med[f"copy_{stage}/{size}"]
        cells = [f"{copy:.2f}"]
        for path in ("reference", "scalar", "avx2", "avx512"):
            name = f"{path}_{stage}/{size}" if path == "reference" else f"{stage}_{path}/{size}"
            t = med.get(name)
            cells.append("-" if t is None else f"{t:.2f} ({t / copy:.2f}×)")
        print(f"| {stage} | " + " | ".join(cells) + " |")

def wall(cmd, out):
    samples = []
    for _ in range(runs):
        if os.path.exists(out):
            os.unlink(out)
        t0 = time.perf_counter()
        subprocess.run(cmd, stdout=subprocess.DEVNULL, check=True)
        samples.append((time.perf_counter() - t0) * 1000)
    return statistics.median(samples)

print("\nwhole process, median wall time in ms (output file removed before each run)")
print("| image | reference program | image | speed-up |")
print("|---|---|---|---|")
for size in ("4096x4096", "1920x1080"):
    src = f"{work}/{size}.bmp"
    fast_out, ref_out = f"{work}/fast.bmp", f"{work}/ref.bmp"
    ref = wall([f"{build}/bin/image_reference", src, ref_out, "c"], ref_out)
    fast = wall([f"{build}/bin/image", src, fast_out, "c"], fast_out)
    same = open(fast_out, "rb").read() == open(ref_out, "rb").read()
    print(f"| {size} | {ref:.1f} | {fast:.1f} | {ref / fast:.1f}× {'(identical output)' if same else '(OUTPUT DIFFERS)'} |")
PY
