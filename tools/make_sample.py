#!/usr/bin/env python3
"""Writes examples/ulo.txt: the image of a plausibly configured signal generator.

Configuration 1 is the one the device's manual shows on its first screen. Run it again
after changing the values below; the file it writes is the one the editor itself writes.
"""
import os
import sys

image = bytearray([0xFF] * 2048)  # erased EEPROM cells read as FF


def pair(address, value):
    image[address] = value & 0xFF
    image[address + 1] = value >> 8


# General settings.
image[0] = 3            # last menu used
image[1] = 50           # brightness: 100 %
image[2] = 100          # contrast: high
image[3] = 0            # wheel configuration 1
image[4] = 5            # ramp points in use
pair(5, 2 * 6000)       # max poti speed, stored doubled
image[7] = 0xFE         # edit mode protected: on (bit 0 clear)
image[8] = 0            # LIS inversion: norm
pair(9, 3600)           # LIS upper threshold, mV
pair(11, 800)           # LIS lower threshold, mV
image[13] = 1           # TDC cylinder
pair(14, 4000)          # kickdown threshold, mV
pair(16, 0)             # first high frequency: off
pair(18, 1000)          # second high frequency, Hz
pair(32, 4000)          # VSS pulses per km
pair(34, 10)            # VSS pulse width, ms
pair(36, 4)             # aux speed pulses per rotation
pair(38, 50)            # aux speed pulse width, %

# Wheel configurations: name, cylinders, flags (write protection, crank, cam inversion),
# TDC width, crank pulses, crank offset, gap phase (tenths), crank width (tenths), gap pulses,
# gaps, cam pulses, cam offset, sync phase (tenths), cam width (byte), sync pulses.
W, C, I = 0x20, 0x40, 0x80
wheels = [
    ("60-2 Crank", 4, 0, 30, 60, 1200, 0, 30, 1, 2, 1, 0, 900, 30, 1),
    ("36-1 Crank", 4, 0, 20, 36, 100, 0, 50, 0, 1, 1, 0, 0, 50, 1),
    ("60-2 Crank Cam", 4, C, 30, 60, 60, 1140, 30, 1, 2, 1, 0, 1800, 60, 1),
    ("36-2-2-2 Crank", 4, C, 10, 36, 0, 200, 50, -1, 3, 1, 0, 0, 0x80 + 12, 0),
    ("24+1 Bosch", 6, C | W, 15, 24, 150, 0, 75, 0, 1, 1, 3600, 0, 100, 1),
    ("4-Cyl Hall", 4, 0, 30, 4, 900, 0, 99, 0, 1, 2, 100, 450, 0x80 + 20, -1),
    ("6-Cyl Hall", 6, 0, 20, 6, 600, 0, 99, 0, 1, 3, 100, 300, 0x80 + 15, 0),
    ("8-Cyl Hall", 8, I, 15, 8, 450, 0, 99, 0, 1, 4, 90, 225, 0x80 + 12, 0),
    ("12+1 Crank", 6, C, 30, 12, 300, 0, 80, 1, 1, 1, 0, 0, 50, 1),
    ("60-2 Crank 2xCam", 4, C | I, 30, 60, 60, 0, 30, 1, 2, 2, 0, 900, 30, 1),
    ("36-1 Crank Cam", 4, C, 20, 36, 100, 0, 50, 0, 1, 1, 0, 1800, 50, -2),
    ("58X Crank", 4, C, 30, 60, 60, 780, 30, 1, 1, 1, 0, 0, 30, 0),
    ("Nissan 360", 6, 0, 10, 120, 30, 0, 5, 0, 1, 6, 600, 0, 50, 0),
    ("Subaru 36-2-2", 4, C, 20, 36, 100, 300, 50, -1, 2, 3, 0, 600, 50, 1),
    ("Toyota 36-2", 4, C, 20, 36, 100, 0, 50, 1, 1, 3, 0, 1200, 50, 0),
    ("Mazda 36-2 C", 4, C, 20, 36, 100, 0, 50, 1, 1, 2, 0, 900, 50, 0),
    ("VW 60-2 1Cam", 4, C, 30, 60, 60, 0, 30, 1, 2, 1, 0, 720, 30, 1),
    ("BMW 60-2 4Cam", 6, C, 30, 60, 60, 0, 30, 1, 2, 4, 0, 0, 30, -3),
    ("Ford 36-1 EDIS", 8, C, 20, 36, 100, 900, 50, 0, 1, 1, 0, 0, 50, 0),
    ("GM 24X", 8, C, 15, 24, 150, 0, 75, 0, 1, 1, 0, 0, 100, 0),
    ("Honda 12+1", 4, C, 30, 12, 300, 0, 80, 1, 1, 1, 0, 0, 50, 1),
    ("Test 2-Cyl", 2, W, 30, 2, 1800, 0, 99, 0, 1, 1, 0, 0, 0x80 + 30, 0),
    ("Test 1 Pulse", 2, W, 30, 1, 0, 0, 99, 0, 1, 1, 0, 0, 0x80 + 30, 0),
    ("Spare 24", 4, 0, 30, 60, 60, 0, 30, 1, 2, 1, 0, 0, 30, 1),
    ("Spare 25", 4, 0, 30, 60, 60, 0, 30, 1, 2, 1, 0, 0, 30, 1),
]
assert len(wheels) == 25
for n, (name, cyl, flags, tdc_w, crank_p, crank_off, gap_ph, crank_w, gap_p, gaps,
        cam_p, cam_off, sync_ph, cam_w, sync_p) in enumerate(wheels):
    r = 64 + 16 * n
    image[r + 0] = flags | cyl
    image[r + 1] = tdc_w
    image[r + 2] = crank_p
    pair(r + 3, crank_off)
    pair(r + 5, gap_ph)
    image[r + 7] = crank_w
    image[r + 8] = ((gap_p & 0x0F) << 4) | gaps
    image[r + 9] = cam_p
    pair(r + 10, cam_off)
    pair(r + 12, sync_ph)
    image[r + 14] = cam_w
    image[r + 15] = sync_p & 0xFF
    assert len(name) <= 16
    image[1024 + 16 * n:1040 + 16 * n] = name.ljust(16).encode("ascii")

# Speed ramp: (time in hundredths of a second, speed in rpm) of the points in use; the
# rest of both tables is cleared.
ramp = [(250, 1000), (500, 2500), (1000, 4000), (1500, 6000), (2000, 800)]
for r in range(1, 100):
    t, s = ramp[r - 1] if r <= len(ramp) else (0, 0)
    pair(510 + 2 * r, 2 * s)
    pair(708 + 2 * r, t)

# CAN identifier 18DAF110, least significant byte first.
image[1536:1540] = bytes([0x10, 0xF1, 0xDA, 0x18])

text = "ULO EEPROM Memory:" + "".join(
    ("\n" if a % 16 == 0 else "") + "%02Xh " % b for a, b in enumerate(image))
out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
    os.path.dirname(os.path.abspath(__file__)), "..", "examples", "ulo.txt")
with open(out, "w", newline="\n") as f:
    f.write(text)
