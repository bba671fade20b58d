#!/usr/bin/env python3
"""TAMBRIL's benchmark program: one build, one way to run and read a sizing, one gap.

    bench/bench.py scaling [options]         generated netlists of growing size, threads
    bench/bench.py examples [options]        the bundled (or EPFL) circuits, one row each
    bench/bench.py methods [options]         the sizing methods side by side, with minima
    bench/bench.py convergence [options]     robust (or any method) on the corpus
    bench/bench.py area [options]            minimum area under delay targets
    bench/bench.py liberty [options]         real cells against ABC's sizer, under OpenSTA

Every subcommand builds the sizer and its tools once, as a Release tree in build-bench/ (or
uses --build DIR as it is), runs TAMBRIL in scratch directories, writes its rows to an
untracked folder bench/out/ (a TSV per invocation) and prints summary tables as markdown.
Python 3 standard library only.

The gap of a run is (final delay - lower bound) / lower bound: the final delay is the result
file's "Maximum Delay"; the lower bound is the best certified one (robust: the largest value
of a certificate line of convergence.txt, or the value its warning states), else the lower
bound of the log's last line (classic's closing pass).
"""

import argparse
import concurrent.futures
import datetime
import glob
import hashlib
import os
import re
import resource
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time
from dataclasses import dataclass, field
from typing import Dict, List, Optional

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OUT = os.path.join(ROOT, "bench", "out")
CACHE = os.path.join(ROOT, "bench", "cache", "corpus")
SHARED = os.path.join(os.path.dirname(ROOT), "shared")
PARAM = os.path.join(ROOT, "examples", "param.txt")


# ---- building -------------------------------------------------------------------------------


class Build:
    """The executables of one Release tree."""

    def __init__(self, directory: str):
        self.directory = directory
        self.tambril = os.path.join(directory, "tambril")
        self.gennet = os.path.join(directory, "tools", "gennet", "gennet")
        self.importer = os.path.join(directory, "tools", "import", "tambril-import")
        self.exporter = os.path.join(directory, "tools", "export", "tambril-export")
        self.liberty = os.path.join(directory, "tools", "liberty", "tambril-liberty")
        self.phases = os.path.join(directory, "bench", "tambril_phases")


def build(directory: Optional[str], targets: List[str]) -> Build:
    """Builds `targets` in build-bench/ (Release); a given directory is used as it is."""
    if directory:
        return Build(os.path.abspath(directory))
    directory = os.path.join(ROOT, "build-bench")
    subprocess.run(["cmake", "-S", ROOT, "-B", directory, "-DCMAKE_BUILD_TYPE=Release"],
                   check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", directory, "-j", str(os.cpu_count() or 1), "--target"]
                   + targets, check=True, stdout=subprocess.DEVNULL)
    return Build(directory)


def revision() -> str:
    try:
        rev = subprocess.run(["git", "-C", ROOT, "rev-parse", "--short", "HEAD"], check=True,
                             capture_output=True, text=True).stdout.strip()
        dirty = subprocess.run(["git", "-C", ROOT, "status", "--porcelain",
                                "--untracked-files=no"], capture_output=True, text=True).stdout
        return rev + ("+" if dirty.strip() else "")
    except (OSError, subprocess.CalledProcessError):
        return "unknown"


# ---- one run --------------------------------------------------------------------------------


@dataclass
class Run:
    """What one run of TAMBRIL printed and wrote."""
    exit_code: int
    lines: List[tuple]          # (lower, upper) of every value line of convergence.txt
    upper_text: List[str]       # the upper bounds as printed, to recognise certificate lines
    delay: Optional[float]      # "Maximum Delay (s)" of the result file
    cpu: Optional[float]        # "Runtime (s)" of the result file
    wall: float
    stderr: str
    capped: bool = False        # stopped by the benchmark after max_lines log lines
    iterations: Optional[int] = None  # "Total number of iteration" of standard output
    peak_kib: Optional[int] = None    # peak resident memory, by /usr/bin/time
    checksum: str = ""          # of the result file without its time lines, then the log

    @property
    def passes(self) -> int:
        return len(self.lines)

    def certified(self) -> Optional[float]:
        """The best certified lower bound of a robust run (None if it made none)."""
        stated = re.search(r"within ([0-9.eE+-]+) % of the minimum delay \(certified\)",
                           self.stderr)
        best = None
        # A certificate line repeats the upper bound of the pass before it.
        for k in range(1, len(self.lines)):
            if self.upper_text[k] == self.upper_text[k - 1]:
                lower = self.lines[k][0]
                best = lower if best is None else max(best, lower)
        if stated and self.delay is not None and best is None:
            best = self.delay / (1 + float(stated.group(1)) / 100)
        return best

    def best_delay(self) -> Optional[float]:
        uppers = [upper for _, upper in self.lines]
        return min(uppers) if uppers else None


def gap(run: Run, method: str) -> Optional[float]:
    """The one definition of the gap (see the module's text)."""
    final = run.delay if run.delay is not None else run.best_delay()
    if final is None or not run.lines:
        return None
    lower = run.certified() if method != "classic" else None
    if lower is None:
        lower = run.lines[-1][0] if method == "classic" else None
    if lower is None or lower <= 0:
        return None
    return (final - lower) / lower


def run_tambril(tambril: str, netlist: str, method: str = "robust", threads: int = 1,
                inner: str = "5e-6", outer: str = "0.01", max_lines: int = 0,
                timeout: float = 0, checksum: bool = False, memory: bool = False) -> Run:
    """Sizes `netlist` in a scratch directory with the bundled library. With max_lines, the run
    is stopped once convergence.txt holds that many value lines (then `capped`). `tambril` may
    be any program that takes tambril's command line (the phases driver); threads 0 leaves the
    count to it. With `checksum`, the
    result file (time lines left out by tools/strip-times) and the log are hashed; with
    `memory`, the run goes through /usr/bin/time for its peak memory (not with a stop)."""
    assert not (memory and (max_lines or timeout)), "a stopped run's memory is not measured"
    work = tempfile.mkdtemp(prefix="tambril-bench-")
    try:
        shutil.copy(PARAM, os.path.join(work, "param.txt"))
        command = ([tambril, "--method", method] + (["--threads", str(threads)] if threads else [])
                   + [os.path.abspath(netlist), "out.result", inner, outer])
        if memory:
            command = ["/usr/bin/time", "-f", "%M", "-o", "time.txt"] + command
        log = os.path.join(work, "convergence.txt")
        start = time.monotonic()
        with open(os.path.join(work, "stderr"), "w+") as err, \
                open(os.path.join(work, "stdout"), "w+") as out:
            process = subprocess.Popen(command, cwd=work, stdout=out, stderr=err)
            capped = False
            if not (max_lines or timeout):
                process.wait()
            while process.poll() is None:
                time.sleep(0.05)
                if max_lines and _value_lines(log) >= max_lines:
                    process.send_signal(signal.SIGTERM)
                    process.wait()
                    capped = True
                if timeout and time.monotonic() - start > timeout:
                    process.kill()
                    process.wait()
                    capped = True
            wall = time.monotonic() - start
            err.seek(0)
            stderr = err.read()
            out.seek(0)
            stdout = out.read()
        lines, upper_text = [], []
        if os.path.exists(log):
            with open(log) as f:
                for line in f.read().splitlines()[2:]:
                    parts = line.split("\t")
                    if len(parts) != 2:
                        continue
                    lines.append((float(parts[0]), float(parts[1])))
                    upper_text.append(parts[1])
        if max_lines:
            lines, upper_text = lines[:max_lines], upper_text[:max_lines]
        delay = cpu = None
        digest = ""
        result = os.path.join(work, "out.result")
        if os.path.exists(result) and not capped:
            with open(result) as f:
                text = f.read()
            found = re.search(r"^Maximum Delay \(s\): (\S+)", text, re.M)
            delay = float(found.group(1)) if found else None
            found = re.search(r"^Runtime +\(s\): (\S+)", text, re.M)
            cpu = float(found.group(1)) if found else None
            if checksum:
                stripped = subprocess.run([os.path.join(ROOT, "tools", "strip-times"), result],
                                          check=True, capture_output=True).stdout
                with open(log, "rb") as f:
                    digest = hashlib.sha256(stripped + f.read()).hexdigest()[:16]
        found = re.search(r"^Total number of iteration: (\d+)", stdout, re.M)
        iterations = int(found.group(1)) if found else None
        peak = None
        if memory and os.path.exists(os.path.join(work, "time.txt")):
            with open(os.path.join(work, "time.txt")) as f:
                last = f.read().split()
            peak = int(last[-1]) if last and last[-1].isdigit() else None
        return Run(process.returncode, lines, upper_text, delay, cpu, wall, stderr, capped,
                   iterations, peak, digest)
    finally:
        shutil.rmtree(work, ignore_errors=True)


def _value_lines(log: str) -> int:
    try:
        with open(log, "rb") as f:
            return max(0, f.read().count(b"\n") - 2)
    except OSError:
        return 0


# ---- the corpus -----------------------------------------------------------------------------


@dataclass
class Circuit:
    name: str
    family: str
    gates: int
    limit: int                      # the most log lines allowed to certify
    make: List[str] = field(default_factory=list)   # gennet arguments, or
    source: str = ""                # a file to convert, or
    path: str = ""                  # a netlist as it is


def _seeds(text: str) -> List[int]:
    seeds = []
    for part in text.split(","):
        low, _, high = part.partition("-")
        seeds.extend(range(int(low), int(high or low) + 1))
    return seeds


def _short(size: int) -> str:
    exponent = len(str(size)) - 1
    return f"1e{exponent}" if size == 10 ** exponent else str(size)


def read_corpus(path: str) -> List[Circuit]:
    """Reads the corpus definition (format in the file itself)."""
    circuits = []
    limit = 100
    with open(path) as f:
        for number, line in enumerate(f, 1):
            words = line.split("#", 1)[0].split()
            if not words:
                continue
            kind, rest = words[0], words[1:]
            if kind == "limit":
                limit = int(rest[0])
            elif kind == "examples":
                with open(os.path.join(ROOT, "examples", "circuits.txt")) as listing:
                    for entry in listing:
                        if entry.startswith("#") or not entry.strip():
                            continue
                        name = entry.split()[0]
                        netlist = os.path.join(ROOT, "examples", name + ".net")
                        circuits.append(Circuit(name, "examples", _gates(netlist), limit,
                                                path=netlist))
            elif kind == "convert":
                for name in rest:
                    circuits.append(Circuit(name, "converted", 0, limit,
                                            source=name if os.path.isabs(name) else
                                            os.path.join(SHARED, "benchmarks", name)))
                    circuits[-1].name = os.path.splitext(os.path.basename(name))[0]
            elif kind == "gennet":
                family, seeds, sizes, options = rest[0], None, None, []
                for word in rest[1:]:
                    if word.startswith("seeds="):
                        seeds = _seeds(word[6:])
                    elif word.startswith("sizes="):
                        sizes = [(int(float(s.partition(":")[0])), int(s.partition(":")[2] or 0))
                                 for s in word[6:].split(",")]
                    else:
                        options.append(word)
                if not seeds or not sizes:
                    raise SystemExit(f"{path}:{number}: gennet needs seeds= and sizes=")
                for size, first in sizes:
                    for seed in seeds[:first] if first else seeds:
                        args = ["--gates", str(size), "--seed", str(seed)]
                        args += [re.sub(r"\{gates/(\d+)\}",
                                        lambda m: str(max(1, size // int(m.group(1)))), o)
                                 for o in options]
                        circuits.append(Circuit(f"{family}-{_short(size)}-s{seed}", family,
                                                size, limit, make=args))
            else:
                raise SystemExit(f"{path}:{number}: unknown line '{kind}'")
    return circuits


def _gates(netlist: str) -> int:
    with open(netlist) as f:
        return int(f.readline().split()[0])


def materialise(circuit: Circuit, tools: Build) -> str:
    """The netlist of a corpus circuit, generated or converted into the cache when missing."""
    if circuit.path:
        return circuit.path
    os.makedirs(CACHE, exist_ok=True)
    netlist = os.path.join(CACHE, circuit.name + ".net")
    recipe = netlist + ".how"
    how = " ".join(circuit.make) if circuit.make else circuit.source
    if os.path.exists(netlist) and os.path.exists(recipe) and open(recipe).read() == how:
        circuit.gates = circuit.gates or _gates(netlist)
        return netlist
    if os.path.exists(recipe):
        os.remove(recipe)
    # Both tools write their file whole or not at all (the importer a names file beside it).
    if circuit.make:
        subprocess.run([tools.gennet] + circuit.make + ["-o", netlist], check=True)
    else:
        subprocess.run([tools.importer, circuit.source, "-o", netlist], check=True,
                       stderr=subprocess.DEVNULL)
    with open(recipe, "w") as f:
        f.write(how)
    circuit.gates = _gates(netlist)
    return netlist


# ---- tables ---------------------------------------------------------------------------------


def markdown(header: List[str], rows: List[List[str]], right: str = "") -> str:
    """A markdown table; columns whose letter in `right` is 'r' are right-aligned."""
    align = ["---:" if k < len(right) and right[k] == "r" else "---" for k in range(len(header))]
    lines = ["| " + " | ".join(header) + " |", "|" + "|".join(align) + "|"]
    lines += ["| " + " | ".join(row) + " |" for row in rows]
    return "\n".join(lines)


def write_tsv(name: str, header: List[str], rows: List[List[str]]) -> str:
    os.makedirs(OUT, exist_ok=True)
    stamp = datetime.datetime.now(datetime.timezone.utc).strftime("%Y%m%dT%H%M%SZ")
    path = os.path.join(OUT, f"{name}-{stamp}.tsv")
    with open(path, "w") as f:
        f.write("\t".join(header) + "\n")
        for row in rows:
            f.write("\t".join(row) + "\n")
    return path


def percent(value: Optional[float], digits: int = 2) -> str:
    return "" if value is None else f"{value * 100:.{digits}f}%"


# ---- convergence ----------------------------------------------------------------------------


def convergence(args) -> int:
    tools = build(args.build, ["tambril", "gennet", "tambril-import"])
    tambril = os.path.abspath(args.tambril) if args.tambril else tools.tambril
    circuits = read_corpus(args.corpus)
    if args.only:
        circuits = [c for c in circuits if re.search(args.only, c.name)]
    for circuit in circuits:
        if not circuit.gates:
            materialise(circuit, tools)  # a converted circuit: its size is known once it is
    if args.max_gates:
        circuits = [c for c in circuits if c.gates <= args.max_gates]
    for circuit in circuits:
        materialise(circuit, tools)
    outer = float(args.outer)

    if args.repeat < 1:
        raise SystemExit("bench.py: --repeat needs a count of at least 1")

    def one(circuit: Circuit) -> List[str]:
        netlist = materialise(circuit, tools)
        runs = [run_tambril(tambril, netlist, args.method, args.threads, args.inner, args.outer,
                            args.max_lines) for _ in range(args.repeat)]
        # The runs of one circuit print the same lines; their wall times vary with the machine.
        run = runs[0]
        if any(r.lines != run.lines for r in runs):
            raise SystemExit(f"bench.py: {circuit.name}: the runs' logs differ")
        wall = statistics.median(r.wall for r in runs)
        g = gap(run, args.method)
        certified = run.certified()
        # The bounds are read as printed, to six digits, which moves the gap by up to 1e-5.
        met = (g is not None and g <= outer + 1e-5 and not run.capped
               and run.exit_code == 0 and "without progress" not in run.stderr
               and "did not converge" not in run.stderr)
        note = "capped" if run.capped else ("stalled" if "without progress" in run.stderr
                                            else ("cap" if "did not converge" in run.stderr
                                                  else ("" if run.exit_code == 0 else
                                                        f"exit {run.exit_code}")))
        best = run.best_delay()
        return [circuit.name, circuit.family, str(circuit.gates), str(run.passes),
                str(circuit.limit), percent(g), "" if best is None else f"{best:.6g}",
                "" if certified is None else f"{certified:.6g}", f"{wall:.2f}",
                "yes" if met and run.passes <= circuit.limit else "no", note]

    header = ["circuit", "family", "gates", "passes", "limit", "gap", "best delay (s)",
              "certified (s)", "time (s)", "met", "note"]
    rows: List[Optional[List[str]]] = [None] * len(circuits)
    with concurrent.futures.ThreadPoolExecutor(max_workers=args.jobs) as pool:
        futures = {pool.submit(one, c): k for k, c in enumerate(circuits)}
        for future in concurrent.futures.as_completed(futures):
            k = futures[future]
            rows[k] = future.result()
            if args.progress:
                print("\t".join(rows[k]), file=sys.stderr, flush=True)
    done = [row for row in rows if row is not None]
    path = write_tsv(f"convergence-{args.method}", ["revision", "outer"] + header,
                     [[revision(), args.outer] + row for row in done])
    if not args.summary_only:
        print(markdown(header, done, "llrrrrrrrll"))
        print()
    print(summary(done, outer))
    print(f"\nrows: {os.path.relpath(path, ROOT)}")
    return 0


def summary(rows: List[List[str]], outer: float) -> str:
    """Passes by family (median, worst), and every circuit over its limit or the threshold."""
    families: Dict[str, List[int]] = {}
    for row in rows:
        families.setdefault(row[1], []).append(int(row[3]))
    everything = [int(row[3]) for row in rows]
    table = []
    for family, passes in list(families.items()) + [("all", everything)]:
        met = sum(1 for row in rows if (family == "all" or row[1] == family) and row[9] == "yes")
        table.append([family, str(len(passes)), f"{statistics.median(passes):g}",
                      str(max(passes)), f"{met}/{len(passes)}"])
    text = markdown(["family", "circuits", "median passes", "worst", "met"], table, "lrrrr")
    failing = [row for row in rows if row[9] != "yes"]
    text += f"\n\n{len(failing)} of {len(rows)} circuits over their pass limit or {outer:g}"
    if failing:
        text += ":\n\n" + markdown(["circuit", "passes", "limit", "gap", "note"],
                                   [[r[0], r[3], r[4], r[5], r[10]] for r in failing], "lrrrl")
    return text


# ---- shared by scaling, examples and methods -----------------------------------------------


def generated(tools: Build, gates: int, seed: int) -> str:
    """`gennet --gates N --seed S`, made once into bench/cache/ (gennet writes it whole)."""
    directory = os.path.dirname(CACHE)
    os.makedirs(directory, exist_ok=True)
    netlist = os.path.join(directory, f"gen-{gates}-s{seed}.net")
    if not os.path.exists(netlist):
        subprocess.run([tools.gennet, "--gates", str(gates), "--seed", str(seed), "-o", netlist],
                       check=True)
    return netlist


def examples_listed() -> List[str]:
    """The bundled circuits in the order of examples/circuits.txt."""
    with open(os.path.join(ROOT, "examples", "circuits.txt")) as listing:
        return [line.split()[0] for line in listing
                if line.strip() and not line.startswith("#")]


def every_core() -> int:
    return len(os.sched_getaffinity(0)) if hasattr(os, "sched_getaffinity") else os.cpu_count()


def failed(run: Run, what: str) -> None:
    """Stops the benchmark when the sizer did not finish normally."""
    if run.exit_code != 0 or run.delay is None:
        sys.stderr.write(run.stderr)
        raise SystemExit(f"bench.py: {what}: exit status {run.exit_code}")


def seconds(value: float) -> str:
    return f"{value:.3f}" if value < 1 else (f"{value:.2f}" if value < 100 else f"{value:.1f}")


# ---- scaling --------------------------------------------------------------------------------


CHECKSUMS = os.path.join(ROOT, "bench", "checksums.txt")
PHASES = re.compile(r"(\w+)=(\S+)")
PROFILE = re.compile(r"(\w+) ([0-9.]+) s")


def read_checksums() -> Dict[tuple, str]:
    """bench/checksums.txt: "GATES SEED CHECKSUM [METHOD]" per line (no method: classic)."""
    known = {}
    if os.path.exists(CHECKSUMS):
        with open(CHECKSUMS) as f:
            for line in f:
                words = line.split()
                if len(words) >= 3:
                    known[(int(words[0]), int(words[1]),
                           words[3] if len(words) > 3 else "classic")] = words[2]
    return known


def scaling(args) -> int:
    if not os.access("/usr/bin/time", os.X_OK):
        raise SystemExit("bench.py: scaling needs /usr/bin/time (apt-get install time)")
    if args.repeat < 1:
        raise SystemExit("bench.py: --repeat needs a count of at least 1")
    tools = build(args.build, ["gennet", "tambril_phases"])
    sizes = [int(float(n)) for n in args.sizes.replace(",", " ").split()]
    if args.large:
        sizes.append(4000000)
    thread_counts = [0 if t == "auto" else int(t) for t in args.threads.replace(",", " ").split()]
    known = read_checksums()
    header = ["gates", "connections", "threads", "passes", "sweeps", "read + order (s)",
              "optimise (s)", "wall (s)", "peak (MiB)", "ns/gate/sweep", "checksum"]
    print(markdown(header, [], "rrrrrrrrrrl"), flush=True)
    rows, profiles, pass_ms = [], [], {}
    mismatch = False

    def measure(gates: int, threads: int) -> None:  # threads 0: the sizer's own choice
        nonlocal mismatch
        netlist = generated(tools, gates, args.seed)
        counts, times, sums, profile = [], [], set(), []
        for _ in range(args.repeat):
            run = run_tambril(tools.phases, netlist, args.method, threads, checksum=True,
                              memory=True)
            failed(run, f"{gates} gates, {threads or 'auto'} threads")
            line = next(l for l in run.stderr.splitlines() if l.startswith("gates="))
            phases = dict(PHASES.findall(line))
            counts.append((int(phases["gates"]), int(phases["connections"]),
                           int(phases["passes"]), int(phases["sweeps"])))
            times.append((float(phases["read_order_s"]), float(phases["optimise_s"]), run.wall,
                          run.peak_kib / 1024))
            sums.add(run.checksum)
            line = next(l for l in run.stderr.splitlines() if l.startswith("profile:"))
            profile.append([float(v) for _, v in PROFILE.findall(line)])
        median = [statistics.median(column) for column in zip(*times)]
        gate_count, connections, passes, sweeps = counts[0]
        key = (gates, args.seed, args.method)
        if len(set(counts)) > 1 or len(sums) > 1:
            check, mismatch = "differs between runs: " + " ".join(sorted(sums)), True
        elif key not in known:
            if args.accept:
                with open(CHECKSUMS, "a") as f:
                    method = "" if args.method == "classic" else " " + args.method
                    f.write(f"{gates} {args.seed} {run.checksum}{method}\n")
                known[key] = run.checksum
                check = run.checksum + " (recorded)"
            else:
                check = run.checksum + " (new)"
        elif known[key] == run.checksum:
            check = run.checksum + " ok"
        else:
            check, mismatch = f"{run.checksum} MISMATCH (expected {known[key]})", True
        pass_ms[(gates, threads)] = median[1] * 1e3 / passes
        row = [f"{gate_count:,}", f"{connections:,}", str(threads or "auto"), str(passes),
               str(sweeps),
               seconds(median[0]), seconds(median[1]), seconds(median[2]), f"{median[3]:.0f}",
               f"{median[1] * 1e9 / gate_count / sweeps:.1f}", check]
        print("| " + " | ".join(row) + " |", flush=True)
        rows.append([str(gates), str(args.seed), args.method] + row[2:5]
                    + [f"{t:.3f}" for t in median[:3]] + [f"{median[3]:.0f}", row[9],
                                                          run.checksum, str(len(times))])
        profiles.append([f"{gate_count:,}", str(threads or "auto")]
                        + [seconds(statistics.median(c)) for c in zip(*profile)])

    for gates in sizes:
        for threads in thread_counts:
            measure(gates, threads)
    scaling_row = ""
    if not args.no_scaling and sizes:
        largest = max(sizes)
        for threads in (1, 2):
            if (largest, threads) not in pass_ms:
                measure(largest, threads)
        one, two = pass_ms[(largest, 1)], pass_ms[(largest, 2)]
        scaling_row = (f"scaling at {largest:,} gates: one outer pass {one:.1f} ms with 1 "
                       f"thread, {two:.1f} ms with 2 threads ({two / one:.2f} of the time)")
    if args.profile:
        print()
        print(markdown(["gates", "threads", "start (s)", "resize (s)", "arrival (s)",
                        "multipliers (s)"], profiles, "rrrrrr"))
    if scaling_row:
        print("\n" + scaling_row)
    path = write_tsv("scaling", ["revision", "gates", "seed", "method", "threads", "passes",
                                 "sweeps", "read_order_s", "optimise_s", "wall_s", "peak_MiB",
                                 "ns_per_gate_sweep", "checksum", "runs"],
                     [[revision()] + row for row in rows])
    print(f"\nrows: {os.path.relpath(path, ROOT)}")
    if mismatch:
        print("bench.py: a checksum differs from bench/checksums.txt or between runs",
              file=sys.stderr)
    return 1 if mismatch else 0


# ---- examples -------------------------------------------------------------------------------


EPFL = ["adder", "bar", "div", "hyp", "log2", "max", "multiplier", "sin", "sqrt", "square"]


def convert_epfl(tools: Build, name: str, work: str) -> List[str]:
    """Converts an EPFL circuit into bench/cache/epfl/ (timed) and checks the converted netlist,
    written back as BLIF, against the source with ABC's cec: the columns source ANDs, convert
    (s), equivalent."""
    source = os.path.join(SHARED, "benchmarks", "epfl", name + ".aig")
    if not os.path.exists(source):
        raise SystemExit(f"bench.py: no EPFL circuit {source}")
    directory = os.path.join(os.path.dirname(CACHE), "epfl")
    os.makedirs(directory, exist_ok=True)
    netlist = os.path.join(directory, name + ".net")
    start = time.monotonic()
    subprocess.run([tools.importer, source, "-o", netlist], check=True,
                   stderr=subprocess.DEVNULL)
    converted = time.monotonic() - start
    with open(source, "rb") as f:
        ands = f"{int(f.readline().split()[5]):,}"  # "aig M I L O A"
    verdict = "n/a (no yosys-abc)"
    if shutil.which("yosys-abc"):
        blif = os.path.join(work, name + ".blif")
        subprocess.run([tools.exporter, netlist, "-o", blif], check=True)
        abc = subprocess.run(["yosys-abc", "-c", f"cec {source} {blif}"], capture_output=True,
                             text=True)
        verdict = "yes" if "Networks are equivalent" in abc.stdout else "no"
    return [ands, f"{converted:.3f}", verdict]


def examples(args) -> int:
    targets = ["tambril"] + (["tambril-import", "tambril-export"] if args.epfl else [])
    tools = build(args.build, targets)
    names = args.circuits or (EPFL if args.epfl else examples_listed())
    header = ["circuit"] + (["source ANDs"] if args.epfl else []) + [
        "gates", "passes", "first upper bound (s)", "final delay (s)", "gap", "time (s)"]
    header += ["convert (s)", "equivalent"] if args.epfl else []
    print(markdown(header, [], "l" + "r" * (len(header) - 2) + ("l" if args.epfl else "r")),
          flush=True)
    rows = []
    work = tempfile.mkdtemp(prefix="tambril-bench-")
    try:
        for name in names:
            if args.epfl:
                ands, convert_s, verdict = convert_epfl(tools, name, work)
                netlist = os.path.join(os.path.dirname(CACHE), "epfl", name + ".net")
            else:
                netlist = os.path.join(ROOT, "examples", name + ".net")
                if not os.path.exists(netlist):
                    raise SystemExit(f"bench.py: no bundled circuit {name}")
            run = run_tambril(tools.tambril, netlist, args.method, args.threads)
            failed(run, name)
            row = [name] + ([ands] if args.epfl else []) + [
                f"{_gates(netlist):,}", str(run.iterations), run.upper_text[0],
                f"{run.delay:g}", percent(gap(run, args.method)), f"{run.wall:.2f}"]
            row += [convert_s, verdict] if args.epfl else []
            print("| " + " | ".join(row) + " |", flush=True)
            rows.append(row)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    path = write_tsv("examples-epfl" if args.epfl else "examples",
                     ["revision", "method", "threads"] + header,
                     [[revision(), args.method, str(args.threads or "auto")] + row
                      for row in rows])
    print(f"\nrows: {os.path.relpath(path, ROOT)}")
    return 0


# ---- methods --------------------------------------------------------------------------------


def read_optima(path: str) -> Dict[str, float]:
    """Known minimum delays from a markdown table with a "minimum delay" column; a minimum
    known only as a range ("between A and B") is taken at its upper end."""
    minima: Dict[str, float] = {}
    if not os.path.exists(path):
        return minima
    column = None
    with open(path) as f:
        for line in f:
            cells = [cell.strip() for cell in line.strip().strip("|").split("|")]
            if not line.startswith("|") or len(cells) < 2:
                continue
            if column is None:
                column = next((k for k, c in enumerate(cells) if "minimum delay" in c), None)
                continue
            numbers = re.findall(r"[0-9.]+e[-+]?[0-9]+", cells[column]) \
                if column < len(cells) else []
            if numbers:
                minima[cells[0]] = float(numbers[-1])
    return minima


def methods(args) -> int:
    tools = build(args.build, ["tambril", "gennet"])
    chosen = args.methods.replace(",", " ").split()
    paths = {name: os.path.join(ROOT, "examples", name + ".net") for name in examples_listed()}
    if args.netlists:
        for netlist in sorted(glob.glob(os.path.join(args.netlists, "*.net"))):
            paths[os.path.splitext(os.path.basename(netlist))[0]] = os.path.abspath(netlist)
    if args.large:
        paths["gen1M"] = generated(tools, 1000000, 1)
    for name in args.circuits:
        if name not in paths:
            raise SystemExit(f"bench.py: unknown circuit '{name}'")
    names = args.circuits or list(paths)
    minima = read_optima(args.optima)
    both = " / ".join(chosen)
    header = ["circuit", "gates", f"passes ({both})", "final delay (s)", "gap",
              "above minimum", "time (s)"]
    print(markdown(header, [], "lrrrrrr"), flush=True)
    rows = []
    for name in names:
        gates = _gates(paths[name])
        cells: List[List[str]] = [[], [], [], [], []]
        for method in chosen:
            run = run_tambril(tools.tambril, paths[name], method, args.threads, args.inner,
                              args.outer)
            failed(run, f"{name} with {method}")
            minimum = minima.get(name)
            values = [str(run.iterations), f"{run.delay:g}", percent(gap(run, method)),
                      "" if minimum is None else percent(run.delay / minimum - 1, 3),
                      f"{run.wall:.2f}"]
            for column, value in zip(cells, values):
                column.append(value)
            rows.append([revision(), name, str(gates), method, args.inner, args.outer,
                         str(args.threads or "auto")] + values)
        joined = [" / ".join(column) if any(column) else "" for column in cells]
        print("| " + " | ".join([name, f"{gates:,}"] + joined) + " |", flush=True)
    path = write_tsv("methods", ["revision", "circuit", "gates", "method", "inner", "outer",
                                 "threads", "passes", "delay", "gap", "minimum", "time_s"], rows)
    print(f"\nrows: {os.path.relpath(path, ROOT)}")
    return 0


# ---- area -----------------------------------------------------------------------------------

REFERENCE = os.path.join(ROOT, "tests", "exact", "minimum-area.tsv")
# The generated million-gate netlist (gennet --gates 1000000 --seed 1): its minimum delay lies
# between 4.24468e-09 s (a certified bound of --method robust at OUTER 0.001) and 4.25221e-09 s
# (its fastest sizing); the target is 5 % above the upper end.
LARGE_TARGET = "4.46482e-09"


@dataclass
class AreaRun:
    exit_code: int
    delay: Optional[float]
    area: Optional[float]
    passes: int
    wall: float
    stderr: str


def run_area(tambril: str, netlist: str, target: str, threads: int) -> AreaRun:
    """Sizes `netlist` for minimum area under `target` seconds in a scratch directory."""
    work = tempfile.mkdtemp(prefix="tambril-bench-")
    try:
        shutil.copy(PARAM, os.path.join(work, "param.txt"))
        command = [tambril, "--threads", str(threads), "--delay-target", target,
                   os.path.abspath(netlist), "out.result"]
        start = time.monotonic()
        process = subprocess.run(command, cwd=work, capture_output=True, text=True)
        wall = time.monotonic() - start
        text = ""
        if os.path.exists(os.path.join(work, "out.result")):
            with open(os.path.join(work, "out.result")) as f:
                text = f.read()

        def stated(pattern: str) -> Optional[float]:
            found = re.search(pattern, text, re.M)
            return float(found.group(1)) if found else None

        found = re.search(r"Total number of iteration: (\d+)", process.stdout)
        return AreaRun(process.returncode, stated(r"^Maximum Delay \(s\): (\S+)"),
                       stated(r"^Total Area \(m\^2\): (\S+)"),
                       int(found.group(1)) if found else 0, wall, process.stderr)
    finally:
        shutil.rmtree(work, ignore_errors=True)


def area(args) -> int:
    tools = build(args.build, ["tambril", "gennet"])
    tambril = os.path.abspath(args.tambril) if args.tambril else tools.tambril
    points = []  # (circuit, point, target, exact area)
    with open(args.reference) as f:
        for line in f:
            if line.startswith("#") or not line.strip():
                continue
            fields = line.rstrip("\n").split("\t")
            if fields[2].startswith("+") and (not args.only or re.search(args.only, fields[0])):
                points.append((fields[0], fields[2], fields[3], float(fields[5])))
    rows = []
    for name, point, target, exact in points:
        run = run_area(tambril, os.path.join(ROOT, "examples", name + ".net"), target,
                       args.threads)
        distance = None if run.area is None else run.area / exact - 1
        meets = run.delay is not None and run.delay <= float(target)
        rows.append([name, point, target, "" if run.area is None else f"{run.area:.6g}",
                     f"{exact:.6g}", percent(distance, 3), "yes" if meets else "no",
                     str(run.passes), f"{run.wall:.2f}",
                     "" if run.exit_code == 0 else f"exit {run.exit_code}"])
        if args.progress:
            print("\t".join(rows[-1]), file=sys.stderr, flush=True)
    if args.large:
        run = run_area(tambril, generated(tools, 1000000, 1), args.large_target,
                       args.large_threads)
        meets = run.delay is not None and run.delay <= float(args.large_target)
        rows.append(["gen1M", "+5%", args.large_target,
                     "" if run.area is None else f"{run.area:.6g}", "", "",
                     "yes" if meets else "no", str(run.passes), f"{run.wall:.2f}",
                     f"{args.large_threads} threads" + ("" if run.exit_code == 0 else
                                                        f", exit {run.exit_code}")])
    header = ["circuit", "target", "T (s)", "area (m^2)", "exact (m^2)", "above exact",
              "meets T", "passes", "time (s)", "note"]
    path = write_tsv("area", ["revision"] + header, [[revision()] + row for row in rows])
    print(markdown(header, rows, "llrrrrlrrl"))
    distances = [float(row[5][:-1]) for row in rows if row[5]]
    if distances:
        print(f"\nworst distance to the exact minimum: {max(distances):.3f}%; "
              f"target missed: {sum(1 for row in rows if row[6] != 'yes')}")
    print(f"\nrows: {os.path.relpath(path, ROOT)}")
    return 0


def add_area(commands, common) -> None:
    ar = commands.add_parser("area", parents=[common],
                             help="minimum area under delay targets against the exact minima")
    ar.add_argument("--reference", default=REFERENCE,
                    help="exact minima (tests/exact/minimum-area.tsv)")
    ar.add_argument("--threads", type=int, default=1)
    ar.add_argument("--only", help="only circuits whose name matches this regex")
    ar.add_argument("--large", action="store_true",
                    help="also the generated million-gate netlist at 5 %% above its minimum")
    ar.add_argument("--large-target", default=LARGE_TARGET)
    ar.add_argument("--large-threads", type=int, default=2)
    ar.add_argument("--tambril", help="this sizer executable instead of the build's")
    ar.add_argument("--progress", action="store_true", help="rows on stderr as they finish")
    ar.set_defaults(handler=area)


# ---- liberty --------------------------------------------------------------------------------

ASAP7 = os.path.join(SHARED, "liberty", "asap7")
ASAP7_LIBS = [os.path.join(ASAP7, f"asap7sc7p5t_24_{kind}_RVT_TT.lib")
              for kind in ("SIMPLE", "INVBUF")]
LIBERTY_WORK = os.path.join(ROOT, "bench", "cache", "liberty")
LIBERTY_DESIGNS = ["adder", "bar", "max", "sin"]  # and bench/rtl


def quiet(command: List[str], cwd: str, accept=(0,)) -> str:
    """Runs `command` in `cwd`; its standard output, or an exit with what it printed."""
    process = subprocess.run(command, cwd=cwd, capture_output=True, text=True)
    if process.returncode not in accept:
        sys.exit(f"failed ({process.returncode}): {' '.join(command)}\n"
                 f"{process.stdout}{process.stderr}")
    return process.stdout


def sta_delay(netlist: str, work: str) -> Optional[float]:
    """The critical path delay (ps) of a netlist under OpenSTA, inputs at 0, no output load. A
    clock of 1 ps: OpenSTA ranks paths by slack in single precision, so a long period would hide
    differences below its resolution."""
    with open(netlist) as f:
        top = re.search(r"^module\s+([^\s(]+)", f.read(), re.M).group(1)
    script = os.path.join(work, "sta.tcl")
    with open(script, "w") as f:
        for lib in ASAP7_LIBS:
            f.write(f"read_liberty {lib}\n")
        f.write(f"read_verilog {netlist}\nlink_design {top}\n"
                "create_clock -name clk -period 1\n"
                "set_input_delay 0 -clock clk [all_inputs]\n"
                "set_output_delay 0 -clock clk [all_outputs]\n"
                "report_checks -path_delay max -digits 2\n")
    found = re.search(r"([\d.]+)\s+data arrival time",
                      quiet(["sta", "-no_init", "-exit", script], work))
    return float(found.group(1)) if found else None


def cell_areas(merged: str) -> Dict[str, float]:
    """Each cell's Liberty area (um2)."""
    areas, name = {}, None
    with open(merged) as f:
        for line in f:
            cell = re.match(r"\s*cell\s*\(\s*\"?([^)\"\s]+)", line)
            words = line.split()
            if cell:
                name = cell.group(1)
            elif len(words) >= 3 and words[0] == "area" and name:
                areas[name] = float(words[2].rstrip(";"))
    return areas


def cells_area(netlist: str, areas: Dict[str, float]) -> float:
    """The Liberty areas (um2) of the cells of a netlist, summed."""
    with open(netlist) as f:
        return sum(areas.get(line.split()[0], 0.0) for line in f if line.split())


@dataclass
class LibertyRun:
    """TAMBRIL on a mapped netlist: import, size, export, and what OpenSTA says of the result."""
    delay: Optional[float]   # ps, OpenSTA
    area: float              # um2
    model: Optional[float]   # the sizer's "Maximum Delay (s)"
    wall: float
    cpu: float               # of the three programs


def run_liberty(tools: Build, name: str, work: str, areas: Dict[str, float], tag: str,
                outer: str, model_target: str = "", target_ps: float = 0) -> LibertyRun:
    """Imports `name`_mapped.v (in `work`), sizes it (towards `model_target`, in the sizer's
    own delay, if given) and exports it (towards `target_ps` picoseconds of the cells' delay if
    given) as `name`_`tag`.v."""
    libs = [arg for lib in ASAP7_LIBS for arg in ("--liberty", lib)]
    sized = os.path.join(work, f"{name}_{tag}.v")
    result = f"{name}.{tag}.result"
    sizing = ["--delay-target", model_target] if model_target else []
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.monotonic()
    quiet([tools.importer] + libs + [f"{name}_mapped.v", "-o", f"{name}.net"], work)
    # Exit status 2: the delay target is out of the model's reach (its fastest sizing stays).
    quiet([tools.tambril, "--threads", "1", "--method", "robust"] + sizing
          + [f"{name}.net", result] + (["5e-6", outer] if outer else []), work, (0, 2))
    quiet([tools.exporter, f"{name}.net", result] + libs + ["-o", sized]
          + (["--delay-target", f"{target_ps * 1e-12:.6g}"] if target_ps else []), work)
    wall = time.monotonic() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = after.ru_utime - before.ru_utime + after.ru_stime - before.ru_stime
    with open(os.path.join(work, result)) as f:
        found = re.search(r"^Maximum Delay \(s\): (\S+)", f.read(), re.M)
    return LibertyRun(sta_delay(sized, work), cells_area(sized, areas),
                      float(found.group(1)) if found else None, wall, cpu)


def liberty(args) -> int:
    tools = build(args.build, ["tambril", "tambril-import", "tambril-export", "tambril-liberty"])
    rtl = os.path.join(ROOT, "bench", "rtl")
    epfl = os.path.join(SHARED, "benchmarks", "epfl")
    designs = args.designs or LIBERTY_DESIGNS + sorted(
        os.path.splitext(os.path.basename(v))[0] for v in glob.glob(os.path.join(rtl, "*.v")))
    work = LIBERTY_WORK
    os.makedirs(work, exist_ok=True)
    # ABC reads one library: the cells of the buffer file added to the other (same templates).
    merged = os.path.join(work, "merged.lib")
    with open(merged, "w") as f:
        f.write(quiet([os.path.join(ROOT, "tools", "merge-liberty")] + ASAP7_LIBS, work))
    areas = cell_areas(merged)
    quiet([tools.liberty] + ASAP7_LIBS + ["-o", "param.txt"], work)
    header = ["design", "cells", "mapped (ps)", "ABC (ps)", "ABC (um2)", "TAMBRIL (ps)",
              "(um2)", "wall (s)", "cpu (s)", "at ABC's delay (ps)", "(um2)", "vs ABC's area"]
    rows = []
    for name in designs:
        if os.path.exists(os.path.join(rtl, name + ".v")):
            quiet(["yosys", "-q", "-p", f"read_verilog {os.path.join(rtl, name + '.v')}; "
                   f"synth -flatten -top {name}; aigmap; write_aiger -zinit {name}.aig"], work)
            read = f"read_aiger {name}.aig"
        elif os.path.exists(os.path.join(epfl, name + ".blif")):
            read = f"read_blif {os.path.join(epfl, name + '.blif')}"
        else:
            read = f"read_aiger {os.path.join(epfl, name + '.aig')}"
        sizing = "" if args.tambril_only else f"upsize; dnsize; write_verilog {name}_abc.v"
        quiet(["yosys-abc", "-c", f"read_lib -w merged.lib; {read}; strash; map; topo; "
               f"write_verilog {name}_mapped.v; {sizing}"], work)
        mapped = os.path.join(work, f"{name}_mapped.v")
        with open(mapped) as f:
            cells = sum(1 for line in f if "_ASAP7_75t_R " in line)
        fast = run_liberty(tools, name, work, areas, "tambril", args.outer)
        row = [name, str(cells), f"{sta_delay(mapped, work):.2f}", "", "",
               f"{fast.delay:.2f}", f"{fast.area:.1f}", f"{fast.wall:.2f}", f"{fast.cpu:.2f}",
               "", "", ""]
        if not args.tambril_only:
            abc_v = os.path.join(work, f"{name}_abc.v")
            abc, abc_area = sta_delay(abc_v, work), cells_area(abc_v, areas)
            row[3:5] = [f"{abc:.2f}", f"{abc_area:.1f}"]
            # ABC's delay as the export's target; the sizer's own target scaled by how its
            # model's delay of the fastest sizing compares with that sizing's delay in cells.
            model = f"{abc / fast.delay * fast.model:.6g}"
            small = run_liberty(tools, name, work, areas, "target", args.outer, model, abc)
            row[9:] = [f"{small.delay:.2f}", f"{small.area:.1f}",
                       percent(small.area / abc_area - 1)]
        rows.append(row)
        if args.progress:
            print("\t".join(row), file=sys.stderr, flush=True)
    path = write_tsv("liberty", ["revision"] + header, [[revision()] + row for row in rows])
    print(markdown(header, rows, "lrrrrrrrrrrr"))
    print(f"\nrows: {os.path.relpath(path, ROOT)}")
    return 0


def add_liberty(commands, common) -> None:
    lib = commands.add_parser(
        "liberty", parents=[common],
        help="TAMBRIL against ABC's gate sizer on netlists of ASAP7 cells, timed by OpenSTA",
        description="Each design (an EPFL circuit of ../shared/benchmarks/epfl, or a design of "
        "bench/rtl synthesised by Yosys into an AIG) is mapped by ABC to the two combinational "
        "ASAP7 libraries merged into one (strash; map; topo) and sized by ABC (upsize; dnsize) "
        "and by TAMBRIL (tambril-import --liberty, tambril --method robust, tambril-export "
        "--liberty; wall and processor time of the three); OpenSTA times the netlists (inputs "
        "at 0, no output load); areas are the cells' Liberty areas summed. TAMBRIL also sizes "
        "for the least area at ABC's delay. Scratch files go to bench/cache/liberty.")
    lib.add_argument("designs", nargs="*",
                     help="default: adder bar max sin and the designs of bench/rtl")
    lib.add_argument("--outer", default="", help="the sizer's outer threshold (default: its own)")
    lib.add_argument("--tambril-only", action="store_true",
                     help="without ABC's sizer (for the largest circuits, such as hyp)")
    lib.add_argument("--progress", action="store_true", help="rows on stderr as they finish")
    lib.set_defaults(handler=liberty)


def add_subcommands(commands, common) -> None:
    """The scaling, examples and methods subcommands and their options."""
    scale = commands.add_parser("scaling", parents=[common],
                                help="generated netlists of growing size with each thread count")
    scale.add_argument("--sizes", default="1000 10000 100000 1000000",
                       help='gate counts, as "1000 1e4" (default: 1e3 to 1e6)')
    scale.add_argument("--large", action="store_true", help="also 4,000,000 gates")
    scale.add_argument("--threads", default=str(every_core()),
                       help='thread counts, as "1 2 auto" (auto: the sizer chooses; default: '
                       'every core)')
    scale.add_argument("--repeat", type=int, default=1, help="runs per row (medians)")
    scale.add_argument("--seed", type=int, default=1)
    scale.add_argument("--method", default="classic")
    scale.add_argument("--profile", action="store_true",
                       help="also where the optimiser's time goes, step by step")
    scale.add_argument("--no-scaling", action="store_true",
                       help="without the closing row (one pass with 1 and 2 threads)")
    scale.add_argument("--accept", action="store_true",
                       help="record checksums for sizes that have none yet")
    scale.set_defaults(handler=scaling)

    ex = commands.add_parser("examples", parents=[common],
                             help="the bundled circuits (or the EPFL ones), one row each")
    ex.add_argument("circuits", nargs="*", help="only these circuits")
    ex.add_argument("--epfl", action="store_true",
                    help="the EPFL arithmetic circuits, converted and checked with ABC")
    ex.add_argument("--method", default="classic")
    ex.add_argument("--threads", type=int, default=0, help="default: the sizer chooses")
    ex.set_defaults(handler=examples)

    meth = commands.add_parser("methods", parents=[common],
                               help="the sizing methods side by side, with the known minima")
    meth.add_argument("circuits", nargs="*", help="only these circuits")
    meth.add_argument("--netlists", help="also every DIR/*.net")
    meth.add_argument("--large", action="store_true",
                      help="also the generated 1,000,000-gate netlist (seed 1)")
    meth.add_argument("--methods", default="classic robust")
    meth.add_argument("--inner", default="5e-6")
    meth.add_argument("--outer", default="0.01")
    meth.add_argument("--threads", type=int, default=0, help="default: the sizer chooses")
    meth.add_argument("--optima", default=os.path.join(SHARED, "reference", "optima.md"),
                      help="known minima, a markdown table with a 'minimum delay' column")
    meth.set_defaults(handler=methods)


def main(argv: List[str]) -> int:
    parser = argparse.ArgumentParser(prog="bench/bench.py", description=__doc__.split("\n")[0])
    commands = parser.add_subparsers(dest="command", required=True)
    # Options of every subcommand.
    common = argparse.ArgumentParser(add_help=False)
    common.add_argument("--build", help="use this build tree as it is (default: build-bench/)")

    conv = commands.add_parser("convergence", parents=[common],
                               help="a sizing method on the convergence corpus")
    conv.add_argument("--corpus", default=os.path.join(ROOT, "bench", "corpus.txt"))
    conv.add_argument("--method", default="robust")
    conv.add_argument("--threads", type=int, default=1)
    conv.add_argument("--inner", default="5e-6")
    conv.add_argument("--outer", default="0.01")
    conv.add_argument("--only", help="only circuits whose name matches this regex")
    conv.add_argument("--max-gates", type=int, default=0, help="skip larger circuits")
    conv.add_argument("--max-lines", type=int, default=0,
                      help="stop a run after this many log lines (for slow baselines)")
    conv.add_argument("--jobs", type=int, default=1, help="circuits run at once")
    conv.add_argument("--repeat", type=int, default=1,
                      help="runs per circuit; the time is their median")
    conv.add_argument("--tambril", help="this sizer executable instead of the build's")
    conv.add_argument("--progress", action="store_true", help="rows on stderr as they finish")
    conv.add_argument("--summary-only", action="store_true")
    conv.set_defaults(handler=convergence)
    add_subcommands(commands, common)
    add_area(commands, common)
    add_liberty(commands, common)

    args = parser.parse_args(argv)
    return args.handler(args)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
