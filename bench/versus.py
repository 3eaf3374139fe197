#!/usr/bin/env python3
"""Whole runs of two builds' programs, side by side in one run.

Usage: bench/versus.py BEFORE_BIN AFTER_BIN [--runs N] [--starmote-runs N]
                       [--pause-runs N] [--pause S] [--only image,starmote,startup]
                       [--isas default,scalar] [--fresh]

BEFORE_BIN and AFTER_BIN are the bin folders of two builds (each with image,
starmote and make_bmp). For each case the two programs run interleaved, in
the order ABBA, so that drift in the machine's speed falls on both alike:

  image     4096x4096 and 1920x1080 over an existing output (with --fresh,
            into a new one: the output is removed before each run);
  starmote  n = 1000 and 4096;
            each on the default path and with EDGESTAR_ISA=scalar, or the
            paths --isas names;
  startup   image --version and starmote 0 under hyperfine -N, when installed.

Each case runs back to back, then --pause-runs times each after a pause of
--pause seconds. The table gives median wall time and median CPU time (user
plus system, from wait4) in ms, the peak resident memory in MiB (/usr/bin/time
-f %M, one more run of each), and the ratio
AFTER / BEFORE of each median (below 1: AFTER is faster). Timed, both image
programs write the same output file; the outputs each then writes to its own
file must be byte-identical, and the starmote lines must agree
but for the rate.
"""
import argparse
import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time


def cpu_name():
    fields = {}
    for line in subprocess.run(["lscpu"], capture_output=True, text=True).stdout.splitlines():
        key, _, value = line.partition(":")
        fields[key.strip()] = value.strip()
    return (f"{fields.get('Model name', '?')}, family {fields.get('CPU family', '?')}, "
            f"model {fields.get('Model', '?')}")


def timed(argv, env, wait=0.0, remove=None):
    """Wall ms and CPU ms of one run, after removing the file remove."""
    if remove and os.path.exists(remove):
        os.unlink(remove)
    time.sleep(wait)
    start = time.perf_counter()
    child = subprocess.Popen(argv, env={**os.environ, **env}, stdout=subprocess.DEVNULL)
    _, status, usage = os.wait4(child.pid, 0)
    wall = (time.perf_counter() - start) * 1000
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit(f"failed: {' '.join(argv)}")
    return wall, (usage.ru_utime + usage.ru_stime) * 1000


def peak(argv, env):
    """Peak resident MiB, from /usr/bin/time: the child's own rusage would
    count the memory of the Python process it was forked from."""
    r = subprocess.run(["/usr/bin/time", "-f", "%M", *argv], env={**os.environ, **env},
                       stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True, check=True)
    return int(r.stderr.split()[-1]) / 1024


def compare(label, before, after, env, runs, pause_runs, pause, fresh=None):
    """fresh names the file both programs write, removed before each run."""
    rows = []
    timed(before, env)  # warm the page cache and an existing output
    timed(after, env)
    for when, count, wait in (("back to back", runs, 0.0), ("after a pause", pause_runs, pause)):
        if count == 0:
            continue
        got = {"before": [], "after": []}
        for k in range(count):
            order = (("before", before), ("after", after))
            for name, argv in order if k % 2 == 0 else order[::-1]:
                got[name].append(timed(argv, env, wait, fresh))
        med = {name: [statistics.median(r[i] for r in got[name]) for i in range(2)]
               for name in got}
        b, a = med["before"] + [peak(before, env)], med["after"] + [peak(after, env)]
        rows.append(f"| {label} | {when} ({count}) | {b[0]:.1f} | {a[0]:.1f} | {a[0] / b[0]:.3f} "
                    f"| {b[1]:.1f} | {a[1]:.1f} | {a[1] / b[1]:.3f} | {b[2]:.1f} | {a[2]:.1f} |")
        print(rows[-1], flush=True)
    return rows


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("before")
    parser.add_argument("after")
    parser.add_argument("--runs", type=int, default=21)
    parser.add_argument("--starmote-runs", type=int, default=5)
    parser.add_argument("--pause-runs", type=int, default=3)
    parser.add_argument("--pause", type=float, default=3.0)
    parser.add_argument("--only", default="image,starmote,startup")
    parser.add_argument("--isas", default="default,scalar",
                        help="EDGESTAR_ISA values to run, default meaning unset")
    parser.add_argument("--fresh", action="store_true",
                        help="image writes a new output each run instead of over the last")
    args = parser.parse_args()
    parts = args.only.split(",")
    isas = ["" if isa == "default" else isa for isa in args.isas.split(",")]
    print(f"CPU: {cpu_name()}\n")
    print("| case | runs | before wall | after wall | after/before | before CPU | after CPU "
          "| after/before | before MiB | after MiB |")
    print("|---|---|---|---|---|---|---|---|---|---|")
    work = tempfile.mkdtemp()
    try:
        if "image" in parts:
            for size in ("4096x4096", "1920x1080"):
                src = f"{work}/{size}.bmp"
                subprocess.run([f"{args.after}/make_bmp", *size.split("x"), src], check=True,
                               stdout=subprocess.DEVNULL)
                for isa in isas:
                    # Both write the same output while timed: two files' page
                    # cache and blocks differ, and the same program writing
                    # to two files measured up to 3.5% apart (Zen 4,
                    # 1920x1080). Each then writes its own for the comparison.
                    shared = f"{work}/output-{size}.bmp"
                    compare(f"image {size} {isa or 'default'}{' fresh' if args.fresh else ''}",
                            [f"{args.before}/image", src, shared, "c"],
                            [f"{args.after}/image", src, shared, "c"],
                            {"EDGESTAR_ISA": isa}, args.runs, args.pause_runs, args.pause,
                            shared if args.fresh else None)
                    out = {name: f"{work}/{name}-{size}.bmp" for name in ("before", "after")}
                    env = {**os.environ, "EDGESTAR_ISA": isa}
                    for name, binary in (("before", args.before), ("after", args.after)):
                        subprocess.run([f"{binary}/image", src, out[name], "c"], env=env,
                                       stdout=subprocess.DEVNULL, check=True)
                    with open(out["before"], "rb") as b, open(out["after"], "rb") as a:
                        if b.read() != a.read():
                            print(f"OUTPUTS DIFFER: image {size} {isa or 'default'}")
        if "starmote" in parts:
            for n in ("1000", "4096"):
                for isa in isas:
                    env = {"EDGESTAR_ISA": isa}
                    lines = {subprocess.run([f"{d}/starmote", n], env={**os.environ, **env},
                                            capture_output=True, text=True).stdout.split(":")[0]
                             for d in (args.before, args.after)}
                    if len(lines) != 1:
                        print(f"LINES DIFFER: starmote {n} {isa or 'default'}: {lines}")
                    compare(f"starmote {n} {isa or 'default'}", [f"{args.before}/starmote", n],
                            [f"{args.after}/starmote", n], env, args.starmote_runs,
                            args.pause_runs, args.pause)
        if "startup" in parts and shutil.which("hyperfine"):
            print("\nstart-up, hyperfine -N (300 runs after 30 warm-up runs), mean ± sd in ms\n")
            print("| command | before | after | after − before |")
            print("|---|---|---|---|")
            for program, arg in (("image", "--version"), ("starmote", "0")):
                result = f"{work}/hyperfine.json"
                subprocess.run(["hyperfine", "-N", "--warmup", "30", "--runs", "300",
                                "--export-json", result, f"{args.before}/{program} {arg}",
                                f"{args.after}/{program} {arg}"], check=True,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                b, a = json.load(open(result))["results"]
                print(f"| {program} {arg} | {b['mean'] * 1e3:.3f} ± {b['stddev'] * 1e3:.3f} "
                      f"| {a['mean'] * 1e3:.3f} ± {a['stddev'] * 1e3:.3f} "
                      f"| {(a['mean'] - b['mean']) * 1e3:+.3f} |")
        elif "startup" in parts:
            print("\nno hyperfine: start-up not measured (apt-get install hyperfine)")
    finally:
        shutil.rmtree(work)


if __name__ == "__main__":
    main()
