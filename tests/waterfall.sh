#!/usr/bin/env bash
# The waterfall bitmap of a run on a synthetic recording, read back with PIL:
# one line per second of samples, the header agreeing with the file after
# every line, the station with pulses bright at its pulse position; and the
# retry of a line while the bitmap's path is taken by a folder.
set -euo pipefail
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap '[ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT
cd "$work"
py=/usr/bin/python3

# The recording starts at 23:59:58 UTC, so that its lines cross midnight.
# Station 5000A at the receiver sends one pulse every 0.1 s from sample 0;
# station 5000C, 50 ms later in the same rhythm, sends nothing.
cat > table.txt <<'TABLE'
5000,0,A,Pulsing,50,0,0,N,10,0,0,E,0,0,100
5000,0,C,Silent,50,0,0,N,10,0,0,E,50000,0,100
TABLE
"$py" - <<'GEN'
import struct
sr, seconds = 22050, 6
frames = bytearray(sr * seconds * 4)
envelope = [0.2, 0.6, 1.0, 0.8, 0.6, 0.4, 0.25, 0.1]
for start in range(0, sr * seconds, 2205):
    for i, e in enumerate(envelope):
        if start + i < sr * seconds:
            struct.pack_into('<hh', frames, (start + i) * 4, int(e * 12000), 0)
header = b'RIFF' + struct.pack('<I', 38 + len(frames)) + b'WAVE'
header += b'fmt ' + struct.pack('<IHHIIHHH', 18, 1, 2, sr, sr * 4, 4, 16, 0)
header += b'data' + struct.pack('<I', len(frames))
assert len(header) == 46
open('rec.wav', 'wb').write(header + frames)
GEN

settings() {  # $1: bmperrorhandling, $2: image command
  cat <<INI
[location]
lat = 50
lon = 10
[file]
table = table.txt
wav = rec.wav
date = 01-15-2020
time = 23:59:58
bits = 16
stereo
bmp = corvane.bmp
bmpcmd = $2
bmperrorhandling = $1
[frequency]
sr = 22050
[time]
shortintegration = 1
longintegration = 1
[amplitude]
colour = 0
notch100khz = 0
dbrange = 60
[stations]
5000a
5000c
INI
}

# Every line: a copy of the bitmap as it stands.
cat > snapshot.sh <<'HOOK'
n=$(ls | grep -c '^snap-' || true)
cp corvane.bmp "snap-$((n + 1)).bmp"
HOOK
settings 0 "sh snapshot.sh" > plain.ini
"$build/corvane" plain.ini > plain.out
lines=$(ls | grep -c '^snap-' || true)

"$py" - "$lines" <<'CHECK'
import sys
from PIL import Image
lines = int(sys.argv[1])
assert lines == 5, f'{lines} lines from 6 s of samples'
for n in range(1, lines + 1):
    name = f'snap-{n}.bmp'
    data = open(name, 'rb').read()
    size, height = (int.from_bytes(data[o:o + 4], 'little') for o in (2, 22))
    assert size == len(data) == 1078 + 48 * n, (name, size, len(data))
    assert height == n, (name, height)
    image = Image.open(name)
    image.load()
    assert image.size == (48, n), (name, image.size)
final = Image.open('corvane.bmp')
assert final.size == (48, lines), final.size
for y in range(lines):  # PIL puts the newest line on top
    row = [final.getpixel((x, y)) for x in range(48)]
    pulse = max(row[4:16])
    far = max(row[18:24])
    silent = max(row[26:48])
    assert pulse >= 200 and far < pulse / 2 and silent < pulse / 2, (y, row)
# Hour marks: the first line (23:59:59) marks one pixel per station, the
# second (00:00:00) two, the third none.
first, second, third = ([final.getpixel((x, lines - n)) for x in range(48)] for n in (1, 2, 3))
assert first[0] == first[24] == 255 and first[25] == 0, first
assert second[0] == second[1] == second[24] == second[25] == 255, second
assert third[24] == third[25] == 0, third
print(f'waterfall: {lines} lines, header agrees after each, pulse bright')
CHECK

# The retry: after the first line the path becomes a folder for 1.5 s.
rm -f corvane.bmp snap-*
cat > block.sh <<'HOOK'
if [ ! -e blocked ]; then
  touch blocked
  rm corvane.bmp && mkdir corvane.bmp
  (sleep 1.5; rmdir corvane.bmp) > /dev/null 2>&1 &
fi
HOOK
settings 2 "sh block.sh" > retry.ini
"$build/corvane" retry.ini > retry.out
retries=$(grep -c '^ 3 $' retry.out || true)
[ "$retries" -ge 3 ] || { echo "expected repeated error numbers, got $retries"; cat retry.out; exit 1; }
"$py" - "$lines" <<'CHECK'
import sys
from PIL import Image
lines = int(sys.argv[1])
data = open('corvane.bmp', 'rb').read()
assert int.from_bytes(data[2:6], 'little') == len(data) == 1078 + 48 * lines
image = Image.open('corvane.bmp')
assert image.size == (48, lines), image.size
assert max(image.getpixel((x, lines - 1)) for x in range(48)) == 0  # the lost first line
assert max(image.getpixel((x, lines - 2)) for x in range(4, 16)) >= 200
print(f'waterfall retry: written after the folder went, {lines} lines')
CHECK
echo "retries: $retries"
