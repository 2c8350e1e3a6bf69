"""A short smoke run of the package: opens a raylib window for a few frames, moves a square
with Vector3 arithmetic inside a Rect, paints with palette colours, and closes the window."""
import ctypes
import importlib.util
import pathlib

from vexlar.colors.colors import colors
from vexlar.rect.rect import Rect
from vexlar.vector3.vector3 import Vector3

PACKAGE_DIR = pathlib.Path(importlib.util.find_spec("vexlar").submodule_search_locations[0])
raylib = ctypes.CDLL(str(PACKAGE_DIR.parent / "vexlar.libs" / "libraylib.so.600"))


class RaylibColor(ctypes.Structure):
    _fields_ = [("r", ctypes.c_ubyte), ("g", ctypes.c_ubyte), ("b", ctypes.c_ubyte), ("a", ctypes.c_ubyte)]


def paint(color):
    """A vexlar Color as the record raylib's drawing functions take."""
    return RaylibColor(*color)


def main(frames=60):
    raylib.InitWindow(640, 360, b"vexlar demo")
    raylib.SetTargetFPS(60)
    arena = Rect(0, 0, 600, 320)
    position, velocity = Vector3(40, 40, 0), Vector3(4, 2.5, 0)
    for _ in range(frames):
        position += velocity
        if not arena.collide_point((position.x, arena.y)):
            velocity.x = -velocity.x
        if not arena.collide_point((arena.x, position.y)):
            velocity.y = -velocity.y
        raylib.BeginDrawing()
        raylib.ClearBackground(paint(colors.MidnightBlue))
        x, y, _ = position.get_int_tuple()
        raylib.DrawRectangle(x, y, 40, 40, paint(colors.Crimson))
        raylib.EndDrawing()
    raylib.CloseWindow()
    print(f"vexlar demo: {frames} frames drawn, square ended at {position}")


if __name__ == "__main__":
    main()
