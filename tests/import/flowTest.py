#!/usr/bin/env python3
"""Circuits from real flows, through the built tools.

    flowTest.py TAMBRIL_IMPORT TAMBRIL_EXPORT [SOURCE...]
    flowTest.py TAMBRIL_IMPORT TAMBRIL_EXPORT --rtl TAMBRIL DESIGN.v

Equivalence: every converted test input is equivalent to its source, proved by ABC's cec.
Each source (default: tests/import/data/* and the bundled EPFL sources in ../shared) is
converted with tambril-import and written back as BLIF with tambril-export; `yosys-abc cec`
compares that with the source, outputs and inputs matched by name. Flip-flops are cut in the
source text as the importer cuts them (Q an input, every other pin but the clock an output),
and ASCII AIGER goes through Yosys's reader, since ABC reads neither form.
"""
import os
import re
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
FLOP = re.compile(r"\$_(FF|DFF|DFFE|DFFSR|DFFSRE|SDFF|SDFFE|SDFFCE|ALDFF|ALDFFE)_")


def unique(names):
    return list(dict.fromkeys(names))


def cut_blif(text):
    lines, pending = [], ""
    for raw in text.split("\n"):
        raw = raw.split("#")[0].rstrip()
        if raw.endswith("\\"):
            pending += raw[:-1] + " "
            continue
        lines.append(pending + raw)
        pending = ""
    inputs, outputs, body = [], [], []
    for line in lines:
        words = line.split()
        if words[:1] == [".inputs"]:
            inputs += words[1:]
        elif words[:1] == [".outputs"]:
            outputs += words[1:]
        elif words[:1] == [".latch"]:
            inputs.append(words[2])
            outputs.append(words[1])
        elif words[:1] in ([".subckt"], [".gate"]) and FLOP.match(words[1]):
            pins = dict(word.split("=", 1) for word in words[2:])
            inputs.append(pins["Q"])
            outputs += [net for pin, net in pins.items() if pin not in ("Q", "C")]
        elif words and words[0] != ".model":
            body.append(line)
    header = [".model cut", ".inputs " + " ".join(inputs), ".outputs " + " ".join(unique(outputs))]
    return "\n".join(header + body) + "\n"


def cut_bench(text):
    out = []
    for line in text.split("\n"):
        m = re.match(r"\s*(\S+)\s*=\s*DFF\s*\(\s*(\S+)\s*\)", line.split("#")[0], re.I)
        out += ["INPUT(%s)" % m.group(1), "OUTPUT(%s)" % m.group(2)] if m else [line]
    return "\n".join(out)


def cut_aag(text):
    """Latches become inputs and outputs, bad-state properties outputs; every input and
    output named as the importer names them."""
    lines = text.split("\n")
    m, i, l, o, a, *rest = map(int, lines[0].split()[1:])
    b = rest[0] if rest else 0
    ins, latches = lines[1 : 1 + i], [x.split() for x in lines[1 + i : 1 + i + l]]
    outs = lines[1 + i + l : 1 + i + l + o + b]
    ands = lines[1 + i + l + o + b : 1 + i + l + o + b + a]
    symbols = {}
    for line in lines[1 + i + l + o + b + a :]:
        if line == "c" or not line:
            break
        kind, name = line.split(" ", 1)
        symbols[kind] = name
    name = lambda kind, k: symbols.get("%s%d" % (kind, k), "%s%d" % (kind, k))
    in_names = [name("i", k) for k in range(i)] + [name("l", k) for k in range(l)]
    out_names = [name("o", k) for k in range(o)] + [name("b", k) for k in range(b)]
    out_names += [name("l", k) + "$next" for k in range(l)]
    text = ["aag %d %d 0 %d %d" % (m, i + l, o + b + l, a)]
    text += ins + [x[0] for x in latches] + outs + [x[1] for x in latches] + ands
    text += ["i%d %s" % (k, n) for k, n in enumerate(in_names)]
    text += ["o%d %s" % (k, n) for k, n in enumerate(out_names)]
    return "\n".join(text) + "\n"


def reference(source, work):
    """A file that ABC reads and that computes what the importer's output must compute."""
    text = open(source, errors="replace").read()
    if source.endswith(".aag"):
        cut = os.path.join(work, "cut.aag")
        open(cut, "w").write(cut_aag(text))
        ref = os.path.join(work, "ref.blif")
        subprocess.run(["yosys", "-q", "-p", "read_aiger %s; write_blif %s" % (cut, ref)], check=True)
        return ref
    if source.endswith(".blif") and re.search(r"^\.(latch|subckt|gate|conn) ", text, re.M):
        ref = os.path.join(work, "ref.blif")
        if re.search(r"^\.(subckt|gate|conn) ", text, re.M):
            # Yosys knows its own cells: it writes them as covers for ABC.
            flat = os.path.join(work, "cells.blif")
            open(flat, "w").write(cut_blif(text))
            subprocess.run(["yosys", "-q", "-p", "read_blif %s; opt_clean; write_blif %s" % (flat, ref)], check=True)
        else:
            open(ref, "w").write(cut_blif(text))
        return ref
    if source.endswith(".bench") and re.search(r"=\s*DFF", text, re.I):
        ref = os.path.join(work, "ref.bench")
        open(ref, "w").write(cut_bench(text))
        return ref
    return source


def check(importer, exporter, source, work, extra=()):
    net = os.path.join(work, "t.net")
    out = os.path.join(work, "t.blif")
    subprocess.run([importer, source, "-o", net, *extra], check=True, stderr=subprocess.DEVNULL)
    subprocess.run([exporter, net, "-o", out], check=True)
    ref = reference(source, work)
    cec = subprocess.run(["yosys-abc", "-c", "cec %s %s" % (ref, out)], capture_output=True, text=True)
    return "Networks are equivalent" in cec.stdout, cec.stdout.strip().split("\n")[-1]


def run_rtl(importer, exporter, tambril, design):
    """RTL to a sized result: Yosys through tambril-import, the sizer, the CSV back."""
    with tempfile.TemporaryDirectory() as work:
        path = lambda name: os.path.join(work, name)
        script = "read_verilog %s; synth -flatten; abc -g AND,NAND,OR,NOR,XOR,XNOR; opt_clean; write_blif %s"
        subprocess.run(["yosys", "-q", "-p", script % (design, path("yosys.blif"))], check=True)
        subprocess.run([importer, design, "-o", path("rtl.net")], check=True, stderr=subprocess.DEVNULL)
        subprocess.run([importer, path("yosys.blif"), "-o", path("blif.net")], check=True, stderr=subprocess.DEVNULL)
        same = all(open(path("rtl" + e)).read() == open(path("blif" + e)).read() for e in (".net", ".names"))
        ok, verdict = check(importer, exporter, path("yosys.blif"), path("."))
        open(path("param.txt"), "w").write(open(os.path.join(ROOT, "examples/param.txt")).read())
        subprocess.run([tambril, "rtl.net", "rtl.result"], cwd=work, check=True, stdout=subprocess.DEVNULL)
        subprocess.run([exporter, path("rtl.net"), path("rtl.result"), "-o", path("rtl.csv")], check=True)
        gates = int(open(path("rtl.net")).readline().split()[0])
        result = open(path("rtl.result")).read().split("---------\n")[1].split("\n")
        sizes = [line.split("\t")[2] for line in result if line]
        names = {int(line.split("\t")[0]): line.split("\t")[1] for line in open(path("rtl.names"))}
        ids = [int(line.split("\t")[0]) for line in result if line]
        rows = open(path("rtl.csv")).read().split("\n")[1:-1]
        csv_ok = len(rows) == gates == len(sizes) and all(
            row.rsplit(",", 1)[1] == size and (i not in names or row.startswith(names[i].strip() + ","))
            for row, size, i in zip(rows, sizes, ids))
        print("%s Verilog path = BLIF path, %s equivalent (%s), %d gates sized, CSV %s" % (
            "ok  " if same and ok and csv_ok else "FAIL", "" if ok else "not", verdict, gates,
            "matches" if csv_ok else "differs"))
        sys.exit(0 if same and ok and csv_ok else 1)


def main():
    importer, exporter = sys.argv[1:3]
    if sys.argv[3:4] == ["--rtl"]:
        run_rtl(importer, exporter, sys.argv[4], sys.argv[5])
    sources = sys.argv[3:]
    if not sources:
        data = os.path.join(ROOT, "tests/import/data")
        sources = [os.path.join(data, f) for f in sorted(os.listdir(data))]
        epfl = os.path.join(ROOT, "../shared/benchmarks/epfl")
        for circuit in ("adder", "bar", "max", "sin"):
            sources += [os.path.join(epfl, circuit + ext) for ext in (".aig", ".blif")]
        sources = [s for s in sources if os.path.exists(s)]
    failed = 0
    for source in sources:
        with tempfile.TemporaryDirectory() as work:
            # Also with narrow gates, so that every family is split into trees.
            for extra in ((), ("--max-inputs", "3")):
                ok, verdict = check(importer, exporter, source, work, extra)
                print("%-4s %s %s: %s" % ("ok" if ok else "FAIL", os.path.basename(source), " ".join(extra), verdict))
                failed += not ok
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
