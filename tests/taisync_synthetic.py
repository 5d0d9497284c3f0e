#!/usr/bin/python3
"""Writes a synthetic recording of three Loran-C chains, one station each,
timed on the Loran time scale, for the TAI synchronisation test.

usage: taisync_synthetic.py OUT.wav SECONDS TABLE

TABLE receives the station table of the three stations.

The receiver stands at 52 N 0 E; the stations, their emission delays and the
true UTC time of the first sample are fixed below and must agree with the
table and settings written by tests/taisync.sh.
"""
import datetime
import math
import random
import struct
import sys

SR = 12000
RECEIVER = (52.0, 0.0)
# gri, letter, latitude, longitude, emission delay (us)
STATIONS = [
    (6731, "M", 54.9114, -3.2786, 0.0),
    (7499, "X", 47.0, 8.0, 13100.5),
    (9007, "M", 58.0, 12.0, 0.0),
]
FIRST_SAMPLE_UTC = datetime.datetime(2025, 12, 7, 18, 35, 31, 250000)
LEAPSECS = 5                # leap seconds since 1999 in force in 2025
ASF = 1.008

MASTER = "110010101100111110"
SECONDARY = "1111100110101100"


def f32(x):
    return struct.unpack("f", struct.pack("f", x))[0]


def vincenty(p1, p2):
    a = 6378137.0
    f = 1 / 298.257223563
    b = (1 - f) * a
    L = math.radians(p2[1] - p1[1])
    u1 = math.atan((1 - f) * math.tan(math.radians(p1[0])))
    u2 = math.atan((1 - f) * math.tan(math.radians(p2[0])))
    su1, cu1, su2, cu2 = math.sin(u1), math.cos(u1), math.sin(u2), math.cos(u2)
    lam = L
    for _ in range(200):
        sl, cl = math.sin(lam), math.cos(lam)
        ss = math.hypot(cu2 * sl, cu1 * su2 - su1 * cu2 * cl)
        cs = su1 * su2 + cu1 * cu2 * cl
        sigma = math.atan2(ss, cs)
        sa = cu1 * cu2 * sl / ss
        c2a = 1 - sa * sa
        c2m = cs - 2 * su1 * su2 / c2a if c2a else 0
        C = f / 16 * c2a * (4 + f * (4 - 3 * c2a))
        prev = lam
        lam = L + (1 - C) * f * sa * (sigma + C * ss * (c2m + C * cs * (-1 + 2 * c2m * c2m)))
        if abs(lam - prev) < 1e-13:
            break
    u2_ = c2a * (a * a / (b * b) - 1)
    A = 1 + u2_ / 16384 * (4096 + u2_ * (-768 + u2_ * (320 - 175 * u2_)))
    B = u2_ / 1024 * (256 + u2_ * (-128 + u2_ * (74 - 47 * u2_)))
    ds = B * ss * (c2m + B / 4 * (cs * (-1 + 2 * c2m * c2m) - B / 6 * c2m * (-3 + 4 * ss * ss) * (-3 + 4 * c2m * c2m)))
    return b * A * (sigma - ds) / 1000


def envelope(t):
    """Loran-C pulse envelope, t in s from the pulse start."""
    if t < 0 or t > 300e-6:
        return 0.0
    x = t / 65e-6
    return x * x * math.exp(2 - 2 * x)


def main():
    out, seconds, table = sys.argv[1], float(sys.argv[2]), sys.argv[3]
    with open(table, "w") as f:
        for gri, letter, lat, lon, ed in STATIONS:
            fields = [str(gri), "0", letter, "Synthetic " + letter]
            for value, hemi in ((lat, "NS"), (lon, "EW")):
                a = abs(value)
                d = int(a)
                m = int((a - d) * 60)
                sec = (a - d - m / 60) * 3600
                fields += [str(d), str(m), "%.6f" % sec, hemi[value < 0]]
            fields += ["%.1f" % ed, "0", "400"]
            f.write(",".join(fields) + "\n")
    n = int(seconds * SR)
    rnd = random.Random(7)
    re = [rnd.gauss(0, 600) for _ in range(n)]
    im = [rnd.gauss(0, 600) for _ in range(n)]
    epoch1958 = datetime.datetime(1958, 1, 1)
    # Program time scale: UTC + 22 s + leap seconds since 1999.
    t0 = (FIRST_SAMPLE_UTC - epoch1958).total_seconds() + 22 + LEAPSECS
    speed = f32(299522878.3830014 / f32(ASF))
    for k, (gri, letter, lat, lon, ed) in enumerate(STATIONS):
        period = gri / 50000
        distance = f32(vincenty(RECEIVER, (lat, lon)))
        delay = ed / 1e6 + 1000 * distance / speed
        # Intervals begin at whole multiples of two GRIs since 1958, shifted
        # by the emission delay and the propagation time.
        first = (delay - t0) % period
        if letter == "M":
            offsets = [j * 1e-3 for j in range(8)] + [9e-3]
            offsets += [gri * 1e-5 + o for o in offsets]
            signs = MASTER
        else:
            offsets = [j * 1e-3 for j in range(8)]
            offsets += [gri * 1e-5 + o for o in offsets]
            signs = SECONDARY
        phase = 0.7 * k
        amp = 5000
        start = first
        while start * SR < n:
            for o, s in zip(offsets, signs):
                t = start + o
                sign = 1 if s == "1" else -1
                for i in range(int(t * SR), int((t + 300e-6) * SR) + 2):
                    if 0 <= i < n:
                        e = sign * amp * envelope(i / SR - t)
                        re[i] += e * math.cos(phase)
                        im[i] += e * math.sin(phase)
            start += period
    frames = bytearray()
    for i in range(n):
        frames += struct.pack("<hh", max(-32768, min(32767, round(re[i]))), max(-32768, min(32767, round(im[i]))))
    header = b"RIFF" + struct.pack("<I", 38 + len(frames)) + b"WAVE"
    header += b"fmt " + struct.pack("<IHHIIHHH", 18, 1, 2, SR, SR * 4, 4, 16, 0)
    header += b"data" + struct.pack("<I", len(frames))
    assert len(header) == 46
    with open(out, "wb") as f:
        f.write(header + frames)


main()
