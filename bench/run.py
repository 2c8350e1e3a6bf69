"""Benchmarks: each operation of the package against baselines measured in the same run.

For every case the table gives the time of the package's operation, of the matching operation
on `complex` (a C value type of the interpreter) and on a pure-Python `__slots__` class, and the
two ratios the targets are stated in:

    vs complex  = package / complex   (target: at most 1.5)
    py speed-up = pure Python / package (target: at least 5)

    .venv/bin/python bench/run.py [--quick] [--json FILE]
"""
import argparse
import json
import math
import sys
import timeit

from vexlar.color.color import Color
from vexlar.colors.colors import colors
from vexlar.rect.rect import Rect
from vexlar.vector3.vector3 import Vector3


class PyVector3:
    """The pure-Python baseline: what a game would write without the package."""
    __slots__ = ("x", "y", "z")

    def __init__(self, x=0.0, y=0.0, z=0.0):
        self.x, self.y, self.z = float(x), float(y), float(z)

    def __add__(self, other):
        return PyVector3(self.x + other.x, self.y + other.y, self.z + other.z)

    def __mul__(self, s):
        return PyVector3(self.x * s, self.y * s, self.z * s)

    @property
    def length(self):
        return math.sqrt(self.x * self.x + self.y * self.y + self.z * self.z)

    def dot(self, other):
        return self.x * other.x + self.y * other.y + self.z * other.z

    @property
    def zyx(self):
        return PyVector3(self.z, self.y, self.x)


class PyRect:
    """Pure-Python rectangle with the two collision tests a game calls most."""
    __slots__ = ("x", "y", "w", "h")

    def __init__(self, x=0.0, y=0.0, w=0.0, h=0.0):
        self.x, self.y, self.w, self.h = float(x), float(y), float(w), float(h)

    def collide_point(self, point):
        px, py = point
        return self.x <= px <= self.x + self.w and self.y <= py <= self.y + self.h

    def collide_rect(self, other):
        return (other.x + other.w > self.x and self.x + self.w > other.x
                and other.y + other.h > self.y and self.y + self.h > other.y)


class PyColor:
    """Pure-Python colour with the same channel clamp and packing."""
    __slots__ = ("r", "g", "b", "a")

    def __init__(self, r, g, b, a=255):
        self.r, self.g, self.b, self.a = (min(max(int(c), 0), 255) for c in (r, g, b, a))

    def to_int(self):
        v = (self.r << 24) | (self.g << 16) | (self.b << 8) | self.a
        return v - (1 << 32) if v >= 1 << 31 else v

    def tint(self, other):
        return PyColor(self.r * other.r // 255, self.g * other.g // 255, self.b * other.b // 255,
                       self.a * other.a // 255)


class PyPalette:
    __slots__ = ("Red",)

    def __init__(self):
        self.Red = PyColor(255, 0, 0)


NAMESPACE = {
    "Vector3": Vector3, "PyVector3": PyVector3,
    "v": Vector3(1.0, 2.0, 3.0), "w": Vector3(4.0, 5.0, 6.0),
    "pv": PyVector3(1.0, 2.0, 3.0), "pw": PyVector3(4.0, 5.0, 6.0),
    "a": complex(1.0, 2.0), "b": complex(3.0, 4.0),
    "Rect": Rect, "PyRect": PyRect,
    "r": Rect(1.0, 2.0, 10.0, 10.0), "other": Rect(5.0, 5.0, 10.0, 10.0),
    "pr": PyRect(1.0, 2.0, 10.0, 10.0), "pother": PyRect(5.0, 5.0, 10.0, 10.0),
    "Color": Color, "PyColor": PyColor,
    "c": Color(10, 20, 30), "d": Color(200, 100, 50, 128),
    "pc": PyColor(10, 20, 30), "pd": PyColor(200, 100, 50, 128),
    "colors": colors, "pcolors": PyPalette(),
}

# (operation, package statement, complex baseline, pure-Python baseline). Where complex has no
# operation of the same kind, the baseline is the nearest one: `v.dot(w)` (two values in, a
# float out) against `a * b`, and `v.zyx` (a property read that allocates) against `a.real`.
CASES = [
    ("v + w", "v + w", "a + b", "pv + pw"),
    ("v * 2.0", "v * 2.0", "a * 2.0", "pv * 2.0"),
    ("v.x", "v.x", "a.real", "pv.x"),
    ("v.length", "v.length", "abs(a)", "pv.length"),
    ("Vector3(1.0, 2.0, 3.0)", "Vector3(1.0, 2.0, 3.0)", "complex(1.0, 2.0)", "PyVector3(1.0, 2.0, 3.0)"),
    ("v.dot(w)", "v.dot(w)", "a * b", "pv.dot(pw)"),
    ("v.zyx", "v.zyx", "a.real", "pv.zyx"),
    ("Rect(1.0, 2.0, 3.0, 4.0)", "Rect(1.0, 2.0, 3.0, 4.0)", "complex(1.0, 2.0)", "PyRect(1.0, 2.0, 3.0, 4.0)"),
    ("r.x", "r.x", "a.real", "pr.x"),
    ("r.center", "r.center", "a.real", "(pr.x + pr.w * 0.5, pr.y + pr.h * 0.5)"),
    ("r.collide_point((5.0, 5.0))", "r.collide_point((5.0, 5.0))", "a * b", "pr.collide_point((5.0, 5.0))"),
    ("r.collide_rect(other)", "r.collide_rect(other)", "a * b", "pr.collide_rect(pother)"),
    ("Color(1, 2, 3)", "Color(1, 2, 3)", "complex(1.0, 2.0)", "PyColor(1, 2, 3)"),
    ("c.r", "c.r", "a.real", "pc.r"),
    ("c.to_int()", "c.to_int()", "a.conjugate()", "pc.to_int()"),
    ("c.tint(d)", "c.tint(d)", "a * b", "pc.tint(pd)"),
    ("colors.Red", "colors.Red", "a.real", "pcolors.Red"),
]


def best_time(stmt, number, repeat):
    """Seconds per execution: the best of `repeat` runs, which is the least disturbed one."""
    timer = timeit.Timer(stmt, globals=NAMESPACE)
    return min(timer.repeat(repeat=repeat, number=number)) / number


def run(quick):
    number, repeat = (20_000, 3) if quick else (200_000, 7)
    rows = []
    for label, ours, base_c, base_py in CASES:
        t_ours = best_time(ours, number, repeat)
        t_c = best_time(base_c, number, repeat)
        t_py = best_time(base_py, number, repeat)
        rows.append({"operation": label, "ns": t_ours * 1e9, "complex_ns": t_c * 1e9, "python_ns": t_py * 1e9,
                     "complex_baseline": base_c, "vs_complex": t_ours / t_c, "py_speedup": t_py / t_ours})
    return rows


def table(rows):
    lines = ["| operation | ns | complex baseline | ns | vs complex | pure Python ns | py speed-up |",
             "|---|---:|---|---:|---:|---:|---:|"]
    for r in rows:
        lines.append(f"| `{r['operation']}` | {r['ns']:.1f} | `{r['complex_baseline']}` | {r['complex_ns']:.1f} | "
                     f"{r['vs_complex']:.2f} | {r['python_ns']:.1f} | {r['py_speedup']:.1f} |")
    return "\n".join(lines)


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--quick", action="store_true", help="fewer iterations (a smoke run)")
    parser.add_argument("--json", help="also write the rows to this file")
    args = parser.parse_args(argv)
    rows = run(args.quick)
    print(f"Python {sys.version.split()[0]}, GIL enabled: {sys._is_gil_enabled()}")
    print(table(rows))
    if args.json:
        with open(args.json, "w") as f:
            json.dump(rows, f, indent=2)


if __name__ == "__main__":
    main()
