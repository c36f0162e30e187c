#!/usr/bin/env python3
"""Reading every file of the benchmark corpus through orvelpacket, against the
C++ read bench (bench_public_reads) on the same archive and the same order,
in one run. Goal: Archive.read at most 1.3x the C++ time per file.

    cmake --build BUILD --target orvelpacket_python bench_public_reads vrk
    /usr/bin/python3 bench/python_reads.py [CORPUS_DIR] [BUILD]

CORPUS_DIR defaults to /tmp/corpus/loose (../shared/bench/make_corpus.cpp),
BUILD to build-py. The archives (vrk create of the corpus, advanced and
basic) are made once under /tmp/orvel-bench and kept. Each round runs the C++
pass, then the Python passes, all after a pass that warms the caches; the
best round of each counts, so that a burst of other work on the machine does
not decide the comparison.
"""

import os
import random
import subprocess
import sys
import tempfile
import time

ROUNDS = int(os.environ.get("ROUNDS", "3"))
ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
corpus = sys.argv[1] if len(sys.argv) > 1 else "/tmp/corpus/loose"
build = os.path.abspath(sys.argv[2] if len(sys.argv) > 2 else os.path.join(ROOT, "build-py"))
sys.path.insert(0, os.path.join(build, "python"))
import orvelpacket  # noqa: E402 (from the build)

cpp_bench = os.path.join(build, "bench", "bench_public_reads")
vrk = os.path.join(build, "tools", "vrk", "vrk")
for path, target in ((cpp_bench, "bench_public_reads"), (vrk, "vrk")):
    if not os.access(path, os.X_OK):
        sys.exit(f"python_reads: {path} missing; cmake --build {build} --target {target}")

names = sorted(os.path.relpath(os.path.join(d, f), corpus)
               for d, _, files in os.walk(corpus) for f in files)
if not names:
    sys.exit(f"python_reads: no corpus at {corpus} (see ../shared/bench)")
work = "/tmp/orvel-bench"
os.makedirs(work, exist_ok=True)


def archive(variant):
    path = os.path.join(work, f"vrk-corpus{len(names)}" + (".vrk" if variant == "advanced" else ".pak"))
    if not os.path.exists(path + ".built"):
        print(f"vrk create of the corpus ({variant}; once, takes a while)...", file=sys.stderr)
        extra = [] if variant == "advanced" else ["--basic"]
        subprocess.run([vrk, "create", "-q", path, *extra, "-C", corpus, "."], check=True)
        open(path + ".built", "w").close()
    return path


order = names[:]
random.Random(42).shuffle(order)


def cpp_pass(path, order_file):
    out = subprocess.run([cpp_bench, path, order_file], check=True, capture_output=True, text=True)
    return float(out.stdout.split()[1])


def python_passes(path):
    buffer = bytearray(64 << 20)
    with orvelpacket.open(path) as a:
        read, read_into = a.read, a.read_into
        for name in order:  # warms the caches
            read(name)
        t0 = time.perf_counter_ns()
        for name in order:
            read(name)
        t1 = time.perf_counter_ns()
        for name in order:
            read_into(name, buffer)
        t2 = time.perf_counter_ns()
    per_file = 1000.0 * len(order)
    return (t1 - t0) / per_file, (t2 - t1) / per_file


with tempfile.NamedTemporaryFile("w", suffix=".order") as f:
    f.write("\n".join(order) + "\n")
    f.flush()
    print(f"corpus: {corpus}, {len(names)} files; best of {ROUNDS} rounds, warm cache, "
          f"us per file")
    print(f"{'archive':10} {'C++ ReadFileTo':>15} {'Python read':>12} {'read_into':>10} "
          f"{'read / C++':>11} {'read_into / C++':>16}")
    verdicts = []
    for variant in ("advanced", "basic"):
        path = archive(variant)
        cpp, py, py_into = [], [], []
        for _ in range(ROUNDS):
            cpp.append(cpp_pass(path, f.name))
            r, ri = python_passes(path)
            py.append(r)
            py_into.append(ri)
        c, p, pi = min(cpp), min(py), min(py_into)
        print(f"{variant:10} {c:15.2f} {p:12.2f} {pi:10.2f} {p / c:11.3f} {pi / c:16.3f}")
        verdicts.append((variant, p / c))
    for variant, ratio in verdicts:
        print(f"{variant}: Python read / C++ = {ratio:.3f} (goal <= 1.30: "
              f"{'met' if ratio <= 1.30 else 'MISSED'})")
