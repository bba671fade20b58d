#!/usr/bin/env python3
"""TAMBRIL's benchmark program: one build, one way to run and read a sizing, one gap.

    bench/bench.py convergence [options]     robust (or any method) on the corpus

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
import os
import re
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
                timeout: float = 0) -> Run:
    """Sizes `netlist` in a scratch directory with the bundled library. With max_lines, the run
    is stopped once convergence.txt holds that many value lines (then `capped`)."""
    work = tempfile.mkdtemp(prefix="tambril-bench-")
    try:
        shutil.copy(PARAM, os.path.join(work, "param.txt"))
        command = [tambril, "--method", method, "--threads", str(threads),
                   os.path.abspath(netlist), "out.result", inner, outer]
        log = os.path.join(work, "convergence.txt")
        start = time.monotonic()
        with open(os.path.join(work, "stderr"), "w+") as err:
            process = subprocess.Popen(command, cwd=work, stdout=subprocess.DEVNULL, stderr=err)
            capped = False
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
        result = os.path.join(work, "out.result")
        if os.path.exists(result) and not capped:
            with open(result) as f:
                text = f.read()
            found = re.search(r"^Maximum Delay \(s\): (\S+)", text, re.M)
            delay = float(found.group(1)) if found else None
            found = re.search(r"^Runtime +\(s\): (\S+)", text, re.M)
            cpu = float(found.group(1)) if found else None
        return Run(process.returncode, lines, upper_text, delay, cpu, wall, stderr, capped)
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

    def one(circuit: Circuit) -> List[str]:
        netlist = materialise(circuit, tools)
        run = run_tambril(tambril, netlist, args.method, args.threads, args.inner, args.outer,
                          args.max_lines)
        g = gap(run, args.method)
        certified = run.certified()
        met = (g is not None and g <= outer * (1 + 1e-9) and not run.capped
               and run.exit_code == 0 and "without progress" not in run.stderr
               and "did not converge" not in run.stderr)
        note = "capped" if run.capped else ("stalled" if "without progress" in run.stderr
                                            else ("cap" if "did not converge" in run.stderr
                                                  else ("" if run.exit_code == 0 else
                                                        f"exit {run.exit_code}")))
        best = run.best_delay()
        return [circuit.name, circuit.family, str(circuit.gates), str(run.passes),
                str(circuit.limit), percent(g), "" if best is None else f"{best:.6g}",
                "" if certified is None else f"{certified:.6g}", f"{run.wall:.2f}",
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
    conv.add_argument("--tambril", help="this sizer executable instead of the build's")
    conv.add_argument("--progress", action="store_true", help="rows on stderr as they finish")
    conv.add_argument("--summary-only", action="store_true")
    conv.set_defaults(handler=convergence)

    args = parser.parse_args(argv)
    return args.handler(args)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
