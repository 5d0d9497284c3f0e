#!/usr/bin/env bash
# The monitor on recordings made by corvane-sim near Enschede, at 22050 Hz:
#  1. Three chains, the start time given to the monitor 3.75 s late: "TAI
#     match" with the true UT time of the first sample to the millisecond; in
#     the greyscale bitmap every simulated station is brightest at window
#     positions 5 to 9, and a selected station that nothing sends stays dark.
#  2. A sample clock 20 ppm fast: SR settles within 0.5 Hz of 22050.441 Hz.
#  3. Impulsive noise: with the noise blanker on, the reference station's max
#     stays closer to that of the clean recording than with it off.
set -euo pipefail
build=$(cd "$1" && pwd)
src=$(cd "$2" && pwd)
work=$(mktemp -d)
trap '[ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT
cd "$work"
fail() { echo "FAIL: $*" >&2; exit 1; }
cp "$src/examples/table.txt" .
sim() { "$build/corvane-sim" --table table.txt --lat 52.24 --lon 6.85 --rate 22050 --quiet "$@"; }
# statusfield <output> <field>: that field of every status line, one a line.
statusfield() { tr '\r' '\n' < "$1" | grep ' max ' | sed -n "s/.* $2 *\([-0-9.E+]*\).*/\1/p"; }

# --- 1: TAI match and the bitmap ----------------------------------------------
sim --stations 6731M,6731Z,7499M,7499Y,9007M --start 2024-03-10T14:20:05.25 --duration 30 \
    --noise 0.02 --seed 7 --output tai.wav
cat > tai.ini <<'INI'
[location]
lat = 52.24
lon = 6.85
[file]
table = table.txt
wav = tai.wav
date = 03-10-2024
time = 14:20:09
bmp = tai.bmp
[frequency]
sr = 22050
[time]
shortintegration = 2
longintegration = 2
[amplitude]
colour = 0
fullscale = 12000
[taisync]
integrationtime = 6
6731m = 1000
7499m = 1000
9007m = 1000
[stations]
6731m
6731z
7499m
7499y
9007m
7001m
INI
"$build/corvane" tai.ini > tai.out 2> tai.err || fail "TAI run: exit status $? $(cat tai.err)"
line=$(tr '\r' '\n' < tai.out | grep 'TAI ' | tail -1)
case "$line" in
  *"TAI match at   -3.75 s offset, rel. error "*" rms,  14:20:05.250 UT") ;;
  *) fail "expected a match at -3.75 s and 14:20:05.250 UT, got: $line" ;;
esac
/usr/bin/python3 - <<'PY' || fail "bitmap"
from PIL import Image
image = Image.open('tai.bmp')
assert image.mode == 'L' and image.size[0] == 144 and image.size[1] >= 4, (image.mode, image.size)
pixels = image.load()
for y in range(image.size[1]):
    # Positions 0 and 1 may carry the hour mark.
    blocks = [[pixels[s * 24 + j, y] for j in range(2, 24)] for s in range(6)]
    peaks = [max(b) for b in blocks]
    where = [b.index(p) + 2 for b, p in zip(blocks, peaks)]
    print('line', y, 'peaks', peaks, 'at', where)
    assert all(5 <= w <= 9 for w in where[:5]), 'a station off its pulse position'
    assert peaks[5] * 3 < min(peaks[:5]), '7001 M, not simulated, is not dark'
PY

# --- 2: sample clock 20 ppm fast --------------------------------------------
sim --stations 7499M,6731M,6731Z --start 2024-01-01T00:00:00 --duration 24 --noise 0.05 \
    --seed 8 --ppm 20 --output ppm.wav
cat > ppm.ini <<'INI'
[location]
lat = 52.24
lon = 6.85
[file]
table = table.txt
wav = ppm.wav
bmp = ppm.bmp
date = 01-01-2024
time = 00:00:03
[frequency]
sr = 22050
[time]
shortintegration = 2
[taisync]
integrationtime = 2
7499m = 1000
[stations]
7499m
6731m
6731z
INI
"$build/corvane" ppm.ini > ppm.out 2> ppm.err || fail "ppm run: exit status $? $(cat ppm.err)"
statusfield ppm.out SR | tr -d 'Hz' > sr.txt
echo "SR: $(tr '\n' ' ' < sr.txt)"
# From the fourth short integration on, every SR within 0.5 Hz of the truth.
awk 'NR >= 4 { n++; d = $1 - 22050.441; if (d < -0.5 || d > 0.5) bad = 1 }
     END { exit !(n >= 6 && !bad) }' sr.txt || fail "SR does not settle at 22050.441 Hz"

# --- 3: impulsive noise and the noise blanker --------------------------------
# Weak signals (level 0.01) so that 100 bursts a second at full scale matter;
# nbinit above the signal's amplitude, so that the blanker starts open.
scene=(--stations 6731M,6731Z,7499M --start 2024-01-01T00:00:00 --duration 20 --level 0.01
       --noise 0.01 --seed 8)
sim "${scene[@]}" --output clean.wav
sim "${scene[@]}" --impulses 100:1 --output impulses.wav
# Six seconds of folding: in two, the bursts of the impulsive recording stand
# nearly as high as 7499 M in its fold, which is then rightly not taken as
# received, and the two recordings' windows would differ.
maxes() {  # maxes <recording> <nb>: the reference's max of every status line
  sed -e "s/^wav = ppm.wav/wav = $1/" -e 's/^integrationtime = 2/integrationtime = 6/' ppm.ini > nb.ini
  printf '[amplitude]\nnb = %s\nnbinit = 3000\n' "$2" >> nb.ini
  "$build/corvane" nb.ini > nb.out 2> nb.err || fail "nb run: exit status $? $(cat nb.err)"
  statusfield nb.out max
}
maxes clean.wav 0 > clean.txt
maxes impulses.wav 0 > off.txt
maxes impulses.wav 1 > on.txt
# Mean distance from the clean max, short integration by short integration.
distance() { paste clean.txt "$1" | awk '{ d = $2 - $1; s += d < 0 ? -d : d; n++ } END { if (n < 6) exit 1; printf "%.1f", s / n }'; }
off=$(distance off.txt) || fail "too few status lines"
on=$(distance on.txt) || fail "too few status lines"
echo "max clean: $(tr '\n' ' ' < clean.txt); nb 0 off by $off, nb 1 off by $on"
awk -v on="$on" -v off="$off" 'BEGIN { exit !(on < off) }' || fail "the noise blanker does not help"
echo "sim monitor: ok"
