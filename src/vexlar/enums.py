"""Enumerations shared by vexlar's modules."""
import enum

__all__ = ["WindowFlags"]


class WindowFlags(enum.IntFlag):
    """raylib's window configuration flags (raylib 6.0 ``ConfigFlags``), combinable with ``|``."""

    VSYNC_HINT = 0x00000040                  # try enabling V-Sync on the GPU
    FULLSCREEN_MODE = 0x00000002             # run the program in fullscreen
    WINDOW_RESIZABLE = 0x00000004            # allow the window to be resized
    WINDOW_UNDECORATED = 0x00000008          # no window decoration (frame and buttons)
    WINDOW_HIDDEN = 0x00000080               # hide the window
    WINDOW_MINIMIZED = 0x00000200            # minimise the window (iconify)
    WINDOW_MAXIMIZED = 0x00000400            # maximise the window to the monitor
    WINDOW_UNFOCUSED = 0x00000800            # the window is not focused
    WINDOW_TOPMOST = 0x00001000              # the window stays on top
    WINDOW_ALWAYS_RUN = 0x00000100           # keep running while minimised
    WINDOW_TRANSPARENT = 0x00000010          # transparent framebuffer
    WINDOW_HIGHDPI = 0x00002000              # support HighDPI
    WINDOW_MOUSE_PASSTHROUGH = 0x00004000    # mouse passthrough (with WINDOW_UNDECORATED only)
    BORDERLESS_WINDOWED_MODE = 0x00008000    # borderless windowed mode
    MSAA_4X_HINT = 0x00000020                # try enabling 4x multisample anti-aliasing
    INTERLACED_HINT = 0x00010000             # try enabling interlaced video (V3D)
