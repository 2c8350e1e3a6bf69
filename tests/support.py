"""Helpers the Vector3 test files share: single-precision reference values and exact messages."""
import math
import re
import struct

import pytest

from vexlar.vector3.vector3 import Vector3

TYPE_NAME = "vexlar.vector3.vector3.Vector3"


def f32(x):
    """Round a double to the nearest single, as the vector stores it."""
    try:
        return struct.unpack("f", struct.pack("f", x))[0]
    except OverflowError:
        return math.copysign(math.inf, x)


def xyz(v):
    return (v.x, v.y, v.z)


def exact(exc, message):
    """pytest.raises for exactly this message."""
    return pytest.raises(exc, match="^" + re.escape(message) + "$")


def argtype(param, got, expected=TYPE_NAME):
    return f"Argument '{param}' has incorrect type (expected {expected}, got {got})"


def same_bits(a, b):
    """Equal, with the same sign of zero; NaN matches NaN."""
    if math.isnan(b):
        return math.isnan(a)
    return a == b and math.copysign(1.0, a) == math.copysign(1.0, b)


def assert_components(v, expected, signed=False):
    """v is a Vector3 whose components are Python floats equal to `expected` rounded to single
    (with the signs of zeros too when `signed`)."""
    assert type(v) is Vector3
    got = xyz(v)
    assert all(type(g) is float for g in got)
    want = tuple(f32(e) for e in expected)
    if signed:
        assert all(same_bits(g, w) for g, w in zip(got, want)), (got, want)
    else:
        assert got == want


class Idx:
    """Converts only through the index protocol."""

    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


class Flt:
    """Converts only through __float__."""

    def __init__(self, value):
        self.value = value

    def __float__(self):
        return self.value
