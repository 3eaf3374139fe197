#!/usr/bin/env bash
# Builds in release mode and prints the speed tables, measured side by side in
# one run (medians of repeated runs):
#   image     each stage on each instruction set beside a memcpy moving the same
#             bytes, and the whole process against the straightforward program;
#   starmote  force-step pairs per second on each instruction set beside the
#             scalar oracle, and a plot of them against n (bench/starmote-pairs.png,
#             drawn with gnuplot when it is installed).
# Usage: bench/run.sh [image|starmote|all]
set -euo pipefail
cd "$(dirname "$0")/.."
what=${1:-all}
build=${BUILD_DIR:-build-bench}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DEDGESTAR_BENCH=ON -DEDGESTAR_TESTS=OFF >/dev/null
cmake --build "$build" >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if [ "$what" = all ] || [ "$what" = starmote ]; then
"$build/bin/starmote_bench" --benchmark_repetitions="${REPS:-5}" --benchmark_min_time=0.2 \
  --benchmark_report_aggregates_only=true --benchmark_filter="${STARMOTE_FILTER:-.}" \
  --benchmark_out="$work/starmote.json" --benchmark_out_format=json >/dev/null 2>&1
python3 - "$work" <<'PY'
import json, sys
work = sys.argv[1]
rate = {}
for b in json.load(open(f"{work}/starmote.json"))["benchmarks"]:
    if b.get("aggregate_name") == "median":
        name, n = b["run_name"].split("/")
        rate[(name, int(n))] = b["pairs/s"] / 1e9
sizes = sorted({n for _, n in rate})
paths = [p for p in ("oracle", "scalar", "avx2", "avx512") if any((p, n) in rate for n in sizes)]
print("starmote force step: median billion pairs/s (ratio to the scalar oracle)\n")
print("| n | " + " | ".join(paths) + " |")
print("|---|" + "---|" * len(paths))
with open(f"{work}/starmote.dat", "w") as dat:
    dat.write("# n " + " ".join(paths) + "\n")
    for n in sizes:
        cells = []
        for p in paths:
            r = rate.get((p, n))
            cells.append("-" if r is None else f"{r:.3f} ({r / rate[('oracle', n)]:.1f}×)")
        print(f"| {n} | " + " | ".join(cells) + " |")
        dat.write(f"{n} " + " ".join(f"{rate.get((p, n), float('nan')):.4f}" for p in paths) + "\n")
PY
if command -v gnuplot >/dev/null; then
  cols=$(head -1 "$work/starmote.dat" | wc -w)
  names=$(head -1 "$work/starmote.dat" | cut -d' ' -f3-)
  gnuplot <<GP
set terminal pngcairo size 800,480 font "sans,11"
set output "bench/starmote-pairs.png"
set title "starmote force step, one core"
set xlabel "bodies n"
set ylabel "billion pairs per second"
set logscale x 2
set key top left
set grid
plot for [c=2:$((cols - 1))] "$work/starmote.dat" using 1:c with linespoints lw 2 title word("$names", c - 1)
GP
  echo "plot: bench/starmote-pairs.png"
fi
fi

[ "$what" = all ] || [ "$what" = image ] || exit 0
"$build/bin/make_bmp" 4096 4096 "$work/4096x4096.bmp"
"$build/bin/make_bmp" 1920 1080 "$work/1920x1080.bmp"
"$build/bin/image_bench" --benchmark_repetitions="${REPS:-7}" --benchmark_min_time=0.1 --benchmark_report_aggregates_only=true \
  --benchmark_format=json --benchmark_out="$work/kernels.json" --benchmark_out_format=json >/dev/null 2>&1
python3 - "$build" "$work" "${RUNS:-15}" <<'PY'
import json, os, statistics, subprocess, sys, time
build, work, runs = sys.argv[1], sys.argv[2], int(sys.argv[3])
med = {}
for b in json.load(open(f"{work}/kernels.json"))["benchmarks"]:
    if b.get("aggregate_name") == "median":
        med[b["run_name"]] = b["real_time"] / 1e6  # ms
for size in ("4096x4096", "1920x1080"):
    print(f"\n{size}: kernel medians in ms, ratio to a memcpy of the same traffic\n")
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

print("\nwhole process, median wall time in ms (output file removed before each run)\n")
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
