#!/usr/bin/env python3
"""A design from RTL to a sized netlist of ASAP7 cells, through the built tools.

    flowTest.py TAMBRIL TAMBRIL_LIBERTY TAMBRIL_IMPORT TAMBRIL_EXPORT DESIGN.v

Yosys maps DESIGN.v to the ASAP7 cells of ../shared/liberty/asap7 (flip-flops with
dfflibmap, logic with abc -liberty on the combinational files merged into one); TAMBRIL sizes
it (tambril-liberty, tambril-import --liberty, tambril, tambril-export --liberty). The sized
netlist must be the mapped one with only cell names changed, every cell must keep its
function and pins, and OpenSTA must find its critical path shorter than the mapped one's.
"""
import itertools
import os
import re
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
ASAP7 = os.path.join(ROOT, "..", "shared", "liberty", "asap7")
LIBS = [os.path.join(ASAP7, "asap7sc7p5t_24_%s_RVT_TT.lib" % kind)
        for kind in ("SIMPLE", "INVBUF", "SEQ")]
CELL = re.compile(r"\b(\w+_ASAP7_75t_R)\b")


def run(args, cwd):
    result = subprocess.run(args, cwd=cwd, capture_output=True, text=True)
    if result.returncode != 0:
        sys.exit("failed: %s\n%s%s" % (" ".join(args), result.stdout, result.stderr))
    return result.stdout


def functions(paths):
    """Each cell's pins and the truth table of each output, from the Liberty text."""
    cells = {}
    for path in paths:
        for block in re.split(r"\n  cell \(", open(path).read())[1:]:
            name = block[:block.index(")")]
            pins = re.findall(r"pin \((\w+)\) \{\s*direction : (\w+);(?:\s*function : \"([^\"]*)\";)?",
                              block)
            inputs = sorted(p for p, d, f in pins if d == "input")
            outputs = {}
            for pin, direction, function in pins:
                if direction != "output" or not function:
                    continue
                expr = function.replace("!", " not ").replace("*", " and ").replace("+", " or ")
                rows = []
                for values in itertools.product((False, True), repeat=len(inputs)):
                    env = dict(zip(inputs, values))
                    try:
                        rows.append(bool(eval(expr, {}, env)))
                    except NameError:  # a state variable of a flip-flop
                        rows = function
                        break
                outputs[pin] = tuple(rows) if isinstance(rows, list) else rows
            cells[name] = (tuple(inputs), tuple(sorted(outputs.items())))
    return cells


def critical_path(netlist, top, work):
    script = os.path.join(work, "sta.tcl")
    with open(script, "w") as f:
        for lib in LIBS:
            f.write("read_liberty %s\n" % lib)
        f.write("read_verilog %s\nlink_design %s\n" % (netlist, top))
        f.write("create_clock -name clk -period 1000 [get_ports clk]\n")
        f.write("set_input_delay 0 -clock clk [delete_from_list [all_inputs] [get_ports clk]]\n")
        f.write("set_output_delay 0 -clock clk [all_outputs]\n")
        f.write("report_checks -path_delay max -digits 3\n")
    out = run(["sta", "-no_init", "-exit", script], work)
    arrival = re.search(r"([\d.]+)\s+data arrival time", out)
    if not arrival:
        sys.exit("OpenSTA found no path:\n" + out)
    return float(arrival.group(1))


def main():
    tambril, liberty, importer, exporter, design = sys.argv[1:6]
    top = os.path.splitext(os.path.basename(design))[0]
    with tempfile.TemporaryDirectory() as work:
        merged = os.path.join(work, "comb.lib")
        with open(merged, "w") as f:
            f.write(run([os.path.join(ROOT, "tools", "merge-liberty")] + LIBS[:2], work))
        mapped = os.path.join(work, "mapped.v")
        run(["yosys", "-q", "-p", "read_verilog %s; synth -flatten -top %s; dfflibmap -liberty %s; "
             "abc -liberty %s; opt_clean; write_verilog -noattr %s" % (design, top, LIBS[2], merged,
                                                                     mapped)], work)
        run([liberty] + LIBS + ["-o", "param.txt"], work)
        libs = [arg for lib in LIBS for arg in ("--liberty", lib)]
        run([importer] + libs + [mapped, "-o", "d.net"], work)
        run([tambril, "d.net", "d.result"], work)
        sized = os.path.join(work, "sized.v")
        run([exporter, "d.net", "d.result"] + libs + ["-o", sized], work)

        before, after = open(mapped).read(), open(sized).read()
        if CELL.sub("CELL", before) != CELL.sub("CELL", after):
            sys.exit("the sized netlist differs from the mapped one beyond its cell names")
        cells = functions(LIBS)
        old, new = CELL.findall(before), CELL.findall(after)
        changed = [(a, b) for a, b in zip(old, new) if a != b]
        for a, b in changed:
            if cells[a] != cells[b]:
                sys.exit("%s became %s, a cell of another function or other pins" % (a, b))
        if not changed:
            sys.exit("no cell changed")
        t0, t1 = critical_path(mapped, top, work), critical_path(sized, top, work)
        print("%d cells, %d changed; OpenSTA: %.3f ps mapped, %.3f ps sized" %
              (len(old), len(changed), t0, t1))
        if not t1 < t0:
            sys.exit("the sized netlist is not faster")


main()
