#!/usr/bin/env python3
"""Writes the controller recordings used by RecordedControllersTest.cpp.

Each description is written from a public source (the kernel driver's table or the
device's HID descriptor as hid-input maps it; docs/evdev-mapping.md names them). The
events start with one report of every axis at rest, then move one input at a time to
an extreme and back, one report each. Run it from anywhere; it rewrites the files next
to itself.
"""
import os

ABS = {"ABS_X": 0x00, "ABS_Y": 0x01, "ABS_Z": 0x02, "ABS_RX": 0x03, "ABS_RY": 0x04,
       "ABS_RZ": 0x05, "ABS_THROTTLE": 0x06, "ABS_RUDDER": 0x07, "ABS_WHEEL": 0x08,
       "ABS_GAS": 0x09, "ABS_BRAKE": 0x0a, "ABS_HAT0X": 0x10, "ABS_HAT0Y": 0x11}
KEY = {"KEY_ESC": 1, "KEY_ENTER": 28, "KEY_SPACE": 57, "KEY_BACK": 158, "BTN_0": 0x100,
       "BTN_LEFT": 0x110, "BTN_TRIGGER": 0x120, "BTN_SOUTH": 0x130, "BTN_EAST": 0x131,
       "BTN_C": 0x132, "BTN_NORTH": 0x133, "BTN_WEST": 0x134, "BTN_Z": 0x135, "BTN_TL": 0x136,
       "BTN_TR": 0x137, "BTN_TL2": 0x138, "BTN_TR2": 0x139, "BTN_SELECT": 0x13a,
       "BTN_START": 0x13b, "BTN_MODE": 0x13c, "BTN_THUMBL": 0x13d, "BTN_THUMBR": 0x13e}


def key_code(name):
    if name in KEY:
        return KEY[name]
    if name.startswith("BTN_TRIGGER+"):
        return 0x120 + int(name[12:])
    if name.startswith("KEY+"):
        return int(name[4:])
    raise KeyError(name)


def bits(codes, count):
    data = bytearray(count // 8)
    for c in codes:
        data[c // 8] |= 1 << (c % 8)
    return data


def blines(kind, data):
    return ["B: %02x %s" % (kind, " ".join("%02x" % b for b in data[i:i + 8]))
            for i in range(0, len(data), 8)]


def write(file, name, ids, axes, keys, moves):
    """axes: (name, min, max, rest); keys: names; moves: (name, value) pressed alone."""
    rest = {a[0]: a[3] for a in axes}
    out = ["# EVEMU 1.3", "# Written from the driver's table; see make-recordings.py",
           "N: " + name, "I: %04x %04x %04x %04x" % ids, "P: 00 00 00 00 00 00 00 00"]
    types = [0] + ([1] if keys else []) + ([3] if axes else [])
    out += blines(0, bits(types, 64))
    out += blines(1, bits([key_code(k) for k in keys], 768))
    out += blines(3, bits([ABS[a[0]] for a in axes], 64))
    for a in axes:
        out.append("A: %02x %d %d 0 0 0" % (ABS[a[0]], a[1], a[2]))
    t = [0]

    def report(events):
        for kind, code, value in events:
            out.append("E: %d.%06d %04x %04x %d" % (t[0] // 1000000, t[0] % 1000000, kind, code, value))
        out.append("E: %d.%06d 0000 0000 0" % (t[0] // 1000000, t[0] % 1000000))
        t[0] += 8000

    if axes:
        report([(3, ABS[a[0]], a[3]) for a in axes])
    for control, value in moves:
        if control in ABS:
            report([(3, ABS[control], value)])
            report([(3, ABS[control], rest[control])])
        else:
            report([(1, key_code(control), 1)])
            report([(1, key_code(control), 0)])
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), file)
    with open(path, "w") as f:
        f.write("\n".join(out) + "\n")


STICK = 32767
HAT = [("ABS_HAT0X", -1, 1, 0), ("ABS_HAT0Y", -1, 1, 0)]
HAT_MOVES = [("ABS_HAT0Y", -1), ("ABS_HAT0X", 1)]
PAD_KEYS = ["BTN_SOUTH", "BTN_EAST", "BTN_NORTH", "BTN_WEST", "BTN_TL", "BTN_TR", "BTN_SELECT",
            "BTN_START", "BTN_MODE", "BTN_THUMBL", "BTN_THUMBR"]

# xpad.c (xpad_common_btn, xpad_abs, xpad_abs_triggers): an Xbox One pad over USB.
write("xbox-one-xpad.evemu", "Microsoft X-Box One S pad", (0x03, 0x045e, 0x02ea, 0x0301),
      [("ABS_X", -32768, 32767, 0), ("ABS_Y", -32768, 32767, 0), ("ABS_Z", 0, 1023, 0),
       ("ABS_RX", -32768, 32767, 0), ("ABS_RY", -32768, 32767, 0), ("ABS_RZ", 0, 1023, 0)] + HAT,
      PAD_KEYS,
      [("ABS_X", 32767), ("ABS_Y", -32768), ("ABS_RX", 32767), ("ABS_RY", -32768),
       ("ABS_Z", 1023), ("ABS_RZ", 1023)] + HAT_MOVES + [(k, 1) for k in PAD_KEYS])

# The Xbox Wireless Controller over Bluetooth under hid-generic/hid-microsoft: its HID
# descriptor gives X, Y, Z, Rz for the sticks, Brake/Accelerator for the triggers and
# buttons 1..15 in the gamepad range (3, 6, 9 and 10 unused), and KEY_BACK.
BT_KEYS = ["BTN_SOUTH", "BTN_EAST", "BTN_C", "BTN_NORTH", "BTN_WEST", "BTN_Z", "BTN_TL",
           "BTN_TR", "BTN_TL2", "BTN_TR2", "BTN_SELECT", "BTN_START", "BTN_MODE", "BTN_THUMBL",
           "BTN_THUMBR", "KEY_BACK"]
write("xbox-bluetooth-hid.evemu", "Xbox Wireless Controller", (0x05, 0x045e, 0x0b13, 0x0509),
      [("ABS_X", 0, 65535, 32768), ("ABS_Y", 0, 65535, 32768), ("ABS_Z", 0, 65535, 32768),
       ("ABS_RZ", 0, 65535, 32768), ("ABS_GAS", 0, 1023, 0), ("ABS_BRAKE", 0, 1023, 0)] + HAT,
      BT_KEYS,
      [("ABS_X", 65535), ("ABS_Y", 0), ("ABS_Z", 65535), ("ABS_RZ", 0), ("ABS_BRAKE", 1023),
       ("ABS_GAS", 1023)] + HAT_MOVES + [(k, 1) for k in PAD_KEYS])

# hid-playstation.c (ps_gamepad_create): DualShock 4 and DualSense.
SONY_KEYS = ["BTN_WEST", "BTN_SOUTH", "BTN_EAST", "BTN_NORTH", "BTN_TL", "BTN_TR", "BTN_TL2",
             "BTN_TR2", "BTN_SELECT", "BTN_START", "BTN_THUMBL", "BTN_THUMBR", "BTN_MODE"]
SONY_AXES = [("ABS_X", 0, 255, 128), ("ABS_Y", 0, 255, 128), ("ABS_Z", 0, 255, 0),
             ("ABS_RX", 0, 255, 128), ("ABS_RY", 0, 255, 128), ("ABS_RZ", 0, 255, 0)] + HAT
SONY_MOVES = [("ABS_X", 255), ("ABS_Y", 0), ("ABS_RX", 255), ("ABS_RY", 0), ("ABS_RZ", 255),
              ("ABS_Z", 255)] + HAT_MOVES + [(k, 1) for k in SONY_KEYS]
write("dualshock4-playstation.evemu", "Sony Interactive Entertainment Wireless Controller",
      (0x03, 0x054c, 0x09cc, 0x8111), SONY_AXES, SONY_KEYS, SONY_MOVES)
write("dualsense-playstation.evemu", "Sony Interactive Entertainment DualSense Wireless Controller",
      (0x03, 0x054c, 0x0ce6, 0x8111), SONY_AXES, SONY_KEYS, SONY_MOVES)

# The DualShock 4 as hid-input maps its HID descriptor (old hid-sony, hid-generic):
# X, Y, Z, Rz = sticks, Rx = L2, Ry = R2; buttons 1..14 from BTN_TRIGGER.
DS4_GENERIC_KEYS = ["BTN_TRIGGER+%d" % i for i in range(14)]
write("dualshock4-generic.evemu", "Sony Computer Entertainment Wireless Controller",
      (0x03, 0x054c, 0x05c4, 0x0100),
      [("ABS_X", 0, 255, 128), ("ABS_Y", 0, 255, 128), ("ABS_Z", 0, 255, 128),
       ("ABS_RX", 0, 255, 0), ("ABS_RY", 0, 255, 0), ("ABS_RZ", 0, 255, 128)] + HAT,
      DS4_GENERIC_KEYS,
      [("ABS_X", 255), ("ABS_Y", 0), ("ABS_Z", 255), ("ABS_RZ", 0), ("ABS_RY", 255),
       ("ABS_RX", 255)] + HAT_MOVES + [(k, 1) for k in DS4_GENERIC_KEYS[:13]])

# hid-nintendo.c (procon_button_mappings, joycon_config_left/right_stick, dpad).
PRO_KEYS = ["BTN_SOUTH", "BTN_EAST", "BTN_WEST", "BTN_NORTH", "BTN_TL", "BTN_TR", "BTN_TL2",
            "BTN_TR2", "BTN_SELECT", "BTN_START", "BTN_THUMBL", "BTN_THUMBR", "BTN_MODE", "BTN_Z"]
write("switch-pro-nintendo.evemu", "Nintendo Switch Pro Controller", (0x05, 0x057e, 0x2009, 0x8001),
      [("ABS_X", -32767, 32767, 0), ("ABS_Y", -32767, 32767, 0), ("ABS_RX", -32767, 32767, 0),
       ("ABS_RY", -32767, 32767, 0)] + HAT,
      PRO_KEYS,
      [("ABS_X", 32767), ("ABS_Y", -32767), ("ABS_RX", 32767), ("ABS_RY", -32767)] + HAT_MOVES +
      [(k, 1) for k in PRO_KEYS])

# A flight stick's HID descriptor: X, Y, Rz (twist rudder), Slider (throttle), Dial (the
# throttle's rocker), a hat and 16 buttons; hid-input: ABS_RZ, ABS_THROTTLE, ABS_RUDDER.
STICK_KEYS = ["BTN_TRIGGER+%d" % i for i in range(16)]
write("flightstick-rudder-throttle.evemu", "Thrustmaster T.16000M", (0x03, 0x044f, 0xb10a, 0x0100),
      [("ABS_X", 0, 16383, 8192), ("ABS_Y", 0, 16383, 8192), ("ABS_RZ", 0, 255, 128),
       ("ABS_THROTTLE", 0, 255, 255), ("ABS_RUDDER", 0, 255, 128)] + HAT,
      STICK_KEYS,
      [("ABS_X", 0), ("ABS_Y", 16383), ("ABS_RZ", 255), ("ABS_THROTTLE", 0), ("ABS_RUDDER", 0)] +
      HAT_MOVES + [("BTN_TRIGGER+0", 1), ("BTN_TRIGGER+15", 1)])

# A wheel on the Simulation page: Steering, Accelerator, Brake, and the clutch on Z.
write("wheel-three-pedals.evemu", "Racing Wheel with Three Pedals", (0x03, 0x1209, 0x5701, 0x0100),
      [("ABS_Z", 0, 255, 0), ("ABS_WHEEL", 0, 1023, 512), ("ABS_GAS", 0, 255, 0),
       ("ABS_BRAKE", 0, 255, 0)],
      ["BTN_TRIGGER+%d" % i for i in range(12)],
      [("ABS_WHEEL", 0), ("ABS_GAS", 255), ("ABS_Z", 255), ("ABS_BRAKE", 255), ("BTN_TRIGGER+0", 1)])

# Rudder pedals without buttons: two toe brakes on X and Y, the rudder on Rz.
write("pedals-no-buttons.evemu", "Thrustmaster T-Flight Rudder Pedals", (0x03, 0x044f, 0xb679, 0x0100),
      [("ABS_X", 0, 255, 0), ("ABS_Y", 0, 255, 0), ("ABS_RZ", 0, 1023, 512)], [],
      [("ABS_X", 255), ("ABS_Y", 255), ("ABS_RZ", 0)])

# A keyboard whose descriptor carries one Button-page usage (hid-input: BTN_TRIGGER).
write("keyboard-one-joystick-key.evemu", "Gaming Keyboard", (0x03, 0x1209, 0x5702, 0x0100), [],
      ["KEY+%d" % c for c in range(1, 58)] + ["BTN_TRIGGER"], [("KEY_ESC", 1), ("BTN_TRIGGER", 1)])
