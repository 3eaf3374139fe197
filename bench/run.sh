#!/usr/bin/env bash
# Builds in release mode and prints the speed tables, measured side by side in
# one run (medians of repeated runs):
#   image     each stage on each instruction set beside a memcpy moving the same
#             bytes; then whole runs, fresh and over an existing output, back
#             to back and one run after a pause of a few seconds, with their
#             peak resident memory, of the straightforward program, the build
#             from before the streaming work (BEFORE, a commit), this build
#             and two floor probes: the file work of a streaming run alone,
#             and the work of a run that holds the whole image;
#   starmote  force-step pairs per second on each instruction set beside the
#             scalar oracle, with a plot of them against n (bench/starmote-pairs.png,
#             drawn when gnuplot is installed); then whole runs at n = 1000 and
#             4096 of the straightforward program, starmote on its portable path
#             and starmote on the fastest, back to back and after a pause, with
#             their peak resident memory.
# Usage: bench/run.sh [image|starmote|all]
# Knobs, as environment variables (defaults in brackets):
#   BUILD_DIR       the build folder [build-bench]
#   BEFORE          the commit image's whole runs compare with [5051a7e]
#   REPS            repetitions of each kernel benchmark [7; 5 for starmote]
#   RUNS            back-to-back whole runs of each image program [31]
#   PAUSE_RUNS      whole runs after a pause [10; 3 for starmote], each PAUSE
#                   seconds [3] after the one before
#   REFERENCE_RUNS  runs of the straightforward image program [7]
#   STARMOTE_RUNS   back-to-back whole runs of each starmote program [5]
#   STARMOTE_FILTER which starmote kernel benchmarks run [all]
# Each part prints how long it expects to take when it starts. What the
# bench needs and cannot find it says in one line on standard error: it stops
# without a compiler, CMake, Ninja, Google Benchmark or python3, and goes on
# without the rest (the before columns, peak memory, the plot).
set -euo pipefail
cd "$(dirname "$0")/.."
what=${1:-all}
case "$what" in all | image | starmote) ;; *) echo "usage: bench/run.sh [image|starmote|all]" >&2; exit 2 ;; esac
build=${BUILD_DIR:-build-bench}
die() {
  echo "bench/run.sh: $*" >&2
  exit 1
}
for tool in cmake ninja python3; do
  command -v $tool >/dev/null || die "needs $tool (apt-get install ${tool/ninja/ninja-build})"
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if ! cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DEDGESTAR_BENCH=ON \
  -DEDGESTAR_TESTS=OFF >"$work/configure.log" 2>&1; then
  grep -qi benchmark "$work/configure.log" && die "needs Google Benchmark (apt-get install libbenchmark-dev)"
  die "cannot configure the build: $(grep -m1 -i error "$work/configure.log" || tail -1 "$work/configure.log")"
fi
cmake --build "$build" >"$work/build.log" 2>&1 || die "the build failed: see cmake --build $build"
# Peak resident memory comes from /usr/bin/time; without it the peak columns
# stay empty.
peak_tool=/usr/bin/time
if [ ! -x $peak_tool ]; then
  echo "bench/run.sh: no $peak_tool (apt-get install time): peak memory is not measured" >&2
  peak_tool=""
fi
cpu() {
  lscpu | awk -F: '/^Model name/ {gsub(/^ +/, "", $2); name = $2}
    /^CPU family/ {gsub(/ /, "", $2); family = $2} /^Model:/ {gsub(/ /, "", $2); model = $2}
    END {print "CPU: " name ", family " family ", model " model}'
}

if [ "$what" = all ] || [ "$what" = starmote ]; then
sm_runs=${STARMOTE_RUNS:-5} sm_pause_runs=${PAUSE_RUNS:-3} pause=${PAUSE:-3}
# On a Zen 3 core the kernel table took about a minute, and a round of the
# three programs at n = 4096 about 15 s (the straightforward one 9 s).
echo "starmote: about $(( (100 + sm_runs * 15 + sm_pause_runs * (16 + 6 * pause)) / 60 + 1 )) minutes" \
  "(STARMOTE_RUNS=$sm_runs PAUSE_RUNS=$sm_pause_runs PAUSE=$pause)" >&2
cpu
# Repetitions interleaved at random, so that a slow spell of the shared
# machine does not fall on one size alone.
"$build/bin/starmote_bench" --benchmark_repetitions="${REPS:-5}" --benchmark_min_time=0.2 \
  --benchmark_enable_random_interleaving=true \
  --benchmark_report_aggregates_only=true --benchmark_filter="${STARMOTE_FILTER:-.}" \
  --benchmark_out="$work/starmote.json" --benchmark_out_format=json >/dev/null 2>&1 ||
  die "starmote_bench failed: run $build/bin/starmote_bench to see why"
python3 - "$work" <<'PY'
import json, sys
work = sys.argv[1]
rate = {}
for b in json.load(open(f"{work}/starmote.json"))["benchmarks"]:
    if b.get("aggregate_name") == "median" or b.get("run_type") == "iteration":  # REPS=1: no median
        name, n = b["run_name"].split("/")
        rate[(name, int(n))] = b["pairs/s"] / 1e9
sizes = sorted({n for _, n in rate})
paths = [p for p in ("oracle", "scalar", "sse4", "avx2", "avx512", "avx512vbmi", "neon") if any((p, n) in rate for n in sizes)]
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
set title "starmote force step, one core of $(cpu | sed 's/^CPU: //')"
set xlabel "bodies n"
set ylabel "billion pairs per second"
set logscale x 2
set key outside right center box
set grid
# The ticks at the sizes measured, not at powers of two near them.
set xtics ($(awk 'NR > 1 {printf "%s\"%d\" %d", (NR > 2 ? ", " : ""), $1, $1}' "$work/starmote.dat"))
set offsets graph 0.04, graph 0.04, 0, 0
plot for [c=2:$((cols - 1))] "$work/starmote.dat" using 1:c with linespoints lw 2 title word("$names", c - 1)
GP
  echo "plot: bench/starmote-pairs.png"
else
  echo "no gnuplot: the plot bench/starmote-pairs.png was not redrawn"
fi
python3 - "$build" "$sm_runs" "$sm_pause_runs" "$pause" "$peak_tool" <<'PY'
import os, statistics, subprocess, sys, time
build, runs, pause_runs, pause = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), float(sys.argv[4])
peak_tool = sys.argv[5]
programs = [("reference", [f"{build}/bin/starmote_reference"], {}),
            ("scalar", [f"{build}/bin/starmote"], {"EDGESTAR_ISA": "scalar"}),
            ("starmote", [f"{build}/bin/starmote"], {})]
def run(cmd, env, n, wait=0.0):
    time.sleep(wait)
    t0 = time.perf_counter()
    out = subprocess.run(cmd + [str(n)], env={**os.environ, **env}, stdout=subprocess.PIPE,
                         check=True, text=True).stdout
    return (time.perf_counter() - t0) * 1000, out
def peak(cmd, env, n):
    if not peak_tool:
        return "-"
    r = subprocess.run([peak_tool, "-f", "%M"] + cmd + [str(n)], env={**os.environ, **env},
                       stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, check=True, text=True)
    return f"{int(r.stderr.split()[-1]) / 1024:.1f}"
def p95(s):
    s = sorted(s)
    return s[min(len(s) - 1, round(0.95 * (len(s) - 1)))]
print(f"\nstarmote whole runs, wall time in ms, median / p95: back to back, {runs} interleaved runs;")
print(f"after a pause, {pause_runs} runs of each, each {pause:g} s after the run before it; peak")
print("resident memory in MiB (/usr/bin/time -f %M)\n")
print("| n | runs | reference | scalar | starmote | scalar vs reference | starmote vs reference |")
print("|---|---|---|---|---|---|---|")
for n in (1000, 4096):
    lines = {name: run(cmd, env, n)[1].split(":")[0] for name, cmd, env in programs}
    if len(set(lines.values())) != 1:
        print(f"LINES DIFFER for n = {n}: {lines}")
    for when, count, wait in (("back to back", runs, 0.0), ("after a pause", pause_runs, pause)):
        times = {name: [] for name, _, _ in programs}
        for _ in range(count):
            for name, cmd, env in programs:
                times[name].append(run(cmd, env, n, wait)[0])
        m = {k: statistics.median(v) for k, v in times.items()}
        cells = " | ".join(f"{m[k]:.0f} / {p95(times[k]):.0f}" for k, _, _ in programs)
        print(f"| {n} | {when} | {cells} | {m['reference'] / m['scalar']:.2f}× "
              f"| {m['reference'] / m['starmote']:.2f}× |")
    print(f"| {n} | peak MiB | " + " | ".join(peak(cmd, env, n) for _, cmd, env in programs)
          + " | | |")
PY
fi

[ "$what" = all ] || [ "$what" = image ] || exit 0
runs=${RUNS:-31} pause_runs=${PAUSE_RUNS:-10} pause=${PAUSE:-3}
# 2 sizes × 2 outputs: back to back 4 programs, after a pause 4 pauses a round.
echo "image: about $(( (2 * 2 * pause_runs * 4 * pause + 2 * 2 * runs * 4 / 10 + 130) / 60 + 1 )) minutes" \
  "(RUNS=$runs PAUSE_RUNS=$pause_runs PAUSE=$pause)" >&2
# The build from before the streaming work on image, for side-by-side runs.
# A shallow clone or a source tarball lacks it: the before columns go.
before=${BEFORE:-5051a7e}
before_image=""
if ! command -v git >/dev/null; then
  echo "bench/run.sh: no git to build BEFORE=$before with: the before columns are left out" >&2
elif ! git rev-parse -q --verify "$before^{commit}" >/dev/null 2>&1; then
  echo "bench/run.sh: BEFORE=$before is not a commit of this checkout: the before columns are left out" >&2
elif ! git worktree add --detach "$work/before" "$before" >/dev/null 2>&1; then
  echo "bench/run.sh: cannot check out BEFORE=$before: the before columns are left out" >&2
else
  trap 'git worktree remove --force "$work/before" >/dev/null 2>&1; rm -rf "$work"' EXIT
  if cmake -S "$work/before" -B "$work/before/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DEDGESTAR_TESTS=OFF >/dev/null 2>&1 && cmake --build "$work/before/build" --target image >/dev/null 2>&1; then
    before_image=$work/before/build/bin/image
  else
    echo "bench/run.sh: BEFORE=$before does not build: the before columns are left out" >&2
  fi
fi
"$build/bin/make_bmp" 4096 4096 "$work/4096x4096.bmp"
"$build/bin/make_bmp" 1920 1080 "$work/1920x1080.bmp"
# The widest images: one row, and three (the fewest with interior pixels).
"$build/bin/make_bmp" 16777216 1 "$work/16777216x1.bmp"
"$build/bin/make_bmp" 5592405 3 "$work/5592405x3.bmp"
"$build/bin/image_bench" --benchmark_repetitions="${REPS:-7}" --benchmark_min_time=0.1 --benchmark_report_aggregates_only=true \
  --benchmark_format=json --benchmark_out="$work/kernels.json" --benchmark_out_format=json >/dev/null 2>&1 ||
  die "image_bench failed: run $build/bin/image_bench to see why"
echo
cpu
python3 - "$build" "$work" "${RUNS:-31}" "${PAUSE_RUNS:-10}" "${PAUSE:-3}" "${REFERENCE_RUNS:-7}" \
  "$before_image" "$peak_tool" <<'PY'
import json, os, statistics, subprocess, sys, time
build, work = sys.argv[1], sys.argv[2]
runs, pause_runs, pause, ref_runs = int(sys.argv[3]), int(sys.argv[4]), float(sys.argv[5]), int(sys.argv[6])
before_image, peak_tool = sys.argv[7], sys.argv[8]
med = {}
for b in json.load(open(f"{work}/kernels.json"))["benchmarks"]:
    if b.get("aggregate_name") == "median" or b.get("run_type") == "iteration":  # REPS=1: no median
        med[b["run_name"]] = b["real_time"] / 1e6  # ms
stages = (("gray", "gray", "gray"), ("edgebytes", "edges (bytes, in place)", "edges"),
          ("bytes", "bytes", "bytes"))
paths = [p for p in ("scalar", "sse4", "avx2", "avx512", "avx512vbmi", "neon")
         if any(k.startswith(f"gray_{p}/") for k in med)]
for size in ("4096x4096", "1920x1080"):
    print(f"\n{size}: kernel medians in ms, ratio to a memcpy of the same traffic\n")
    print("| stage | copy bound | reference | " + " | ".join(paths) + " |")
    print("|---|---|---|" + "---|" * len(paths))
    for stage, title, ref in stages:
        copy = med[f"copy_{stage}/{size}"]
        cells = [f"{copy:.2f}"]
        for path in ["reference"] + paths:
            name = f"reference_{ref}/{size}" if path == "reference" else f"{stage}_{path}/{size}"
            t = med.get(name)
            cells.append("-" if t is None else f"{t:.2f} ({t / copy:.2f}×)")
        print(f"| {title} | " + " | ".join(cells) + " |")

programs = ([("before", before_image)] if before_image else []) + [
    ("image", f"{build}/bin/image"), ("stream floor", f"{build}/bin/image_stream_floor"),
    ("floor", f"{build}/bin/image_floor")]
names = [name for name, _ in programs]
reference = f"{build}/bin/image_reference"
def p95(s):
    s = sorted(s)
    return s[min(len(s) - 1, round(0.95 * (len(s) - 1)))]

def timed(name, prog, src, out, mode, wait=0.0):
    if mode == "fresh" and os.path.exists(out):
        os.unlink(out)
    time.sleep(wait)
    t0 = time.perf_counter()
    subprocess.run([prog, src, out, "c"], stdout=subprocess.DEVNULL, check=True)
    return (time.perf_counter() - t0) * 1000

def peak(prog, src, out):  # MiB, from /usr/bin/time -f %M in a run of its own
    if not peak_tool:
        return "-"
    r = subprocess.run([peak_tool, "-f", "%M", prog, src, out, "c"],
                       stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, check=True, text=True)
    return f"{int(r.stderr.split()[-1]) / 1024:.1f}"

def cell(t):
    return f"{statistics.median(t):.1f} / {p95(t):.1f}"

print(f"\nwhole run, wall time in ms, median / p95: back to back, {runs} interleaved runs of "
      f"{', '.join(names)}")
print(f"({ref_runs} runs of the reference program on their own: its hundreds of megabytes")
print(f"of small pages would otherwise land on the others' allocations); after a pause,")
print(f"{pause_runs} runs of each, each one {pause:g} s after the run before it\n")
versus = ["image vs before"] if before_image else []
columns = ["image", "output", "runs", "reference"] + names + versus + ["image vs stream floor"]
print("| " + " | ".join(columns) + " |")
print("|" + "---|" * len(columns))
peaks = []
for size in ("4096x4096", "1920x1080"):
    src = f"{work}/{size}.bmp"
    outs = {name: f"{work}/{name.replace(' ', '-')}.bmp" for name, _ in programs + [("reference", reference)]}
    for mode in ("fresh", "existing"):
        for when in ("back to back", "after a pause"):
            ref = []
            if when == "back to back":
                timed("reference", reference, src, outs["reference"], "existing")
                ref = [timed("reference", reference, src, outs["reference"], mode) for _ in range(ref_runs)]
            times = {name: [] for name, _ in programs}
            for name, prog in programs:  # the existing outputs, and a warm start
                timed(name, prog, src, outs[name], "existing")
            wait = pause if when == "after a pause" else 0.0
            for _ in range(runs if wait == 0.0 else pause_runs):
                for name, prog in programs:
                    times[name].append(timed(name, prog, src, outs[name], mode, wait))
            cells = [cell(ref) if ref else "-"] + [cell(times[n]) for n, _ in programs]
            m = {n: statistics.median(t) for n, t in times.items()}
            if before_image:
                cells.append(f"{m['before'] / m['image']:.2f}× / "
                             f"{p95(times['before']) / p95(times['image']):.2f}×")
            print(f"| {size} | {mode} | {when} | " + " | ".join(cells) +
                  f" | {m['image'] / m['stream floor']:.2f}× |")
    same = all(open(outs[n], "rb").read() == open(outs["image"], "rb").read()
               for n in ["reference"] + (["before"] if before_image else []))
    if not same:
        print(f"OUTPUT DIFFERS for {size}")
for size in ("4096x4096", "1920x1080", "16777216x1", "5592405x3"):
    src = f"{work}/{size}.bmp"
    outs = {name: f"{work}/{name.replace(' ', '-')}.bmp" for name, _ in programs + [("reference", reference)]}
    peaks.append(f"| {size} | " + " | ".join(
        peak(prog, src, outs[name]) for name, prog in [("reference", reference)] + programs) + " |")
print("\npeak resident memory in MiB (/usr/bin/time -f %M)\n")
print("| image | reference | " + " | ".join(names) + " |")
print("|---|---|" + "---|" * len(names))
print("\n".join(peaks))
PY
