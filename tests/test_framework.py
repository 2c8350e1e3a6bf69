"""The shared extension-module framework, seen through vexlar.vector3.vector3: module creation
and the one-interpreter rule, method objects, argument matching, typed parameters, the int and
float32 conversions, traceback entries, the pickling guard, the published method table and the
rules every type of the package follows."""

from vexlar.vector3.vector3 import Vector3

import builtins
import copy
import ctypes
import gc
import importlib
import pickle
import re
import subprocess
import sys
import textwrap
import traceback
import threading
import types
import warnings
import weakref
from decimal import Decimal
from fractions import Fraction

import pytest

from support import (Flt, INT_SUBCLASS_DEPRECATION, Idx, IntLike, IntSub, ListSub, TYPE_NAME, TupleSub,
                     api_function, argtype, assert_module_namespace, assert_pickling_guard_installed,
                     assert_table_capsule, capsule_is_valid, capsule_pointer, exact, package_entries,
                     run_threads, traceback_entries, unexpected, xyz)

MODULE = "vexlar.vector3.vector3"
SRC = "src/vexlar/vector3/vector3.cpp"

Py_TPFLAGS_HEAPTYPE = 1 << 9
Py_TPFLAGS_BASETYPE = 1 << 10
Py_TPFLAGS_HAVE_VECTORCALL = 1 << 11

INTERPRETER_CHANGE = "Interpreter change detected - this module can only be loaded into one interpreter per process."


def run_fresh(*parts):
    """Run code in a new interpreter, where the package has not been loaded yet. The one warning
    that loading the package is expected to give (the GIL being re-enabled) is silenced; any other
    warning is an error. Returns stdout; a failing script fails the test with its stderr."""
    code = "".join(textwrap.dedent(part) for part in parts)
    prelude = textwrap.dedent("""
        import warnings
        warnings.filterwarnings("ignore", message="The global interpreter lock", category=RuntimeWarning)
    """)
    proc = subprocess.run([sys.executable, "-W", "error", "-c", prelude + code],
                          capture_output=True, text=True, timeout=120)
    assert proc.returncode == 0, f"exit status {proc.returncode}\nstdout:\n{proc.stdout}\nstderr:\n{proc.stderr}"
    return proc.stdout


def run_fresh_to_the_end(*parts):
    """run_fresh for a script that checks with asserts: it must get to its end and print
    nothing on the way."""
    assert run_fresh(*parts, 'print("ok")').split() == ["ok"]


# The module's own spec, for scripts that drive the import steps themselves.
REAL_SPEC = """
    import importlib.util
    real = importlib.util.find_spec("vexlar.vector3.vector3")
"""


@pytest.fixture
def v():
    return Vector3(1, 2, 3)


@pytest.fixture
def w():
    return Vector3(4, 5, 6)


# ========================================================================================
# Module
# ========================================================================================


def test_reimport_after_removal_from_sys_modules_gives_the_same_objects():
    module = sys.modules[MODULE]
    vector3_type = module.Vector3
    try:
        del sys.modules[MODULE]
        again = importlib.import_module(MODULE)
        assert again is module
        assert again.Vector3 is vector3_type
        assert again.__test__ == {}
        assert again.Vector3(1, 2, 3) == Vector3(1, 2, 3)
    finally:
        sys.modules[MODULE] = module


def test_reload_runs_nothing_again():
    module = sys.modules[MODULE]
    vector3_type, test_dict = module.Vector3, module.__test__
    assert importlib.reload(module) is module
    assert module.Vector3 is vector3_type is Vector3
    assert module.__test__ is test_dict


def test_fresh_process_reimport_gives_the_same_objects():
    out = run_fresh("""
        import sys, importlib
        import vexlar.vector3.vector3 as first
        t = first.Vector3
        del sys.modules["vexlar.vector3.vector3"]
        second = importlib.import_module("vexlar.vector3.vector3")
        print(second is first, second.Vector3 is t, sys.modules["vexlar.vector3.vector3"] is first)
    """)
    assert out.split() == ["True", "True", "True"]


def test_module_namespace():
    module = sys.modules[MODULE]
    spec = module.__spec__
    assert_module_namespace(MODULE, {"Vector3": Vector3})
    assert module.__name__ == MODULE
    assert module.__doc__ is None
    assert type(module.__test__) is dict and module.__test__ == {}
    assert module.__builtins__ is builtins
    assert spec is not None and spec.name == MODULE
    assert module.__file__ == spec.origin and module.__file__.endswith(".so")
    assert module.__loader__ is spec.loader and module.__loader__ is not None
    assert module.__package__ == spec.parent == "vexlar.vector3"
    assert not hasattr(module, "__path__")
    assert module.Vector3 is Vector3


def test_create_step_copies_the_spec_attributes():
    run_fresh_to_the_end(REAL_SPEC, """
        import sys

        class Spec:
            def __init__(self, **kw):
                self.__dict__.update(kw)

        loader = object()
        spec = Spec(name=real.name, origin=real.origin, loader=loader, parent=None,
                    submodule_search_locations=["somewhere"])
        mod = real.loader.create_module(spec)
        ns = vars(mod)
        assert mod.__name__ == "vexlar.vector3.vector3"
        assert ns["__loader__"] is loader
        assert ns["__file__"] == real.origin
        assert "__package__" in ns and ns["__package__"] is None
        assert ns["__path__"] == ["somewhere"]
        assert "Vector3" not in ns

        # The execution step registers the module under its name and fills it.
        assert "vexlar.vector3.vector3" not in sys.modules
        real.loader.exec_module(mod)
        assert sys.modules["vexlar.vector3.vector3"] is mod
        assert mod.__test__ == {} and mod.Vector3(1, 2, 3).y == 2.0
        import vexlar.vector3.vector3 as again
        assert again is mod
    """)


def test_create_step_skips_missing_spec_attributes_and_a_none_search_path():
    run_fresh_to_the_end(REAL_SPEC, """
        class Spec:
            pass

        spec = Spec()
        spec.name, spec.origin, spec.submodule_search_locations = real.name, real.origin, None
        mod = real.loader.create_module(spec)
        assert "__path__" not in vars(mod)
        assert mod.__file__ == real.origin
    """)


def test_create_step_failing_spec_lookup_leaves_nothing_behind():
    out = run_fresh(REAL_SPEC, """
        class Spec:
            name, origin, loader = real.name, real.origin, real.loader

            @property
            def parent(self):
                raise LookupError("no parent here")

        try:
            real.loader.create_module(Spec())
        except LookupError as e:
            print("refused", e)
        import vexlar.vector3.vector3 as m
        print(m.Vector3(1, 2, 3).z)
    """)
    assert out.splitlines() == ["refused no parent here", "3.0"]


def test_execution_step_on_another_module_object_is_refused():
    out = run_fresh("""
        import ctypes, sys, types
        import vexlar.vector3.vector3 as m
        get_def = ctypes.PYFUNCTYPE(ctypes.c_void_p, ctypes.py_object)(("PyModule_GetDef", ctypes.pythonapi))
        exec_def = ctypes.PYFUNCTYPE(ctypes.c_int, ctypes.py_object, ctypes.c_void_p)(
            ("PyModule_ExecDef", ctypes.pythonapi))
        other = types.ModuleType("vexlar.vector3.vector3")
        try:
            exec_def(other, get_def(m))
        except RuntimeError as e:
            print(e)
        print(sys.modules["vexlar.vector3.vector3"] is m, m.Vector3(1, 2, 3).x, "Vector3" in vars(other))
    """)
    assert out.splitlines() == [
        "Module 'vector3' has already been imported. Re-initialisation is not supported.",
        "True 1.0 False",
    ]


# -------------------------------------------------------------------------- subinterpreters


def test_own_gil_subinterpreter_refuses_the_module():
    # An isolated subinterpreter with its own GIL turns the module away already in the
    # interpreter's own compatibility check: the module does not declare per-interpreter-GIL
    # support. Either way the import must fail with ImportError.
    out = run_fresh("""
        from concurrent import interpreters
        import vexlar.vector3.vector3
        interp = interpreters.create()
        try:
            interp.exec("import vexlar.vector3.vector3")
        except interpreters.ExecutionFailed as e:
            print(e.excinfo.type.__name__)
        else:
            print("imported")
        finally:
            interp.close()
    """)
    assert out.split() == ["ImportError"]


SHARED_GIL_SUBINTERPRETER = """
    import _interpreters
    def subinterpreter():
        return _interpreters.create(_interpreters.new_config("isolated", gil="shared"))
    def run(iid, code):
        failure = _interpreters.exec(iid, code)
        return None if failure is None else (failure.type.__name__, failure.msg)
"""


def test_subinterpreter_import_after_the_main_interpreter_is_refused():
    out = run_fresh(SHARED_GIL_SUBINTERPRETER, """
        import vexlar.vector3.vector3 as m
        iid = subinterpreter()
        print(run(iid, "import vexlar.vector3.vector3"))
        print(run(iid, "import vexlar.vector3.vector3"))
        _interpreters.destroy(iid)
        iid = subinterpreter()
        print(run(iid, "import vexlar.vector3.vector3"))
        _interpreters.destroy(iid)
        import sys
        print(sys.modules["vexlar.vector3.vector3"] is m, m.Vector3(1, 2, 3).y)
    """)
    refusal = repr(("ImportError", INTERPRETER_CHANGE))
    assert out.splitlines() == [refusal, refusal, refusal, "True 2.0"]


def test_main_interpreter_import_after_a_subinterpreter_is_refused():
    out = run_fresh(SHARED_GIL_SUBINTERPRETER, """
        iid = subinterpreter()
        print(run(iid, "import warnings\\n"
                       "warnings.filterwarnings('ignore', message='The global interpreter lock')\\n"
                       "import vexlar.vector3.vector3 as m\\n"
                       "assert m.Vector3(1, 2, 3).z == 3.0"))
        for attempt in range(2):
            try:
                import vexlar.vector3.vector3
            except ImportError as e:
                print(type(e).__name__, e)
            else:
                print("imported")
        _interpreters.destroy(iid)
    """)
    assert out.splitlines() == ["None", f"ImportError {INTERPRETER_CHANGE}", f"ImportError {INTERPRETER_CHANGE}"]


# ========================================================================================
# Method objects
# ========================================================================================

FUNCTION_TYPE = type(Vector3.dot)


@pytest.mark.parametrize("name, params", [
    ("dot", ("self", "other")),
    ("cross", ("self", "other")),
    ("sadd", ("self", "new_vec", "old_vec")),
    ("copy", ("self",)),
    ("__deepcopy__", ("self", "memo")),
    ("get_tuple", ("self",)),
    ("__add__", ("self", "other")),
    ("__mul__", ("self", "other")),
    ("from_xyz", ("x", "y", "z")),
    ("from_ints", ("x", "y", "z")),
    ("from_tuple", ("other",)),
    ("from_vector3", ("other",)),
])
def test_method_object_introspection(name, params):
    entry = Vector3.__dict__[name]
    static = name.startswith("from_")
    assert isinstance(entry, staticmethod) is static
    f = entry.__func__ if static else entry
    assert type(f) is FUNCTION_TYPE
    assert type(f).__flags__ & Py_TPFLAGS_HAVE_VECTORCALL
    assert f.__name__ == name
    assert f.__qualname__ == "Vector3." + name
    assert f.__module__ == MODULE
    assert f.__doc__ is None or isinstance(f.__doc__, str)
    assert f.__defaults__ is None
    assert f.__kwdefaults__ is None
    assert type(f.__annotations__) is dict
    assert type(f.__dict__) is dict
    assert f.__globals__ is vars(sys.modules[MODULE])
    assert f.__closure__ is None
    code = f.__code__
    assert isinstance(code, types.CodeType)
    assert code.co_filename == SRC
    assert code.co_name == name
    assert code.co_argcount == len(params)
    assert code.co_varnames[:code.co_argcount] == params
    assert code.co_firstlineno > 0


def test_dot_annotations():
    assert Vector3.dot.__annotations__ == {"other": "Vector3"}


def test_function_attributes_are_writable():
    f = Vector3.dot
    assert "marker" not in f.__dict__
    try:
        f.marker = 42
        assert f.marker == 42
        assert f.__dict__ == {"marker": 42}
    finally:
        del f.marker
    assert "marker" not in f.__dict__
    with pytest.raises(AttributeError):
        f.marker


def test_binding(v, w):
    bound = v.dot
    assert isinstance(bound, types.MethodType)
    assert bound.__func__ is Vector3.dot
    assert bound.__self__ is v
    assert bound(w) == 32.0
    assert Vector3.dot(v, w) == 32.0
    assert Vector3.dot.__get__(None, Vector3) is Vector3.dot


def test_static_constructors_are_staticmethods(v):
    entry = Vector3.__dict__["from_xyz"]
    assert type(entry) is staticmethod
    assert Vector3.from_xyz is entry.__func__
    assert v.from_xyz is entry.__func__
    assert xyz(Vector3.from_xyz(1, 2, 3)) == (1.0, 2.0, 3.0)
    assert xyz(v.from_xyz(4, 5, 6)) == (4.0, 5.0, 6.0)
    assert xyz(v) == (1.0, 2.0, 3.0)


@pytest.mark.parametrize("method, args", [
    (Vector3.dot, (5, Vector3())),
    (Vector3.dot, (None, Vector3())),
    (Vector3.dot, ((1, 2, 3), Vector3())),
    (Vector3.copy, ([1.0, 2.0, 3.0],)),
    (Vector3.get_tuple, ("abc",)),
    (Vector3.to_neg, (7.5,)),
    (Vector3.sadd, (object(), Vector3(), Vector3())),
    (Vector3.__add__, ((1, 2, 3), Vector3())),
    (Vector3.__mul__, (2.0, 2)),
])
def test_wrong_receiver_never_reaches_the_body(method, args):
    with pytest.raises(TypeError):
        method(*args)


@pytest.mark.parametrize("method, name", [
    (Vector3.dot, "dot"),
    (Vector3.copy, "copy"),
    (Vector3.sadd, "sadd"),
    (Vector3.__add__, "__add__"),
    (Vector3.__mul__, "__mul__"),
])
def test_method_without_receiver(method, name):
    with exact(TypeError, f"{name}() needs an argument"):
        method()


# ========================================================================================
# Argument matching
# ========================================================================================


class StrSub(str):
    pass


def unshared(s):
    """An equal string that is not the interned object."""
    return "".join(list(s))


@pytest.mark.parametrize("call, message", [
    (lambda v, w: v.copy(1), "copy() takes exactly 0 positional arguments (1 given)"),
    (lambda v, w: v.get_tuple(1, 2), "get_tuple() takes exactly 0 positional arguments (2 given)"),
    (lambda v, w: v.copy(x=1), "copy() got an unexpected keyword argument 'x'"),
    (lambda v, w: v.copy(**{unshared("xy"): 1}), "copy() got an unexpected keyword argument 'xy'"),
    (lambda v, w: v.dot(), "dot() takes exactly 1 positional argument (0 given)"),
    (lambda v, w: v.dot(w, w), "dot() takes exactly 1 positional argument (2 given)"),
    (lambda v, w: v.dot(w, other=w), "dot() got multiple values for keyword argument 'other'"),
    (lambda v, w: v.dot(othe=w), "dot() got an unexpected keyword argument 'othe'"),
    (lambda v, w: v.dot(w, bogus=1), "dot() got an unexpected keyword argument 'bogus'"),
    (lambda v, w: Vector3.dot(v, w, other=w), "dot() got multiple values for keyword argument 'other'"),
    (lambda v, w: v.sadd(new_vec=w), "sadd() takes exactly 2 positional arguments (1 given)"),
    (lambda v, w: v.sadd(old_vec=w), "sadd() takes exactly 2 positional arguments (0 given)"),
    (lambda v, w: v.sadd(w), "sadd() takes exactly 2 positional arguments (1 given)"),
    (lambda v, w: v.sadd(w, w, w), "sadd() takes exactly 2 positional arguments (3 given)"),
    (lambda v, w: v.sadd(w, w, w, old_vec=w), "sadd() takes exactly 2 positional arguments (3 given)"),
    (lambda v, w: v.sadd(w, new_vec=w), "sadd() got multiple values for keyword argument 'new_vec'"),
    (lambda v, w: v.sadd(w, w, old_vec=w), "sadd() got multiple values for keyword argument 'old_vec'"),
    (lambda v, w: v.sadd(bogus=1), "sadd() got an unexpected keyword argument 'bogus'"),
    (lambda v, w: Vector3.from_xyz(1, 2), "from_xyz() takes exactly 3 positional arguments (2 given)"),
    (lambda v, w: Vector3.from_xyz(1, 2, 3, 4), "from_xyz() takes exactly 3 positional arguments (4 given)"),
    (lambda v, w: Vector3.from_xyz(1, z=3), "from_xyz() takes exactly 3 positional arguments (1 given)"),
    (lambda v, w: Vector3.from_xyz(1, 2, 3, x=3), "from_xyz() got multiple values for keyword argument 'x'"),
    (lambda v, w: v.__deepcopy__(), "__deepcopy__() takes exactly 1 positional argument (0 given)"),
])
def test_argument_matching_messages(v, w, call, message):
    with exact(TypeError, message):
        call(v, w)
    assert xyz(v) == (1.0, 2.0, 3.0)


@pytest.mark.parametrize("call, expected", [
    (lambda v, w: v.dot(other=w), 32.0),
    (lambda v, w: Vector3.dot(v, other=w), 32.0),
    (lambda v, w: v.dot(**{StrSub("other"): w}), 32.0),
    (lambda v, w: v.dot(**{unshared("other"): w}), 32.0),
    (lambda v, w: xyz(Vector3.from_xyz(1, z=3, y=2)), (1.0, 2.0, 3.0)),
    (lambda v, w: xyz(Vector3.from_xyz(**{unshared("z"): 3, StrSub("x"): 1, "y": 2})), (1.0, 2.0, 3.0)),
    (lambda v, w: xyz(v.__deepcopy__(memo={})), (1.0, 2.0, 3.0)),
])
def test_keywords_match_by_name(v, w, call, expected):
    assert call(v, w) == expected


def test_sadd_by_keyword_in_any_order(v, w):
    assert v.sadd(old_vec=w, new_vec=Vector3(1, 1, 1)) is None
    assert xyz(v) == (5.0, 6.0, 7.0)
    v.sadd(w, old_vec=w)
    assert xyz(v) == (8.0, 10.0, 12.0)


def vectorcall(func, positional, kwnames, kwvalues):
    """Call through the vectorcall protocol with a keyword-name tuple as given (which need not
    hold strings: only native callers can produce that)."""
    call = api_function("PyObject_Vectorcall", ctypes.py_object, ctypes.py_object, ctypes.POINTER(ctypes.py_object),
                        ctypes.c_size_t, ctypes.py_object)
    args = list(positional) + list(kwvalues)
    array = (ctypes.py_object * len(args))(*args)
    return call(func, array, len(positional), tuple(kwnames))


@pytest.mark.parametrize("func, positional, name", [
    (Vector3.dot, (Vector3(),), "dot"),
    (Vector3.copy, (Vector3(),), "copy"),
    (Vector3.from_xyz, (1, 2), "from_xyz"),
])
def test_fast_call_keyword_names_must_be_strings(func, positional, name):
    with exact(TypeError, f"{name}() keywords must be strings"):
        vectorcall(func, positional, [7], [Vector3()])


def test_fast_call_with_string_keyword_names():
    assert vectorcall(Vector3.dot, (Vector3(1, 2, 3),), ["other"], [Vector3(4, 5, 6)]) == 32.0


def test_keyword_dict_with_non_string_keys_is_refused(v):
    with pytest.raises(TypeError):
        v.dot(**{1: v})
    with pytest.raises(TypeError):
        Vector3(**{1: 2})


@pytest.mark.parametrize("call, message", [
    (lambda v: Vector3.__add__(v), "__add__() takes exactly one argument (0 given)"),
    (lambda v: v.__add__(), "__add__() takes exactly one argument (0 given)"),
    (lambda v: v.__sub__(v, v), "__sub__() takes exactly one argument (2 given)"),
    (lambda v: v.__mul__(1, 2), "__mul__() takes exactly one argument (2 given)"),
    (lambda v: v.__truediv__(), "__truediv__() takes exactly one argument (0 given)"),
    (lambda v: Vector3.__floordiv__(v, 1, 2, 3), "__floordiv__() takes exactly one argument (3 given)"),
    (lambda v: v.__mul__(other=2), "__mul__() takes no keyword arguments"),
    (lambda v: v.__add__(other=v), "__add__() takes no keyword arguments"),
    (lambda v: Vector3.__truediv__(v, other=2), "__truediv__() takes no keyword arguments"),
])
def test_single_argument_convention(v, call, message):
    with exact(TypeError, message):
        call(v)
    assert xyz(v) == (1.0, 2.0, 3.0)


@pytest.mark.parametrize("call, key", [
    (lambda v: Vector3(x=1), "x"),
    (lambda v: Vector3(1, 2, x=3), "x"),
    (lambda v: Vector3(**{unshared("ab"): 1}), "ab"),
    (lambda v: v.__init__(x=1), "x"),
    (lambda v: v.__init__(7, 8, 9, z=1), "z"),
    (lambda v: Vector3.__init__(v, **{"y": 1, "x": 2}), "y"),
])
def test_constructor_refuses_keywords(v, call, key):
    with exact(TypeError, unexpected(key)):
        call(v)
    assert xyz(v) == (1.0, 2.0, 3.0)


# ========================================================================================
# Typed parameters
# ========================================================================================


@pytest.mark.parametrize("call, param, expected, got", [
    (lambda v: v.dot((1, 2, 3)), "other", TYPE_NAME, "tuple"),
    (lambda v: v.dot(None), "other", TYPE_NAME, "NoneType"),
    (lambda v: v.dot(other=[1, 2, 3]), "other", TYPE_NAME, "list"),
    (lambda v: v.cross(1.5), "other", TYPE_NAME, "float"),
    (lambda v: v.distance_to(None), "other", TYPE_NAME, "NoneType"),
    (lambda v: Vector3.from_vector3(None), "other", TYPE_NAME, "NoneType"),
    (lambda v: Vector3.from_vector3((1, 2, 3)), "other", TYPE_NAME, "tuple"),
    (lambda v: v.sadd(1, 2), "new_vec", TYPE_NAME, "int"),
    (lambda v: v.sadd(v, 2), "old_vec", TYPE_NAME, "int"),
    (lambda v: v.sadd(old_vec=1, new_vec=v), "old_vec", TYPE_NAME, "int"),
    (lambda v: v.sadd(old_vec=v, new_vec=1), "new_vec", TYPE_NAME, "int"),
    (lambda v: v.sadd(None, None), "new_vec", TYPE_NAME, "NoneType"),
    (lambda v: v + 1, "other", TYPE_NAME, "int"),
    (lambda v: v.__sub__("a"), "other", TYPE_NAME, "str"),
    (lambda v: Vector3.from_tuple(TupleSub((1, 2, 3))), "other", "tuple", "TupleSub"),
    (lambda v: Vector3.from_tuple([1, 2, 3]), "other", "tuple", "list"),
    (lambda v: Vector3.from_tuple(None), "other", "tuple", "NoneType"),
    (lambda v: Vector3.from_list(ListSub([1, 2, 3])), "other", "list", "ListSub"),
    (lambda v: Vector3.from_list((1, 2, 3)), "other", "list", "tuple"),
    (lambda v: Vector3.from_list(None), "other", "list", "NoneType"),
])
def test_typed_parameters(v, call, param, expected, got):
    with exact(TypeError, argtype(param, got, expected)) as excinfo:
        call(v)
    assert not hasattr(excinfo.value, "__notes__")
    assert xyz(v) == (1.0, 2.0, 3.0)


def test_typed_parameters_accept_exact_types(v):
    assert xyz(Vector3.from_tuple((1, 2, 3))) == (1.0, 2.0, 3.0)
    assert xyz(Vector3.from_list([4, 5, 6])) == (4.0, 5.0, 6.0)
    assert xyz(Vector3.from_vector3(v)) == (1.0, 2.0, 3.0)


# ========================================================================================
# Int conversion (through from_ints)
# ========================================================================================


class IntWithOwnInt(int):
    def __int__(self):
        return 99


class RaisingConversion:
    def __int__(self):
        raise ValueError("no int here")

    def __float__(self):
        raise ValueError("no float here")


@pytest.mark.parametrize("value, expected", [
    (3.9, 3.0),
    (-3.9, -3.0),
    (True, 1.0),
    (False, 0.0),
    (-1, -1.0),
    (2**31 - 1, 2147483648.0),      # exact int, then rounded to the nearest single
    (-2**31, -2147483648.0),
    (IntSub(12), 12.0),
    (IntWithOwnInt(5), 5.0),        # an int subclass converts by value, not through __int__
    (IntLike(-7), -7.0),
    (IntLike(-1), -1.0),
    (Fraction(7, 2), 3.0),
    (Decimal("-2.5"), -2.0),
])
def test_int_conversion(value, expected):
    r = Vector3.from_ints(value, 0, value)
    assert xyz(r) == (expected, 0.0, expected)


@pytest.mark.parametrize("value", [2**31, -2**31 - 1, 2**40, -2**59, 2**60 - 1, -(2**60 - 1), IntLike(2**31)])
def test_int_conversion_out_of_range(value):
    with exact(OverflowError, "value too large to convert to int"):
        Vector3.from_ints(0, value, 0)


@pytest.mark.parametrize("value", [2**60, -2**60, 2**70, -2**100])
def test_int_conversion_far_out_of_range_uses_the_interpreters_message(value):
    with pytest.raises(OverflowError) as excinfo:
        Vector3.from_ints(value, 0, 0)
    assert str(excinfo.value) != "value too large to convert to int"
    assert str(excinfo.value)


@pytest.mark.parametrize("value, message", [
    ("7", "an integer is required"),
    (None, "an integer is required"),
    (Idx(4), "an integer is required"),
    ((1,), "an integer is required"),
    (IntLike("7"), "__int__ returned non-int (type str)"),
    (IntLike(2.5), "__int__ returned non-int (type float)"),
])
def test_int_conversion_type_errors(value, message):
    with exact(TypeError, message):
        Vector3.from_ints(0, 0, value)


def test_int_conversion_propagates_the_conversions_own_error():
    with exact(ValueError, "no int here"):
        Vector3.from_ints(RaisingConversion(), 0, 0)


def test_int_conversion_checks_arguments_in_order():
    with exact(TypeError, "an integer is required"):
        Vector3.from_ints(0, "7", 2**31)
    with exact(OverflowError, "value too large to convert to int"):
        Vector3.from_ints(2**31, "7", 0)


def test_int_returning_an_int_subclass_warns_and_is_used():
    with pytest.warns(DeprecationWarning, match="^" + re.escape(INT_SUBCLASS_DEPRECATION) + "$"):
        r = Vector3.from_ints(IntLike(IntSub(7)), 1, 2)
    assert xyz(r) == (7.0, 1.0, 2.0)


def test_int_returning_an_int_subclass_fails_when_warnings_are_errors():
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        with exact(DeprecationWarning, INT_SUBCLASS_DEPRECATION):
            Vector3.from_ints(IntLike(IntSub(7)), 1, 2)


# ========================================================================================
# Float32 conversion
# ========================================================================================


@pytest.mark.parametrize("value, expected", [
    (Idx(4), 4.0),
    (Flt(2.5), 2.5),
    (Flt(-1.0), -1.0),
    (-1.0, -1.0),
    (-1, -1.0),
    (Fraction(-1), -1.0),
    (Decimal("0.5"), 0.5),
    (True, 1.0),
    (0.1, 0.10000000149011612),
    (2**24 + 1, 16777216.0),
    (1e39, float("inf")),
    (-1e39, float("-inf")),
    (1e-50, 0.0),
])
@pytest.mark.parametrize("ctor", ["from_xyz", "from_floats"])
def test_float32_conversion(ctor, value, expected):
    r = getattr(Vector3, ctor)(value, 0, value)
    assert xyz(r) == (expected, 0.0, expected)


@pytest.mark.parametrize("value, exc", [
    (10**400, OverflowError),
    ("a", TypeError),
    (None, TypeError),
    ((1.0,), TypeError),
    (Flt("1.0"), TypeError),
    (RaisingConversion(), ValueError),
])
@pytest.mark.parametrize("ctor", ["from_xyz", "from_floats"])
def test_float32_conversion_errors(ctor, value, exc):
    with pytest.raises(exc):
        getattr(Vector3, ctor)(0, value, 0)


def test_float32_conversion_of_a_property_write(v):
    v.y = Flt(-1.0)
    v.z = Idx(4)
    assert xyz(v) == (1.0, -1.0, 4.0)
    with pytest.raises(OverflowError):
        v.x = 10**400
    with pytest.raises(TypeError):
        v.x = "a"
    assert xyz(v) == (1.0, -1.0, 4.0)


# ========================================================================================
# Traceback entries
# ========================================================================================


def innermost_package_frame(exc):
    found = None
    tb = exc.__traceback__
    while tb is not None:
        if tb.tb_frame.f_code.co_filename == SRC:
            found = tb
        tb = tb.tb_next
    return found


FAILURES = [
    (lambda v: v.dot(1), TypeError, "Vector3.dot"),
    (lambda v: v.dot(), TypeError, "Vector3.dot"),
    (lambda v: Vector3.dot(), TypeError, "Vector3.dot"),
    (lambda v: Vector3(1, 2), TypeError, "Vector3.__init__"),
    (lambda v: Vector3(x=1), TypeError, "Vector3.__init__"),
    (lambda v: Vector3("a", 2, 3), TypeError, "Vector3.__init__"),
    (lambda v: setattr(v, "x", "a"), TypeError, "Vector3.x.__set__"),
    (lambda v: setattr(v, "z", None), TypeError, "Vector3.z.__set__"),
    (lambda v: v + 1, TypeError, "Vector3.__add__"),
    (lambda v: v.__mul__(1, 2), TypeError, "Vector3.__mul__"),
    (lambda v: Vector3.from_ints(2**31, 0, 0), OverflowError, "Vector3.from_ints"),
    (lambda v: Vector3.from_ints("7", 0, 0), TypeError, "Vector3.from_ints"),
    (lambda v: Vector3.from_tuple([1, 2, 3]), TypeError, "Vector3.from_tuple"),
    (lambda v: v.sadd(v, 1), TypeError, "Vector3.sadd"),
    (lambda v: v.copy(1), TypeError, "Vector3.copy"),
]


@pytest.mark.parametrize("call, exc, name", FAILURES)
def test_failure_adds_one_traceback_entry(v, call, exc, name):
    with pytest.raises(exc) as excinfo:
        call(v)
    entries = package_entries(excinfo.value, SRC)
    assert [e.name for e in entries] == [f"{MODULE}.{name}"]
    assert entries[0].lineno > 0
    code = innermost_package_frame(excinfo.value).tb_frame.f_code
    assert code.co_name == f"{MODULE}.{name}"
    assert code.co_filename == SRC


def test_entry_sits_between_the_caller_and_the_failing_python_code():
    with exact(ValueError, "no int here") as excinfo:
        Vector3.from_ints(RaisingConversion(), 0, 0)
    names = [e.name for e in traceback_entries(excinfo.value)]
    assert names[-2:] == [f"{MODULE}.Vector3.from_ints", "__int__"]
    assert len(package_entries(excinfo.value, SRC)) == 1


def fail(call):
    try:
        call()
    except Exception as e:
        return e
    raise AssertionError("the call did not fail")


def test_entry_code_objects_are_cached():
    v = Vector3()
    first = innermost_package_frame(fail(lambda: v.dot(1))).tb_frame.f_code
    second = innermost_package_frame(fail(lambda: v.dot("x"))).tb_frame.f_code
    third = innermost_package_frame(fail(lambda: Vector3.dot(v, None))).tb_frame.f_code
    assert first is second is third
    other = innermost_package_frame(fail(lambda: Vector3.from_ints("7", 0, 0))).tb_frame.f_code
    assert other is not first
    assert other.co_name == f"{MODULE}.Vector3.from_ints"
    assert first.co_name == f"{MODULE}.Vector3.dot"


def test_concurrent_failures_keep_their_entries():
    threads_count, rounds = 8, 2000
    start = threading.Barrier(threads_count)
    problems = []
    caught = [0] * threads_count
    lock = threading.Lock()

    def worker(offset):
        v = Vector3(1, 2, 3)
        start.wait()
        bad = 0
        for i in range(rounds):
            call, exc, name = FAILURES[(i + offset) % len(FAILURES)]
            try:
                call(v)
            except exc as e:
                caught[offset] += 1
                names = [entry.name for entry in package_entries(e, SRC)]
                if names != [f"{MODULE}.{name}"]:
                    bad += 1
                    if bad < 5:
                        with lock:
                            problems.append((name, names))
            else:
                with lock:
                    problems.append((name, "did not fail"))
        if bad:
            with lock:
                problems.append(("wrong entries", bad))

    run_threads(worker, threads_count)
    assert problems == []
    assert caught == [rounds] * threads_count


# ========================================================================================
# Pickling guard
# ========================================================================================

GUARD_TEXT = "self.data"


def test_guard_is_installed_under_the_pickling_names():
    assert_pickling_guard_installed(Vector3)


@pytest.mark.parametrize("protocol", range(pickle.HIGHEST_PROTOCOL + 1))
def test_pickling_is_refused(v, protocol):
    with pytest.raises(TypeError, match=re.escape(GUARD_TEXT)) as excinfo:
        pickle.dumps(v, protocol)
    message = str(excinfo.value)
    with pytest.raises(TypeError) as direct:
        v.__reduce_ex__(protocol)
    assert str(direct.value) == message


def test_guard_methods(v):
    with pytest.raises(TypeError, match=re.escape(GUARD_TEXT)) as reduce_info:
        v.__reduce__()
    with pytest.raises(TypeError, match=re.escape(GUARD_TEXT)) as setstate_info:
        v.__setstate__(1)
    assert str(reduce_info.value) == str(setstate_info.value)
    with pytest.raises(TypeError, match=re.escape(GUARD_TEXT)):
        v.__setstate__((4.0, 5.0, 6.0))
    with pytest.raises(TypeError, match=r"takes exactly 1 positional argument \(0 given\)$"):
        v.__setstate__()
    with pytest.raises(TypeError, match=r"takes exactly 1 positional argument \(2 given\)$"):
        v.__setstate__(1, 2)
    with pytest.raises(TypeError, match="takes no arguments"):
        v.__reduce__(1)
    assert xyz(v) == (1.0, 2.0, 3.0)


def test_guard_failure_carries_a_traceback_entry(v):
    for call in (lambda: v.__reduce__(), lambda: v.__setstate__(1), lambda: pickle.dumps(v)):
        with pytest.raises(TypeError) as excinfo:
            call()
        assert len(package_entries(excinfo.value, SRC)) == 1


@pytest.mark.parametrize("copier", [copy.copy, copy.deepcopy, lambda v: v.copy(), lambda v: v.__copy__()])
def test_copying_still_works(v, copier):
    c = copier(v)
    assert type(c) is Vector3 and c is not v and c == v
    c.x = 10
    assert v.x == 1.0


# ========================================================================================
# Published method table
# ========================================================================================


def test_method_table_capsule():
    assert_table_capsule(Vector3, TYPE_NAME)
    capsule = Vector3.__dict__["__pyx_vtable__"]
    assert capsule_is_valid(capsule, b"Vector3") == 0
    assert capsule_pointer(capsule, None)


# ========================================================================================
# Types
# ========================================================================================


def test_type_names():
    assert type(Vector3) is type
    assert type(Vector3).__name__ == "type"
    assert Vector3.__module__ == MODULE
    assert Vector3.__name__ == "Vector3"
    assert Vector3.__qualname__ == "Vector3"
    assert repr(Vector3) == f"<class '{TYPE_NAME}'>"


def test_type_is_static_final_and_not_collected():
    assert not Vector3.__flags__ & Py_TPFLAGS_HEAPTYPE
    assert not Vector3.__flags__ & Py_TPFLAGS_BASETYPE
    with pytest.raises(TypeError):
        Vector3.extra = 1
    assert not hasattr(Vector3, "extra")
    assert not gc.is_tracked(Vector3(1, 2, 3))


def test_instances_have_no_dict_and_no_weak_references(v):
    assert not hasattr(v, "__dict__")
    assert Vector3.__dictoffset__ == 0
    assert Vector3.__weakrefoffset__ == 0
    with pytest.raises(AttributeError):
        v.extra = 1
    with pytest.raises(TypeError):
        weakref.ref(v)


def test_type_cannot_be_subclassed():
    with pytest.raises(TypeError):
        class Derived(Vector3):
            pass
    with pytest.raises(TypeError):
        type("Derived", (Vector3,), {})


def test_setstate_guard_takes_its_argument_by_keyword_too(v):
    with pytest.raises(TypeError, match="self.data"):
        v.__setstate__(state=1)
    with pytest.raises(TypeError, match="unexpected keyword argument 'other'"):
        v.__setstate__(other=1)


def test_defaults_are_read_only():
    # Argument matching reads them without a lock; a replaced tuple could be too short.
    with pytest.raises(AttributeError):
        Vector3.dot.__defaults__ = (1,)
    assert Vector3.dot.__defaults__ is None


def test_rebinding_qualname_keeps_traceback_entries_intact():
    from vexlar.vector2.vector2 import Vector2

    method = Vector2.dot
    # Nothing else holds the original name, so rebinding frees it.
    method.__qualname__ = "".join(["re", "named"])
    gc.collect()
    try:
        with pytest.raises(TypeError) as excinfo:
            Vector2().dot(1)
        names = [e.name for e in traceback.extract_tb(excinfo.value.__traceback__)]
        assert "vexlar.vector2.vector2.Vector2.dot" in names
    finally:
        method.__qualname__ = "Vector2." + "".join(["d", "ot"])
