#!/usr/bin/env bash
# Kills the monitor with SIGKILL at random moments (seeded) and checks what a
# kill may leave behind:
# - recording mode, one bitmap line per short integration: the bitmap is a
#   valid picture whose header height and size agree with its length, or the
#   file holds at most the one line being written beyond them, and an
#   independent reader (PIL) opens it;
# - live mode: no file that was not read to its end has been deleted (the
#   monitor is stopped before the kill, and every sample file it still holds
#   open must then exist unless it was read to its end).
set -u
build=$(cd "$1" && pwd)
src=$(cd "$2" && pwd)
kills=${CRASH_KILLS:-50}
RANDOM=20261208
fail() { echo "FAIL: $*"; exit 1; }

dir=$(mktemp -d)
trap 'kill -9 $(jobs -p) 2>/dev/null; rm -rf "$dir"' EXIT
cd "$dir"
cp "$src/examples/table.txt" .
"$build/corvane-sim" --table table.txt --stations 6731M,6731Y,7499M --lat 52 --lon 5 \
  --rate 22050 --duration 300 --noise 0.01 --quiet --output rec.wav || fail "simulator"
cat >rec.ini <<'INI'
[location]
lat = 52
lon = 5
[file]
wav = rec.wav
[time]
shortintegration = 0.05
longintegration = 1
[amplitude]
colour = 0
[stations]
6731m
6731y
7499m
INI

checkbitmap() {
  /usr/bin/python3 - "$1" <<'PY' || return 1
import struct, sys
from PIL import Image
data = open(sys.argv[1], 'rb').read()
if len(data) < 54:
    sys.exit('bitmap shorter than its header: %d bytes' % len(data))
size, = struct.unpack_from('<I', data, 2)
offset, = struct.unpack_from('<I', data, 10)
width, height = struct.unpack_from('<ii', data, 18)
bpp, = struct.unpack_from('<H', data, 28)
line = width * bpp // 8
if size != offset + height * line:
    sys.exit('size field %d disagrees with height %d' % (size, height))
extra = len(data) - size
if extra not in (0, line):
    sys.exit('file length %d, header says %d (line %d)' % (len(data), size, line))
if height > 0:
    Image.open(sys.argv[1]).load()
PY
}

# An uninterrupted run sets the time scale of the kills.
start=$(date +%s%N)
"$build/corvane" rec.ini >/dev/null 2>&1 </dev/null || fail "uninterrupted run"
total=$(( ($(date +%s%N) - start) / 1000000 ))
[ "$total" -ge 20 ] || total=20
checkbitmap corvane.bmp || fail "bitmap after a complete run"

lines=0
for ((i = 0; i < kills; i++)); do
  delay=$(( RANDOM % total ))
  "$build/corvane" rec.ini >/dev/null 2>&1 </dev/null &
  pid=$!
  # The delay in ms as seconds with three decimals: 1234 ms is 1.234 s.
  sleep "$(printf '%d.%03d' $((delay / 1000)) $((delay % 1000)))"
  kill -9 "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  [ -e corvane.bmp ] || continue
  checkbitmap corvane.bmp || fail "kill $i after ${delay} ms: bitmap invalid"
  lines=$((lines + 1))
done
[ "$lines" -ge $((kills / 2)) ] || fail "only $lines of $kills kills found a bitmap"

# Live mode: the simulator hands over files; the monitor is stopped, its open
# files inspected, then killed.
cat >live.ini <<'INI'
[location]
lat = 52
lon = 5
[file]
dat = audio.dat
[time]
shortintegration = 0.05
longintegration = 1
[pll]
; a short command per short integration keeps each file open for a while
pllcommand = sleep 0.02
[stations]
6731m
INI
held=0
livekills=$(( kills / 5 ))
for ((i = 0; i < livekills; i++)); do
  rm -f audio.dat audio.dat.part
  "$build/corvane-sim" --table table.txt --stations 6731M --lat 52 --lon 5 --rate 22050 \
    --duration 20 --file-frames 30000 --live audio.dat --quiet --no-end-file &
  sim=$!
  "$build/corvane" live.ini >/dev/null 2>&1 </dev/null &
  pid=$!
  # The monitor first waits for the wall clock's next second.
  sleep "1.$(printf '%03d' $((RANDOM % 1000)))"
  kill -STOP "$pid" 2>/dev/null
  for fd in /proc/$pid/fd/*; do
    target=$(readlink "$fd" 2>/dev/null) || continue
    case "$target" in
      */audio.dat*) ;;
      *) continue ;;
    esac
    pos=$(awk '/^pos:/ {print $2}' "/proc/$pid/fdinfo/${fd##*/}")
    size=$(stat -L -c %s "$fd")
    held=$((held + 1))
    if [ "$pos" -lt "$size" ]; then
      case "$target" in
        *"(deleted)") fail "live kill $i: a file read to $pos of $size bytes was deleted" ;;
      esac
      [ -e audio.dat ] || fail "live kill $i: the unread file is gone"
    fi
  done
  kill -9 "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  kill -9 "$sim" 2>/dev/null
  wait "$sim" 2>/dev/null
done
[ "$held" -ge 1 ] || fail "the monitor held no live file at any of $livekills stops"
echo "crash consistency: $kills recording kills ($lines bitmaps checked), $livekills live kills ($held open files checked): ok"
