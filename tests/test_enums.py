"""WindowFlags: raylib's window configuration flags as an IntFlag, checked name by name and
value by value against the raylib.h the package is built with."""

import enum
import os
import pathlib
import re

import pytest

import vexlar.enums
from vexlar.enums import WindowFlags


def raylib_header():
    prefixes = [os.environ.get("VEXLAR_TOOLCHAIN"),
                os.path.join(os.environ.get("XDG_CACHE_HOME") or "~/.cache", "vexlar-toolchain"),
                "~/.cache/vexlar-toolchain"]
    for prefix in filter(None, prefixes):
        path = pathlib.Path(prefix).expanduser() / "raylib" / "include" / "raylib.h"
        if path.is_file():
            return path.read_text()
    pytest.skip("raylib.h of the toolchain not found")


@pytest.fixture(scope="module")
def config_flags():
    """FLAG_<name> = 0x... of raylib's ConfigFlags enum, without the prefix, in header order."""
    text = raylib_header()
    body = re.search(r"typedef enum\s*\{([^}]*)\}\s*ConfigFlags;", text)
    assert body, "raylib.h has no ConfigFlags enum"
    return [(name, int(value, 16))
            for name, value in re.findall(r"^\s*FLAG_(\w+)\s*=\s*(0x[0-9A-Fa-f]+)", body.group(1), re.M)]


def test_header_declares_raylib_6_flags(config_flags):
    assert len(config_flags) == 16


def test_members_are_exactly_the_header_flags(config_flags):
    assert [(m.name, m.value) for m in WindowFlags] == config_flags
    for name, value in config_flags:
        assert WindowFlags[name] is WindowFlags(value)
        assert WindowFlags[name] == value


def test_is_an_int_flag_of_single_bits():
    assert issubclass(WindowFlags, enum.IntFlag)
    assert vexlar.enums.__all__ == ["WindowFlags"]
    assert len(WindowFlags) == 16 and len(WindowFlags.__members__) == 16     # no aliases
    values = [m.value for m in WindowFlags]
    assert all(v > 0 and v & (v - 1) == 0 for v in values)
    assert len(set(values)) == 16


@pytest.mark.parametrize("a, b, value", [
    ("WINDOW_RESIZABLE", "VSYNC_HINT", 0x44),
    ("MSAA_4X_HINT", "WINDOW_HIGHDPI", 0x2020),
    ("WINDOW_UNDECORATED", "WINDOW_MOUSE_PASSTHROUGH", 0x4008),
    ("FULLSCREEN_MODE", "FULLSCREEN_MODE", 0x2),
])
def test_flags_combine_with_or(a, b, value):
    combined = WindowFlags[a] | WindowFlags[b]
    assert type(combined) is WindowFlags
    assert combined == value and int(combined) == value
    assert WindowFlags[a] in combined and WindowFlags[b] in combined
    assert combined & ~WindowFlags[a] == (0 if a == b else WindowFlags[b])
    with_int = WindowFlags[a] | WindowFlags[b].value
    assert type(with_int) is WindowFlags and with_int == value


def test_all_flags_together():
    everything = WindowFlags(0)
    for flag in WindowFlags:
        everything |= flag
    assert everything == 0x1FFFE
    assert set(everything) == set(WindowFlags)
