"""The toolchain and the shipped package: the interpreter, raylib inside the wheel, a real
window on the virtual display, and a build that leaves the interpreter's float maths alone."""
import importlib.util
import os
import pathlib
import subprocess
import sys
import sysconfig
import textwrap

import pytest

PACKAGE_DIR = pathlib.Path(importlib.util.find_spec("vexlar").submodule_search_locations[0])
RAYLIB = PACKAGE_DIR.parent / "vexlar.libs" / "libraylib.so.600"


def test_interpreter_is_free_threaded_3_14():
    assert sys.implementation.name == "cpython"
    assert sys.version_info[:2] == (3, 14)
    assert sysconfig.get_config_var("Py_GIL_DISABLED") == 1


def test_importing_a_module_reenables_the_gil_with_a_warning():
    code = textwrap.dedent("""
        import sys, warnings
        assert not sys._is_gil_enabled()
        with warnings.catch_warnings(record=True) as caught:
            warnings.simplefilter("always")
            import vexlar.vector3.vector3
        assert sys._is_gil_enabled()
        print([(w.category.__name__, str(w.message)) for w in caught])
    """)
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True).stdout
    caught = eval(out)
    assert len(caught) == 1
    category, message = caught[0]
    assert category == "RuntimeWarning"
    assert "global interpreter lock" in message and "vexlar.vector3.vector3" in message


MODULES = ["vector2", "vector3", "vector4", "rect", "color", "colors"]
RAYLIB_USERS = ["color"]


@pytest.mark.parametrize("module", MODULES)
def test_module_file_is_built_for_this_interpreter(module):
    suffix = sysconfig.get_config_var("EXT_SUFFIX")
    assert suffix == ".cpython-314t-x86_64-linux-gnu.so"
    assert (PACKAGE_DIR / module / f"{module}{suffix}").is_file()


def test_raylib_is_shipped_beside_the_package():
    assert RAYLIB.is_file() and not RAYLIB.is_symlink()
    assert "SONAME               libraylib.so.600" in dynamic_section(RAYLIB)


def dynamic_section(path):
    return subprocess.run(["objdump", "-p", str(path)], capture_output=True, text=True, check=True).stdout


@pytest.mark.parametrize("module", MODULES)
def test_only_raylib_users_link_raylib_through_the_shipped_folder(module):
    section = dynamic_section(PACKAGE_DIR / module / f"{module}{sysconfig.get_config_var('EXT_SUFFIX')}")
    if module in RAYLIB_USERS:
        assert "NEEDED               libraylib.so.600" in section
        assert "RUNPATH              $ORIGIN/../../vexlar.libs" in section
    else:
        assert "libraylib" not in section


@pytest.mark.parametrize("module", RAYLIB_USERS)
def test_raylib_users_load_without_library_path(module):
    env = {k: v for k, v in os.environ.items() if k != "LD_LIBRARY_PATH"}
    code = f"import vexlar.{module}.{module}"
    subprocess.run([sys.executable, "-W", "ignore", "-c", code], env=env, check=True)


def test_denormals_survive_loading_the_modules():
    # A fast-math link would install a flush-to-zero start-up hook for the whole process.
    import vexlar.colors.colors  # noqa: F401

    tiny = sys.float_info.min / 2**10
    assert tiny > 0.0
    assert tiny * 1.0 == tiny
    assert 5e-324 * 1.0 == 5e-324


WINDOW_SCRIPT = textwrap.dedent("""
    import ctypes, sys

    class Color(ctypes.Structure):
        _fields_ = [("r", ctypes.c_ubyte), ("g", ctypes.c_ubyte), ("b", ctypes.c_ubyte), ("a", ctypes.c_ubyte)]

    class Image(ctypes.Structure):
        _fields_ = [("data", ctypes.c_void_p), ("width", ctypes.c_int), ("height", ctypes.c_int),
                    ("mipmaps", ctypes.c_int), ("format", ctypes.c_int)]

    rl = ctypes.CDLL(sys.argv[1])
    rl.SetTraceLogLevel(7)                       # LOG_NONE: keep the test output quiet
    rl.InitWindow(320, 240, b"vexlar smoke test")
    assert rl.IsWindowReady()
    assert (rl.GetScreenWidth(), rl.GetScreenHeight()) == (320, 240)
    rl.LoadImageFromScreen.restype = Image
    for _ in range(2):                           # draw twice: the first frame may be swapped out
        rl.BeginDrawing()
        rl.ClearBackground(Color(200, 30, 40, 255))
        rl.EndDrawing()
    rl.BeginDrawing()
    rl.ClearBackground(Color(200, 30, 40, 255))
    shot = rl.LoadImageFromScreen()
    rl.EndDrawing()
    pixel = ctypes.string_at(shot.data, 4)
    rl.UnloadImage(shot)
    rl.CloseWindow()
    assert not rl.IsWindowReady()
    print(list(pixel))
""")


def test_raylib_window_opens_draws_and_closes(display):
    result = subprocess.run([sys.executable, "-c", WINDOW_SCRIPT, str(RAYLIB)], capture_output=True, text=True,
                            timeout=60)
    assert result.returncode == 0, result.stderr
    assert eval(result.stdout.strip().splitlines()[-1]) == [200, 30, 40, 255]
