"""Shared test set-up: the package's modules, loaded once with their expected warning, and a
private X display for the tests that open real windows."""
import contextlib
import importlib
import os
import select
import shutil
import socket
import subprocess
import time
import warnings

import pytest

# Every extension module of the package that the tests use, in an order that satisfies their
# imports of each other.
MODULES = ["vexlar.vector2.vector2", "vexlar.vector4.vector4", "vexlar.vector3.vector3", "vexlar.rect.rect",
           "vexlar.color.color", "vexlar.colors.colors"]

GIL_WARNING = "global interpreter lock"


def _load_modules():
    """Import the modules once. Loading them into the free-threaded interpreter re-enables the
    global lock with a RuntimeWarning; that one is expected, any other warning is a fault."""
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        for name in MODULES:
            importlib.import_module(name)
    unexpected = [w for w in caught if not (issubclass(w.category, RuntimeWarning) and GIL_WARNING in str(w.message))]
    if unexpected:
        raise AssertionError(f"unexpected warnings while importing the package: {[str(w.message) for w in unexpected]}")


_load_modules()


def _wait_for_display(number, timeout):
    path = f"/tmp/.X11-unix/X{number}"
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        with contextlib.suppress(OSError), socket.socket(socket.AF_UNIX) as s:
            s.connect(path)
            return
        time.sleep(0.05)
    raise RuntimeError(f"Xvfb display :{number} did not accept connections within {timeout} s")


@pytest.fixture(scope="session")
def display():
    """An X display for window tests: the caller's DISPLAY if set, else a private Xvfb that
    lives for the whole test session."""
    if os.environ.get("DISPLAY"):
        yield os.environ["DISPLAY"]
        return
    xvfb = shutil.which("Xvfb")
    if not xvfb:
        pytest.fail("Xvfb is not installed (scripts/bootstrap installs it)")
    read_end, write_end = os.pipe()
    proc = subprocess.Popen(
        [xvfb, "-displayfd", str(write_end), "-screen", "0", "1280x800x24", "-nolisten", "tcp"],
        pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
    )
    os.close(write_end)
    try:
        ready, _, _ = select.select([read_end], [], [], 20)
        number = os.read(read_end, 32).decode().strip() if ready else ""
        if not number:
            raise RuntimeError("Xvfb did not report its display number")
        _wait_for_display(number, 20)
        os.environ["DISPLAY"] = f":{number}"
        yield os.environ["DISPLAY"]
    finally:
        os.close(read_end)
        os.environ.pop("DISPLAY", None)
        proc.terminate()
        try:
            proc.wait(10)
        except subprocess.TimeoutExpired:
            proc.kill()
