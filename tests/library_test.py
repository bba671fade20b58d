#!/usr/bin/env python3
"""Checks of the bundled gate library examples/param.txt and its generator.

The file is parsed more strictly than the sizer reads it: tab-separated fields only,
exactly seven per row, no blanks, one line feed after the last row. Every gate that an
examples/*.net netlist uses must find its row.
"""

import math
import re
import subprocess
import sys
import unittest
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
LIBRARY = ROOT / "examples" / "param.txt"
GENERATOR = ROOT / "tools" / "make-library"

TYPES = ("INV", "BUF", "AND", "NAND", "OR", "NOR", "XOR", "XNOR")
ONE_INPUT_ONLY = ("INV", "BUF")
MAX_INPUTS = 16
C_G = 1.0e-2
R_INV = 1.7e-10

NUMBER = re.compile(r"[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?")
KEY = re.compile(r"[1-9]\d*")
NAME = re.compile(r"[A-Za-z][A-Za-z0-9_]{0,8}")


class FormatError(Exception):
    pass


def parse_library(text):
    """Rows as {(name, inputs): (cin, r, cout, g, p)}; FormatError names the line."""
    if not text:
        raise FormatError("line 1: empty file, no header")
    if not text.endswith("\n"):
        raise FormatError("last line has no line feed")
    lines = text[:-1].split("\n")
    if not lines[0].strip():
        raise FormatError("line 1: blank header")
    rows = {}
    for number, line in enumerate(lines[1:], start=2):
        where = "line %d: " % number
        if not line:
            raise FormatError(where + "blank line")
        if len(line) > 254:
            raise FormatError(where + "longer than 254 characters")
        for bad, what in ((" ", "space"), (",", "comma"), ("\r", "carriage return")):
            if bad in line:
                raise FormatError(where + "contains a " + what)
        fields = line.split("\t")
        if len(fields) != 7:
            raise FormatError(where + "%d fields, expected 7" % len(fields))
        name, key = fields[0], fields[1]
        if not NAME.fullmatch(name):
            raise FormatError(where + "bad type name %r" % name)
        if not KEY.fullmatch(key):
            raise FormatError(where + "bad input count %r" % key)
        values = []
        for field in fields[2:]:
            if not NUMBER.fullmatch(field):
                raise FormatError(where + "%r is not a number" % field)
            value = float(field)
            if not (math.isfinite(value) and value > 0):
                raise FormatError(where + "%r is not positive and finite" % field)
            values.append(value)
        if (name, int(key)) in rows:
            raise FormatError(where + "second row for %s with %s inputs" % (name, key))
        rows[(name, int(key))] = tuple(values)
    return rows


def gates_used(text):
    """{(type, inputs): line number of first use} over the node lines of a netlist."""
    lines = text.split("\n")
    header = lines[0].split()
    if len(header) < 5 or not all(re.fullmatch(r"-?\d+", h) for h in header[:5]):
        raise FormatError("line 1: header is not five integers")
    count = int(header[4])
    if len(lines) - 1 < count:
        raise FormatError("header announces %d node lines, file has fewer" % count)
    used = {}
    for number in range(2, count + 2):
        tokens = [t for t in re.split(r"[ ,]+", lines[number - 1]) if t]
        if not tokens:
            raise FormatError("line %d: empty node line" % number)
        if tokens[0] == "po":
            kind, fan_in = tokens[1:2], tokens[3:4]
        else:
            kind, fan_in = tokens[0:1], tokens[2:3]
        if not kind or not fan_in or not re.fullmatch(r"-?\d+", fan_in[0]):
            raise FormatError("line %d: no type or fan-in count" % number)
        if kind[0] != "pri":
            used.setdefault((kind[0], int(fan_in[0])), number)
    return used


def library():
    return parse_library(LIBRARY.read_text())


class LibraryFile(unittest.TestCase):
    def test_parses_strictly_and_has_a_readable_header(self):
        rows = library()
        header = LIBRARY.read_text().split("\n")[0].split("\t")
        self.assertEqual(len(header), 7)
        self.assertEqual(header[0], "type")
        self.assertFalse(NUMBER.fullmatch(header[1]))
        self.assertEqual(len(rows), 2 + 6 * MAX_INPUTS)

    def test_every_type_has_consecutive_input_counts_from_one(self):
        keys = {}
        for name, inputs in library():
            keys.setdefault(name, []).append(inputs)
        self.assertEqual(sorted(keys), sorted(TYPES))
        for name, found in keys.items():
            last = 1 if name in ONE_INPUT_ONLY else MAX_INPUTS
            self.assertEqual(sorted(found), list(range(1, last + 1)), name)

    def test_matches_the_generator(self):
        run = subprocess.run([sys.executable, str(GENERATOR)], capture_output=True,
                             text=True, check=True)
        self.assertEqual(run.stderr, "")
        self.assertEqual(run.stdout, LIBRARY.read_text(), "examples/param.txt is stale:"
                         " run tools/make-library > examples/param.txt")


class LibraryValues(unittest.TestCase):
    """Rows worked by hand from the inverter: C_G 1e-2, R_INV 1.7e-10, MU 2, K 2."""

    def assertRow(self, row, expected):
        for got, want in zip(row, expected):
            self.assertAlmostEqual(got / want, 1.0, places=5, msg=(row, expected))

    def test_inverter_and_buffer(self):
        rows = library()
        self.assertRow(rows[("INV", 1)], (0.01, 1.7e-10, 0.01, 1, 1))
        # second inverter twice the first: cin 1/2, cout 1 + (1 + 2*1) = 4
        self.assertRow(rows[("BUF", 1)], (0.005, 1.7e-10, 0.04, 0.5, 4))

    def test_two_input_gates(self):
        rows = library()
        s = math.sqrt(2)
        # NAND2: nMOS sqrt2 in series, pMOS 2 in parallel
        nand2 = ((s + 2) / 3, s, (s + 4) / 3)
        self.assertRow(rows[("NAND", 2)], (0.01 * nand2[0], 1.7e-10 * s, 0.01 * nand2[2],
                                           s * nand2[0], s * nand2[2]))
        # NOR2: nMOS 1 in parallel, pMOS 2*sqrt2 in series
        self.assertRow(rows[("NOR", 2)], (0.01 * (1 + 2 * s) / 3, 1.7e-10 * s,
                                          0.01 * (2 + 2 * s) / 3, s * (1 + 2 * s) / 3,
                                          s * (2 + 2 * s) / 3))
        # AND2 = NAND2 -> INV at twice its scale
        and_cout = 1 + s * nand2[2] + 2 * s
        self.assertRow(rows[("AND", 2)], (0.01 * nand2[0] / 2, 1.7e-10, 0.01 * and_cout,
                                          nand2[0] / 2, and_cout))
        # XOR2: core (cin sqrt2, r sqrt2, cout 2 sqrt2) plus a half-scale inverter per input
        xor_cout = 2 * s + (1 + 2 * s) / s
        self.assertRow(rows[("XOR", 2)], (0.01 * (s + 0.5), 1.7e-10 * s, 0.01 * xor_cout,
                                          s * (s + 0.5), s * xor_cout))
        self.assertEqual(rows[("XOR", 2)], rows[("XNOR", 2)])

    def test_one_input_gates_degenerate(self):
        rows = library()
        for name in ("NAND", "NOR", "XNOR"):
            self.assertEqual(rows[(name, 1)], rows[("INV", 1)], name)
        for name in ("AND", "OR", "XOR"):
            self.assertEqual(rows[(name, 1)], rows[("BUF", 1)], name)

    def test_wider_gates_are_never_cheaper(self):
        rows = library()
        for name in TYPES:
            if name in ONE_INPUT_ONLY:
                continue
            cout = [rows[(name, n)][2] for n in range(2, MAX_INPUTS + 1)]
            self.assertEqual(cout, sorted(cout), name)
            self.assertGreater(rows[(name, MAX_INPUTS)][2], rows[(name, 2)][2], name)
        for name in ("NAND", "NOR"):
            r = [rows[(name, n)][1] for n in range(1, MAX_INPUTS + 1)]
            self.assertTrue(all(a < b for a, b in zip(r, r[1:])), name)


class Netlists(unittest.TestCase):
    def test_every_gate_of_every_example_has_a_row(self):
        rows = library()
        for net in sorted((ROOT / "examples").glob("*.net")):
            with self.subTest(netlist=net.name):
                used = gates_used(net.read_text())
                missing = ["%s with %d inputs (line %d)" % (t, n, line)
                           for (t, n), line in sorted(used.items()) if (t, n) not in rows]
                self.assertEqual(missing, [])


class Checkers(unittest.TestCase):
    """The strict reader and the netlist scan must themselves catch faults."""

    def test_rejects_bad_libraries(self):
        head, row = "type\tinputs\n", "INV\t1\t0.01\t1.7e-10\t0.01\t1\t1\n"
        self.assertEqual(parse_library(head + row), {("INV", 1): (0.01, 1.7e-10, 0.01, 1, 1)})
        cases = {
            "no final line feed": head + row[:-1],
            "blank last line": head + row + "\n",
            "space-padded field": head + row.replace("\t0.01", "\t 0.01", 1),
            "six fields": head + "INV\t1\t0.01\t1.7e-10\t0.01\t1\n",
            "long name": head + row.replace("INV", "INVERTER10"),
            "zero value": head + row.replace("1.7e-10", "0"),
            "word for number": head + row.replace("1.7e-10", "abc"),
            "duplicate key": head + row + row,
        }
        for what, text in cases.items():
            with self.subTest(what):
                with self.assertRaises(FormatError):
                    parse_library(text)

    def test_scans_all_three_node_forms(self):
        net = ("5 0 0 1 5\npri 1 0\npri,2,0\nNAND 1 2 1 0 0 2 0 0\n"
               "po INV 0 1 3 0 0\npo NOR 0 2 2 0 0 4 0 0\nignored 9 9\n")
        self.assertEqual(gates_used(net), {("NAND", 2): 4, ("INV", 1): 5, ("NOR", 2): 6})
        with self.assertRaises(FormatError):
            gates_used("1 0 0 1 2\npri 1 0\n")
        with self.assertRaises(FormatError):
            gates_used("1 0 0 1 1\nNAND 0\n")


if __name__ == "__main__":
    unittest.main()
