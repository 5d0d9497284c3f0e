#!/usr/bin/env bash
# corvane-sim in live mode and corvane-feed from a pipe drive the monitor:
# every file is consumed, the final zero-length file ends the monitor with
# status 0, and both bitmaps equal the one the monitor makes from the same
# samples as a recording. The live files are one block (4096 frames) long, so
# that the blocks are the same in both modes; the TAI synchronisation is off
# (in live mode it would time the samples by the PC clock), and the scene
# starts at a whole phase code interval of GRI 6731 on the Loran time scale,
# so that the windows, placed from sample time 0, hold the pulses.
set -u
build=$(cd "$1" && pwd)
src=$(cd "$2" && pwd)
fail() { echo "FAIL: $*"; exit 1; }

dir=$(mktemp -d)
mon=
trap '[ -n "$mon" ] && kill $mon 2>/dev/null; rm -rf "$dir"' EXIT
cd "$dir"
cp "$src/examples/table.txt" .
cat > live.ini <<'INI'
[location]
lat = 52.24
lon = 6.85
[file]
dat = audio.dat
bmp = live.bmp
table = table.txt
bits = 16
stereo
[frequency]
sr = 22050
[time]
shortintegration = 1
longintegration = 1
[amplitude]
fullscale = 5000
[stations]
6731m
6731y
INI
# 2024-01-01 00:00:00 UTC is 2082758427 s after 1958 on the Loran time scale;
# the next multiple of 0.13462 s comes 27.52 ms later.
scene=(--table table.txt --stations 6731M,6731Y --lat 52.24 --lon 6.85 --rate 22050 --duration 6
       --start 2024-01-01T00:00:00.02752 --noise 0.02 --seed 3 --quiet)

# samebitmap <file>: equal to rec.bmp byte for byte, except the first two
# pixels of every station block, which carry the hour marks (they follow the
# PC clock and may differ between runs).
samebitmap() {
  /usr/bin/python3 - "$1" <<'PY' || fail "$1 differs from the recording's bitmap"
import struct, sys
a, b = open('rec.bmp', 'rb').read(), open(sys.argv[1], 'rb').read()
assert len(a) == len(b), (len(a), len(b))
width, height = struct.unpack_from('<ii', a, 18)
assert height >= 5, height
linebytes = (width * 3 + 3) // 4 * 4
mask = bytearray(linebytes)
for station in range(2):
    for k in range(6):
        mask[station * 24 * 3 + k] = 1
for i in range(len(a)):
    if a[i] != b[i] and not (i >= 54 and mask[(i - 54) % linebytes]):
        sys.exit(f'first difference at byte {i}')
PY
}

# The recording: the reference for both live runs.
"$build/corvane-sim" "${scene[@]}" --output scene.wav || fail "recording"
sed -e 's/^dat = audio.dat/wav = scene.wav/' -e 's/^bmp = live.bmp/bmp = rec.bmp/' live.ini > rec.ini
"$build/corvane" rec.ini </dev/null >out.txt 2>err.txt || fail "recording run: $(cat err.txt)"

# waitmonitor <pid>: the monitor must end by itself with status 0.
waitmonitor() {
  for _ in $(seq 1 600); do
    kill -0 "$1" 2>/dev/null || break
    sleep 0.05
  done
  kill -0 "$1" 2>/dev/null && fail "the monitor did not end at the zero-length file"
  wait "$1"
  local status=$?
  mon=
  [ $status -eq 0 ] || { cat err.txt; fail "monitor exit status $status"; }
}

# corvane-sim --live beside the monitor, files of 4096 frames (one block).
"$build/corvane" live.ini </dev/null >out.txt 2>err.txt & mon=$!
timeout 120 "$build/corvane-sim" "${scene[@]}" --live audio.dat --file-frames 4096 || fail "corvane-sim --live status"
waitmonitor $mon
[ ! -e audio.dat ] || fail "the zero-length end file was not consumed"
[ ! -e audio.dat.part ] || fail "temporary file left"
grep -q "6731 Y Anthorn" out.txt || fail "monitor output: $(cat out.txt)"
samebitmap live.bmp
rm -f audio.dat

# corvane-feed from a pipe: the raw samples of the recording.
rm live.bmp
"$build/corvane" live.ini </dev/null >out.txt 2>err.txt & mon=$!
tail -c +47 scene.wav | timeout 120 "$build/corvane-feed" --live audio.dat --file-frames 4096 --quiet ||
  fail "corvane-feed status"
waitmonitor $mon
[ ! -e audio.dat ] || fail "corvane-feed: the zero-length end file was not consumed"
[ ! -e audio.dat.part ] || fail "corvane-feed: temporary file left"
samebitmap live.bmp

echo "sim live monitor: ok"
