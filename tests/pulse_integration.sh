#!/usr/bin/env bash
# End to end: a synthetic recording of one Loran-C master (GRI 7499, phase
# code of the master, pulses at a known carrier phase, light noise) at the
# receiver's own position with emission delay 0, so that its pulses start at
# sample time 0 of every phase code interval. The status line must show the
# reference edge near window position 5 and a peak of the amplitude put in;
# pulses put 2 samples later move the edge by 2, and pulses of the wrong
# polarity pattern integrate to almost nothing.
set -u
build=$1
bin="$build/corvane"
fail() { echo "FAIL: $*"; exit 1; }

dir=$(mktemp -d)
trap '[ -n "${KEEP:-}" ] || rm -rf "$dir"' EXIT
cd "$dir"

# Writes a recording: 46-byte RIFF/WAVE header with an 18-byte fmt chunk, then
# 16-bit stereo little-endian I/Q frames.
#   generate.py FILE SECONDS SHIFT_SAMPLES PATTERN(code|plus)
cat >generate.py <<'PY'
import math, random, struct, sys
name, seconds, shift, pattern = sys.argv[1], float(sys.argv[2]), float(sys.argv[3]), sys.argv[4]
sr = 22050
gri = 7499
code = "110010101100111110"          # master phase codes A and B
signs = [1 if c == "1" else -1 for c in code] if pattern == "code" else [1] * 18
offsets = [0.001 * j for j in range(8)] + [0.009]
starts = offsets + [gri * 1e-5 + o for o in offsets]   # 18 pulses per two GRIs
amplitude = 2000.0
phase = math.radians(30)
cosp, sinp = math.cos(phase), math.sin(phase)

def envelope(u):
    # u: samples after the pulse start. Linear rise over 3 samples from u = -2
    # to the peak at u = 1, linear fall to 0 at u = 7.
    if u <= -2 or u >= 7:
        return 0.0
    return (u + 2) / 3 if u <= 1 else (7 - u) / 6

frames = int(seconds * sr)
re = [0.0] * frames
im = [0.0] * frames
interval = 2 * gri * 1e-5
k = 0
while k * interval < seconds + interval:
    for j, t in enumerate(starts):
        centre = (k * interval + t) * sr + shift
        for n in range(int(math.floor(centre)) - 3, int(math.ceil(centre)) + 8):
            if 0 <= n < frames:
                e = envelope(n - centre) * amplitude * signs[j]
                re[n] += e * cosp
                im[n] += e * sinp
    k += 1
random.seed(5)
data = bytearray()
for n in range(frames):
    i = max(-32768, min(32767, int(round(re[n] + random.gauss(0, 100)))))
    q = max(-32768, min(32767, int(round(im[n] + random.gauss(0, 100)))))
    data += struct.pack("<hh", i, q)
header = b"RIFF" + struct.pack("<I", 38 + len(data)) + b"WAVE"
header += b"fmt " + struct.pack("<IHHIIHHH", 18, 1, 2, sr, sr * 4, 4, 16, 0)
header += b"data" + struct.pack("<I", len(data))
assert len(header) == 46
open(name, "wb").write(header + data)
PY

printf '7499,0,M,Test master,50,0,0,N,10,0,0,E,0,0,800\n' >table.txt

settings() {  # settings FILE RECORDING SRCORR
    cat >"$1" <<INI
[location]
lat = 50
lon = 10
[file]
wav = $2
table = table.txt
bmp = out.bmp
date = 06-15-2020
time = 12:00:00
[frequency]
sr = 22050
srcorr = $3
[time]
shortintegration = 2
[stations]
7499m
INI
}

# statusfields OUTPUT: "max edge SR" of every status line, one per line.
statusfields() {
    grep -o 'max *%\?[0-9.-]* edge *%\?[0-9.-]* SR *[0-9.]*' "$1" |
        sed 's/max *%\?\([0-9.-]*\) edge *%\?\([0-9.-]*\) SR *\([0-9.]*\)/\1 \2 \3/'
}

# check NAME SECONDS SHIFT PATTERN SRCORR AWK-CONDITION-ON-LAST-LINE
check() {
    /usr/bin/python3 generate.py "$1.wav" "$2" "$3" "$4" || fail "$1: generator"
    settings "$1.ini" "$1.wav" "$5"
    "$bin" "$1.ini" >"$1.out" 2>"$1.err" </dev/null
    status=$?
    [ $status -eq 0 ] || fail "$1: exit status $status: $(cat "$1.err")"
    statusfields "$1.out" >"$1.fields"
    lines=$(wc -l <"$1.fields")
    [ "$lines" -ge 2 ] || fail "$1: expected at least 2 status lines, got $lines: $(cat "$1.out")"
    tail -n 1 "$1.fields" | awk "{ exit !($6) }" ||
        fail "$1: status line '$(tail -n 1 "$1.fields")' does not satisfy $6"
    echo "$1: $(tail -n 1 "$1.fields")"
}

# Pulses where the window expects them: peak about 0.94 x 2000 (mean over the
# sub-sample offsets), edge where the rise crosses 0.4 of it, about 5.1.
check nominal 5 0 code 0 '$1 >= 1700 && $1 <= 2000 && $2 >= 4.8 && $2 <= 5.4 && $3 == 22050'
# Two samples later: the same peak, the edge two positions on.
check late 5 2 code 0 '$1 >= 1700 && $1 <= 2000 && $2 >= 6.8 && $2 <= 7.4'
# Every pulse positive: the master code has 4 more + than - signs in its
# 18 pulses, so only 4 / 18 of the peak remain.
check wrongcode 5 0 plus 0 '$1 >= 300 && $1 <= 550'
# With the sample clock loop on, a 1-sample late arrival is pulled back to 5.
check tracked 9 1 code 1 '$1 >= 1500 && $2 >= 4.6 && $2 <= 5.6 && $3 > 22049 && $3 < 22051'
echo "pulse_integration: ok"
