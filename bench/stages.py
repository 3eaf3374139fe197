#!/usr/bin/env python3
"""Each stage of image inside a real run, beside the same stage in the cache.

Usage: bench/stages.py BIN [--runs N] [--reps R] [--isas default,avx2,...]
                           [--sizes 4096x4096,1920x1080]

BIN is the bin folder of a bench build (cmake -DEDGESTAR_BENCH=ON), which
holds image, image_staged, image_bench, image_stream_floor and make_bmp.

In a run: image_staged is the program itself, built on the same library with
a clock around each stage (image/stage_clock.hpp), which it reports at exit:
reading the input, gray, edges, triples, the ring's move and writing the
output. Each path runs N times over an existing output, the paths and the
plain image program interleaved at random; the table gives medians in ms, and
the process's CPU time (user plus system, from wait4) beside the stages' sum.
The clocks are the monotonic clock (about 20 ns a reading); a run is one
thread that never waits, so stage times are CPU time but for preemption.

In the cache: image_bench's band_* benchmarks, median of R repetitions: the
stage band by band as a run calls it, on one band's buffers. The edges are
band_edges less band_copy_ring, the copy of a fresh ring each band needs.
"""
import argparse
import json
import os
import random
import re
import statistics
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from versus import cpu_name  # noqa: E402

STAGES = ["read", "gray", "edges", "triples", "ring", "write"]


def supported(binary):
    """This CPU's paths, from --version."""
    line = subprocess.run([binary, "--version"], capture_output=True, text=True).stdout
    return re.search(r"supported: ([a-z0-9 ]+)\)", line).group(1).split()


def run(argv, isa):
    """Stage times (ms) the program reports, if any, and its CPU time (ms)."""
    env = dict(os.environ)
    if isa != "default":
        env["EDGESTAR_ISA"] = isa
    child = subprocess.Popen(argv, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                             text=True)
    err = child.stderr.read()
    _, status, usage = os.wait4(child.pid, 0)
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit(f"failed: {' '.join(argv)}: {err}")
    times = dict(re.findall(r"([a-z]+) ([0-9.]+)", err.partition(":")[2]))
    return {name: float(value) for name, value in times.items()}, \
        (usage.ru_utime + usage.ru_stime) * 1000


def in_cache(binary, size, isas, reps):
    """Median ms of each band benchmark, by name."""
    out = subprocess.run([binary, f"--benchmark_filter=^band_.*/{size}$",
                          f"--benchmark_repetitions={reps}", "--benchmark_min_time=0.2",
                          "--benchmark_enable_random_interleaving=true",
                          "--benchmark_report_aggregates_only=true", "--benchmark_format=json"],
                         capture_output=True, text=True, check=True).stdout
    medians = {}
    for bench in json.loads(out)["benchmarks"]:
        if bench.get("aggregate_name") == "median":
            scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0}[bench["time_unit"]]
            medians[bench["run_name"].split("/")[0]] = bench["cpu_time"] * scale
    cache = {}
    for isa in isas:
        cache[isa] = {"gray": medians[f"band_gray_{isa}"],
                      "edges": medians[f"band_edges_{isa}"] - medians["band_copy_ring"],
                      "triples": medians[f"band_bytes_{isa}"]}
    return cache


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("bin")
    parser.add_argument("--runs", type=int, default=21)
    parser.add_argument("--reps", type=int, default=5)
    parser.add_argument("--isas", default="", help="paths to run (default: all this CPU has)")
    parser.add_argument("--sizes", default="4096x4096,1920x1080")
    args = parser.parse_args()
    staged = f"{args.bin}/image_staged"
    isas = args.isas.split(",") if args.isas else supported(staged)
    print(f"CPU: {cpu_name()}\n")
    work = tempfile.mkdtemp()
    try:
        for size in args.sizes.split(","):
            src = f"{work}/{size}.bmp"
            subprocess.run([f"{args.bin}/make_bmp", *size.split("x"), src], check=True,
                           stdout=subprocess.DEVNULL)
            cases = [(isa, [staged, src, f"{work}/staged-{isa}.bmp", "c"]) for isa in isas]
            cases += [(f"image {isa}", [f"{args.bin}/image", src, f"{work}/image-{isa}.bmp", "c"])
                      for isa in isas]
            cases.append(("floor", [f"{args.bin}/image_stream_floor", src, f"{work}/floor.bmp"]))
            got = {name: [] for name, _ in cases}
            for name, argv in cases:  # the outputs exist, the input is cached
                run(argv, name.split()[-1] if name != "floor" else "default")
            for _ in range(args.runs):
                random.shuffle(cases)
                for name, argv in cases:
                    got[name].append(run(argv, name.split()[-1] if name != "floor" else "default"))
            cache = in_cache(f"{args.bin}/image_bench", size, isas, args.reps)
            med = lambda values: statistics.median(values)
            print(f"{size}, over an existing output: {args.runs} runs of each, interleaved; "
                  f"stream floor {med([c for _, c in got['floor']]):.2f} ms CPU\n")
            print("| path | stage | in the cache | in a run | run / cache |")
            print("|---|---|---|---|---|")
            for isa in isas:
                runs = got[isa]
                for stage in STAGES:
                    inside = med([t[stage] for t, _ in runs])
                    if stage in cache[isa]:
                        print(f"| {isa} | {stage} | {cache[isa][stage]:.3f} | {inside:.3f} "
                              f"| {inside / cache[isa][stage]:.2f} |")
                    else:
                        print(f"| {isa} | {stage} | - | {inside:.3f} | - |")
                pixel = sum(cache[isa].values())
                inside = med([sum(t[s] for s in cache[isa]) for t, _ in runs])
                print(f"| {isa} | gray + edges + triples | {pixel:.3f} | {inside:.3f} "
                      f"| {inside / pixel:.2f} |")
                stages = med([sum(t.values()) for t, _ in runs])
                cpu = med([c for _, c in runs])
                plain = med([c for _, c in got[f"image {isa}"]])
                print(f"| {isa} | all stages; the process's CPU time; image's | - | "
                      f"{stages:.3f}; {cpu:.3f}; {plain:.3f} | - |")
            print()
    finally:
        subprocess.run(["rm", "-rf", work])


if __name__ == "__main__":
    main()
