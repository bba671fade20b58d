#!/usr/bin/env python3
"""tools/plot-convergence, run as a command on small logs written here."""

import re
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ET
from pathlib import Path

TOOL = Path(__file__).resolve().parent.parent / "tools" / "plot-convergence"
SVG = "{http://www.w3.org/2000/svg}"
HEAD = "Lower Bound\tUpper Bound\n===========\t===========\n"


def run(*args):
    return subprocess.run([sys.executable, str(TOOL)] + list(args),
                          capture_output=True, text=True)


class Plot:
    """The parsed SVG of one log."""

    def __init__(self, test, text):
        self.path = Path(test.dir.name) / "convergence.txt"
        self.path.write_text(text)
        result = run(str(self.path))
        test.assertEqual((result.returncode, result.stderr), (0, ""))
        self.root = ET.fromstring(result.stdout)

    def points(self, series):
        line, = [p for p in self.root.iter(SVG + "polyline") if p.get("class") == series]
        return [tuple(map(float, xy.split(","))) for xy in line.get("points").split()]

    def texts(self, cls):
        return [t.text for t in self.root.iter(SVG + "text") if t.get("class") == cls]


class Case(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.addCleanup(self.dir.cleanup)

    def plot(self, lines):
        return Plot(self, HEAD + "".join("%s\t%s\n" % pair for pair in lines))


class Drawing(Case):
    def test_normal_log_is_a_standalone_svg_with_both_bounds(self):
        plot = self.plot([("1e-09", "2e-09"), ("1.5e-09", "1.8e-09"),
                          ("1.7e-09", "1.75e-09"), ("1.72e-09", "1.73e-09")])
        root = plot.root
        self.assertEqual(root.tag, SVG + "svg")
        for attribute in ("width", "height", "viewBox"):
            self.assertTrue(root.get(attribute), attribute)
        self.assertIn("white", [r.get("fill") for r in root.iter(SVG + "rect")])
        self.assertEqual(len(list(root.iter(SVG + "polyline"))), 2)
        lower, upper = plot.points("lower"), plot.points("upper")
        self.assertEqual((len(lower), len(upper)), (4, 4))
        self.assertEqual([x for x, _ in lower], [x for x, _ in upper])
        self.assertEqual(lower[0][0], min(x for x, _ in lower))
        # larger delays are drawn higher, i.e. at smaller y
        self.assertTrue(all(u[1] < l[1] for l, u in zip(lower, upper)))
        # linear: 1e-9, 1.5e-9 and 2e-9 are equally spaced
        self.assertAlmostEqual(lower[0][1] - lower[1][1], lower[1][1] - upper[0][1], places=1)
        self.assertEqual(plot.texts("x-label"), ["Outer pass"])
        self.assertEqual(plot.texts("y-label"), ["Delay (s), linear scale"])
        self.assertEqual(plot.texts("legend"), ["Lower bound (Lagrangian value)",
                                                "Upper bound (circuit delay)"])
        self.assertIn(str(plot.path), plot.texts("title")[0])
        self.assertEqual(plot.texts("x-tick"), ["0", "1", "2", "3"])
        self.assertEqual(plot.texts("note"), [])

    def test_wide_range_gets_a_log_axis(self):
        plot = self.plot([("1e-10", "1e-08"), ("1e-09", "1e-08"), ("1e-09", "1e-09")])
        self.assertEqual(plot.texts("y-label"), ["Delay (s), log scale"])
        (_, a), (_, b), _ = plot.points("lower")
        (_, c), _, _ = plot.points("upper")
        self.assertAlmostEqual(a - b, b - c, places=1)  # one decade, one step
        ticks = plot.texts("y-tick")
        for label in ("100e-12", "1e-9", "10e-9"):
            self.assertIn(label, ticks)

    def test_tick_labels_are_in_engineering_notation(self):
        for lines in ([("1.2e-10", "4.5e-09")], [("1.23e-09", "1.5e-09")], [("2.5e-06", "3e-06")]):
            for label in self.plot(lines).texts("y-tick"):
                match = re.fullmatch(r"-?\d+(\.\d+)?(e(-?\d+))?", label)
                self.assertTrue(match and int(match.group(3) or 0) % 3 == 0, label)

    def test_one_value_line(self):
        plot = self.plot([("1e-09", "1.2e-09")])
        self.assertEqual(len(plot.points("lower")), 1)
        self.assertEqual(len(plot.points("upper")), 1)
        self.assertEqual(plot.texts("x-tick"), ["0"])

    def test_equal_bounds_on_every_line_draw_flat_coinciding_lines(self):
        plot = self.plot([("1e-09", "1e-09")] * 3)
        lower, upper = plot.points("lower"), plot.points("upper")
        self.assertEqual(lower, upper)
        self.assertEqual(len({y for _, y in lower}), 1)
        self.assertEqual(plot.texts("y-label"), ["Delay (s), linear scale"])
        self.assertEqual(self.plot([("0", "0")]).points("lower"),
                         self.plot([("0", "0")]).points("upper"))

    def test_values_that_cannot_be_drawn_are_left_out_and_named(self):
        plot = self.plot([("-nan", "2e-09"), ("1e-09", "inf"), ("1.5e-09", "1.6e-09")])
        self.assertEqual((len(plot.points("lower")), len(plot.points("upper"))), (2, 2))
        self.assertEqual(plot.texts("note"), ["Lower bound not drawn at pass 0 (nan)",
                                              "Upper bound not drawn at pass 1 (inf)"])
        # a zero lower bound has no place on a log axis
        plot = self.plot([("0", "1e-07"), ("1e-09", "1e-08"), ("2e-09", "2.1e-09")])
        self.assertEqual(plot.texts("y-label"), ["Delay (s), log scale"])
        self.assertEqual(len(plot.points("lower")), 2)
        self.assertIn("pass 0", plot.texts("note")[0])
        plot = self.plot([("nan", "nan")])
        self.assertIn("No value to draw", plot.texts("note"))


    def test_file_name_with_markup_characters(self):
        path = Path(self.dir.name) / "a&b <c>.txt"
        path.write_text(HEAD + "1e-09\t2e-09\n")
        result = run(str(path))
        self.assertEqual(result.returncode, 0)
        title = ET.fromstring(result.stdout).find(SVG + "title").text
        self.assertEqual(title, "Convergence of %s" % path)


class Errors(Case):
    def check(self, text, line, what):
        path = Path(self.dir.name) / "log.txt"
        path.write_text(text)
        result = run(str(path))
        self.assertEqual(result.returncode, 1)
        self.assertEqual(result.stdout, "")
        self.assertEqual(result.stderr, "plot-convergence: %s:%d: %s\n" % (path, line, what))

    def test_malformed_logs(self):
        self.check("", 1, "empty file, expected the header 'Lower Bound\\tUpper Bound'")
        self.check("1e-09\t2e-09\n", 1, "expected the header 'Lower Bound\\tUpper Bound',"
                   " found '1e-09\\t2e-09'")
        self.check("Lower Bound\tUpper Bound\n", 2,
                   "expected the rule '===========\\t===========', found end of file")
        self.check("Lower Bound\tUpper Bound\n1e-09\t2e-09\n", 2,
                   "expected the rule '===========\\t===========', found '1e-09\\t2e-09'")
        self.check(HEAD, 3, "no value lines after the header")
        self.check(HEAD + "1e-09\t2e-09\n1e-09\n", 4,
                   "expected 2 tab-separated fields (lower, upper), found 1")
        self.check(HEAD + "1e-09 2e-09\n", 3,
                   "expected 2 tab-separated fields (lower, upper), found 1")
        self.check(HEAD + "1e-09\tfast\n", 3, "upper bound 'fast' is not a number")
        self.check(HEAD + "1e-09\t2e-09\n\n1e-09\t2e-09\n", 4, "empty line")

    def test_unreadable_file_and_wrong_usage(self):
        missing = str(Path(self.dir.name) / "missing.txt")
        result = run(missing)
        self.assertEqual((result.returncode, result.stdout), (1, ""))
        self.assertEqual(result.stderr,
                         "plot-convergence: %s: cannot read: No such file or directory\n" % missing)
        for args in ((), ("a.txt", "b.txt")):
            result = run(*args)
            self.assertEqual((result.returncode, result.stdout), (1, ""))
            self.assertRegex(result.stderr, r"\Ausage: plot-convergence \S+ > \S+\n\Z")


if __name__ == "__main__":
    unittest.main()
