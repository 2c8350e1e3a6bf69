"""Shared test set-up: the package's modules, loaded once with their expected warning, a native
caller for the slots of the published C tables, and a private X display for the tests that open
real windows."""
import contextlib
import ctypes
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


NATIVE_CALLER = r"""
typedef struct _object PyObject;
PyObject *PyErr_GetRaisedException(void);
PyObject *Py_GetConstant(unsigned int constant_id);

/* The exception a slot left pending, taken over (None when there is none). */
static PyObject *take_pending(void)
{
    PyObject *pending = PyErr_GetRaisedException();
    return pending ? pending : Py_GetConstant(0);
}

/* Each calls an int slot as a native caller does: keeps what it returned, then takes over the
   exception it left pending. */
PyObject *call_receiver_slot(int (*slot)(PyObject *, int), PyObject *self, int skip_dispatch, int *result)
{
    *result = slot(self, skip_dispatch);
    return take_pending();
}

PyObject *call_argument_slot(int (*slot)(PyObject *, PyObject *, int), PyObject *self, PyObject *arg,
                             int skip_dispatch, int *result)
{
    *result = slot(self, arg, skip_dispatch);
    return take_pending();
}
"""


@pytest.fixture(scope="session")
def native_call(tmp_path_factory):
    """call(slot, receiver, [argument,] skip_dispatch) -> (int result, pending exception or None).

    Calls a slot that answers a C int (a field of a ctypes method-table structure) as native code
    does. Through ctypes a failing slot's pending exception is raised and its result lost; native
    code sees both, and the result must then be 0."""
    compiler = shutil.which("cc")
    if compiler is None:
        pytest.skip("no C compiler to build the native caller")
    folder = tmp_path_factory.mktemp("native")
    source, library = folder / "caller.c", folder / "caller.so"
    source.write_text(NATIVE_CALLER)
    subprocess.run([compiler, "-shared", "-fPIC", "-O0", "-o", str(library), str(source)], check=True)
    lib = ctypes.CDLL(str(library))
    O, I = ctypes.py_object, ctypes.c_int
    # by the number of objects passed before skip_dispatch
    callers = {
        1: ctypes.PYFUNCTYPE(O, ctypes.c_void_p, O, I, ctypes.POINTER(I))(("call_receiver_slot", lib)),
        2: ctypes.PYFUNCTYPE(O, ctypes.c_void_p, O, O, I, ctypes.POINTER(I))(("call_argument_slot", lib)),
    }

    def call(slot, *objects_and_skip):
        *objects, skip = objects_and_skip
        result = I(-12345)
        pending = callers[len(objects)](ctypes.cast(slot, ctypes.c_void_p), *objects, skip, ctypes.byref(result))
        return result.value, pending

    return call


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
