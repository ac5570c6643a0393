#!/usr/bin/env python3
"""Writes a display-configuration recording (docs/display-config-format.md) of
a large machine, for the enumeration benchmarks to replay:

    generate-recording.py --modes N [--adapters 4] [--seed 1] -o FILE

The machine: ADAPTERS adapters (a docking station's and the GPU's), each with
4 sources and 4 targets, every source able to drive every target, so
QDC_ALL_PATHS lists 16 paths per adapter and each target is reachable from 4
sources. Target t of an adapter is active from source t; the active paths come
first, then every other source x target pair. Each source has N raw modes, of
which about 30% repeat an earlier one (not next to it), some of those
differing only in fields a resolution does not carry (orientation, fixed
output, flags). The same arguments always give the same file.
"""

import argparse
import json
import random

SOURCES = 4
TARGETS = 4
DUPLICATE_SHARE = 0.3
DM_FIELDS = 0x207C00A0  # depth, width, height, flags, frequency, orientation, position, fixed output
DEVICE_PATH = "\\\\?\\DISPLAY#BEN{:04X}#{}&{:x}&0&UID{}#{{e6f07b5f-ee97-4a90-b076-33f57bf4eaa7}}"

WIDTHS = [640, 720, 800, 1024, 1152, 1280, 1360, 1366, 1440, 1600, 1680, 1920, 2048, 2560,
          2880, 3200, 3440, 3840, 4096, 5120]
HEIGHTS = [350, 400, 480, 576, 600, 720, 768, 800, 864, 900, 960, 1024, 1050, 1080, 1200,
           1440, 1600, 1800, 2160, 2400]
FREQUENCIES = list(range(23, 241))
DEPTHS = [8, 16, 24, 32]


def luid(low):
    return {"LowPart": low, "HighPart": 0}


def signal(width, height, numerator, denominator):
    total_width, total_height = width + 160, height + height // 27
    return {"pixelRate": total_width * total_height * numerator // denominator,
            "hSyncFreq": {"Numerator": total_height * numerator, "Denominator": denominator},
            "vSyncFreq": {"Numerator": numerator, "Denominator": denominator},
            "activeSize": {"cx": width, "cy": height},
            "totalSize": {"cx": total_width, "cy": total_height},
            "videoStandard": 255, "scanLineOrdering": 1}


def path(adapter, source, target, active, source_mode, target_mode):
    invalid = 0xFFFFFFFF
    return {"sourceInfo": {"adapterId": luid(adapter), "id": source,
                           "modeInfoIdx": source_mode if active else invalid,
                           "statusFlags": 1 if active else 0},
            "targetInfo": {"adapterId": luid(adapter), "id": target,
                           "modeInfoIdx": target_mode if active else invalid,
                           "outputTechnology": 10, "rotation": 1, "scaling": 1,
                           "refreshRate": {"Numerator": 60 if active else 0,
                                           "Denominator": 1 if active else 0},
                           "scanLineOrdering": 1 if active else 0, "targetAvailable": 1,
                           "statusFlags": 1 if active else 0},
            "flags": 1 if active else 0}


def raw_mode(width, height, frequency, depth, orientation=0, fixed_output=0, flags=0):
    return {"dmPelsWidth": width, "dmPelsHeight": height, "dmBitsPerPel": depth,
            "dmDisplayFrequency": frequency, "dmDisplayFlags": flags,
            "dmDisplayOrientation": orientation, "dmDisplayFixedOutput": fixed_output,
            "dmPosition": {"x": 0, "y": 0}, "dmFields": DM_FIELDS}


def raw_modes(count, rng):
    """COUNT raw modes, about 30% of them repeats of earlier distinct ones."""
    seen = set()
    distinct = []
    modes = []
    while len(modes) < count:
        if distinct and rng.random() < DUPLICATE_SHARE:
            width, height, frequency, depth = rng.choice(distinct)
            variant = rng.randrange(4)
            modes.append(raw_mode(width, height, frequency, depth,
                                  orientation=2 if variant == 1 else 0,
                                  fixed_output=1 if variant == 2 else 0,
                                  flags=2 if variant == 3 else 0))
            continue
        key = (rng.choice(WIDTHS), rng.choice(HEIGHTS), rng.choice(FREQUENCIES),
               rng.choice(DEPTHS))
        if key in seen:
            continue
        seen.add(key)
        distinct.append(key)
        modes.append(raw_mode(*key))
    return modes


def recording(adapters, modes_per_source, seed):
    rng = random.Random(seed * 1000003 + modes_per_source)
    paths, modes, device_info, display_modes = [], [], [], []
    inactive = []
    for a in range(adapters):
        adapter = 0x1000 + a
        for t in range(TARGETS):
            target = 0x100 + t
            index = len(modes)
            x = (a * TARGETS + t) * 1920
            modes.append({"infoType": 1, "id": t, "adapterId": luid(adapter),
                          "sourceMode": {"width": 1920, "height": 1080, "pixelFormat": 4,
                                         "position": {"x": x, "y": 0}}})
            modes.append({"infoType": 2, "id": target, "adapterId": luid(adapter),
                          "targetMode": {"targetVideoSignalInfo": signal(1920, 1080, 60, 1)}})
            paths.append(path(adapter, t, target, True, index, index + 1))
            for s in range(SOURCES):
                if s != t:
                    inactive.append(path(adapter, s, target, False, 0, 0))
            device_info.append({"type": 2, "adapterId": luid(adapter), "id": target,
                                "result": 0, "size": 420,
                                "record": {"flags": 1, "outputTechnology": 10,
                                           "edidManufactureId": 0x1e6d,
                                           "edidProductCodeId": 0x5b00 + t,
                                           "connectorInstance": 1,
                                           "monitorFriendlyDeviceName": f"BENCH {a}-{t}",
                                           "monitorDevicePath":
                                               DEVICE_PATH.format(0x5b00 + t, a, adapter, t)}})
            device_info.append({"type": 3, "adapterId": luid(adapter), "id": target,
                                "result": 0, "size": 80,
                                "record": {"width": 1920, "height": 1080,
                                           "targetMode": {"targetVideoSignalInfo":
                                                              signal(1920, 1080, 60, 1)}}})
        for s in range(SOURCES):
            name = f"\\\\.\\DISPLAY{a * SOURCES + s + 1}"
            device_info.append({"type": 1, "adapterId": luid(adapter), "id": s, "result": 0,
                                "size": 84, "record": {"viewGdiDeviceName": name}})
            display_modes.append({"device": name, "modes": raw_modes(modes_per_source, rng)})
    return {"format": "vpi-display-config", "version": 1, "paths": paths + inactive,
            "modes": modes, "deviceInfo": device_info, "displayModes": display_modes}


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--modes", type=int, required=True, help="raw modes per source")
    parser.add_argument("--adapters", type=int, default=4, help="adapters of 4 targets each")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("-o", "--output", required=True)
    args = parser.parse_args()
    with open(args.output, "w", encoding="utf-8") as out:
        json.dump(recording(args.adapters, args.modes, args.seed), out, separators=(",", ":"))
        out.write("\n")


if __name__ == "__main__":
    main()
