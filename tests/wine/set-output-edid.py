#!/usr/bin/env python3
"""Gives an output of the X server in DISPLAY an EDID, as a monitor would.

    set-output-edid.py OUTPUT FILE

Sets the RandR output property EDID of OUTPUT (DUMMY1, ...) to FILE's bytes
(a raw EDID). Xorg's dummy driver has no EDID of its own; Wine 8 takes this
property for the monitor's EDID when its session starts, and keeps it where
Windows keeps EDIDs. Through ctypes, so that nothing needs building: libX11
and libXrandr come with x11-xserver-utils. Every call has its argtypes and
restype, or 64-bit pointers and XIDs would be cut to 32 bits.
"""
import ctypes
import sys

XA_INTEGER = 19
PROP_MODE_REPLACE = 0

# XIDs (windows, outputs, atoms) and times are C longs.
XID = ctypes.c_ulong


class ScreenResources(ctypes.Structure):
    _fields_ = [("timestamp", ctypes.c_ulong), ("configTimestamp", ctypes.c_ulong),
                ("ncrtc", ctypes.c_int), ("crtcs", ctypes.POINTER(XID)),
                ("noutput", ctypes.c_int), ("outputs", ctypes.POINTER(XID))]


class OutputInfo(ctypes.Structure):
    # The leading fields only: the name is all this program reads.
    _fields_ = [("timestamp", ctypes.c_ulong), ("crtc", XID), ("name", ctypes.c_char_p),
                ("nameLen", ctypes.c_int)]


def main(output, path):
    with open(path, "rb") as file:
        edid = file.read()
    x11 = ctypes.CDLL("libX11.so.6")
    xrandr = ctypes.CDLL("libXrandr.so.2")
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    x11.XDefaultRootWindow.restype = XID
    x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x11.XInternAtom.restype = XID
    x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    xrandr.XRRGetScreenResources.argtypes = [ctypes.c_void_p, XID]
    xrandr.XRRGetScreenResources.restype = ctypes.POINTER(ScreenResources)
    xrandr.XRRFreeScreenResources.argtypes = [ctypes.POINTER(ScreenResources)]
    xrandr.XRRGetOutputInfo.argtypes = [ctypes.c_void_p, ctypes.POINTER(ScreenResources), XID]
    xrandr.XRRGetOutputInfo.restype = ctypes.POINTER(OutputInfo)
    xrandr.XRRFreeOutputInfo.argtypes = [ctypes.POINTER(OutputInfo)]
    xrandr.XRRChangeOutputProperty.argtypes = [
        ctypes.c_void_p, XID, XID, XID, ctypes.c_int, ctypes.c_int,
        ctypes.POINTER(ctypes.c_ubyte), ctypes.c_int]

    display = x11.XOpenDisplay(None)
    if not display:
        sys.exit("set-output-edid: cannot open the display")
    resources = xrandr.XRRGetScreenResources(display, x11.XDefaultRootWindow(display))
    found = None
    for i in range(resources.contents.noutput):
        info = xrandr.XRRGetOutputInfo(display, resources, resources.contents.outputs[i])
        if info.contents.name == output.encode():
            found = resources.contents.outputs[i]
        xrandr.XRRFreeOutputInfo(info)
    xrandr.XRRFreeScreenResources(resources)
    if found is None:
        x11.XCloseDisplay(display)
        sys.exit(f"set-output-edid: no output {output}")
    data = (ctypes.c_ubyte * len(edid)).from_buffer_copy(edid)
    xrandr.XRRChangeOutputProperty(display, found, x11.XInternAtom(display, b"EDID", 0),
                                   XA_INTEGER, 8, PROP_MODE_REPLACE, data, len(edid))
    x11.XSync(display, 0)
    x11.XCloseDisplay(display)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit("usage: set-output-edid.py OUTPUT FILE")
    main(sys.argv[1], sys.argv[2])
