#!/usr/bin/env bash
# corvane-sim and corvane-feed end to end: recordings with the monitor's
# header and the expected length, reproducible bytes, live files by the rename
# convention with a final zero-length file, and refusals that leave no output.
set -u
build=$(cd "$1" && pwd)
src=$(cd "$2" && pwd)
sim="$build/corvane-sim"
feed="$build/corvane-feed"
fail() { echo "FAIL: $*"; exit 1; }

dir=$(mktemp -d)
consumer=
trap '[ -n "$consumer" ] && kill $consumer 2>/dev/null; rm -rf "$dir"' EXIT
cd "$dir"
cp "$src/examples/table.txt" table.txt

common=(--table table.txt --stations 6731M,6731Y,7499X --lat 52.24 --lon 6.85 --start 2015-06-01T12:00:00 --quiet)

# --help documents the options and succeeds.
"$sim" --help >help.txt || fail "corvane-sim --help status"
for o in --stations --output --live --noise --cw --impulses --ppm --lo-offset --lo-drift --seed --realtime; do
  grep -q -- "$o" help.txt || fail "corvane-sim --help lacks $o"
done
"$feed" --help | grep -q -- --no-end-file || fail "corvane-feed --help"

# A 2 s recording, 16-bit stereo at 48 kHz: 46-byte header, 4 bytes a frame.
"$sim" "${common[@]}" --duration 2 --noise 0.01 --seed 5 --output a.wav || fail "corvane-sim status"
[ "$(stat -c %s a.wav)" -eq $((46 + 96000 * 4)) ] || fail "recording length $(stat -c %s a.wav)"
[ ! -e a.wav.part ] || fail "temporary file left"
/usr/bin/python3 - a.wav 48000 2 16 96000 <<'PY' || fail "recording header"
import struct, sys
name, rate, ch, bits, frames = sys.argv[1], *map(int, sys.argv[2:])
h = open(name, 'rb').read(46)
riff, size, wave, fmt, fmtlen, tag, c, r, br, align, b, ext, data, dlen = struct.unpack('<4sI4s4sIHHIIHHH4sI', h)
want = frames * ch * bits // 8
assert (riff, wave, fmt, data) == (b'RIFF', b'WAVE', b'fmt ', b'data'), h
assert (fmtlen, tag, c, r, b, ext) == (18, 1, ch, rate, bits, 0), (fmtlen, tag, c, r, b, ext)
assert align == ch * bits // 8 and br == rate * align and dlen == want and size == want + 38
PY
# The signal is there: the stations reach well above the noise.
/usr/bin/python3 - a.wav <<'PY' || fail "recording holds no pulses"
import struct, sys
d = open(sys.argv[1], 'rb').read()[46:]
v = struct.unpack('<%dh' % (len(d) // 2), d)
assert max(abs(x) for x in v) > 3000, max(abs(x) for x in v)
PY

# Same seed, same bytes; another seed, other bytes.
"$sim" "${common[@]}" --duration 2 --noise 0.01 --seed 5 --output b.wav || fail "second run"
cmp -s a.wav b.wav || fail "same seed gave different bytes"
"$sim" "${common[@]}" --duration 2 --noise 0.01 --seed 6 --output c.wav || fail "third run"
cmp -s a.wav c.wav && fail "another seed gave the same bytes"

# 8-bit mono at 22050 Hz: one byte a frame, unsigned around 128.
"$sim" "${common[@]}" --duration 1.5 --rate 22050 --bits 8 --mono --output m.wav || fail "8-bit run"
[ "$(stat -c %s m.wav)" -eq $((46 + 33075)) ] || fail "8-bit length $(stat -c %s m.wav)"
/usr/bin/python3 - m.wav 22050 1 8 33075 <<'PY' || fail "8-bit header"
import struct, sys
name, rate, ch, bits, frames = sys.argv[1], *map(int, sys.argv[2:])
h = open(name, 'rb').read(46)
f = struct.unpack('<4sI4s4sIHHIIHHH4sI', h)
assert f[6:8] == (ch, rate) and f[10] == bits and f[13] == frames, f
d = open(name, 'rb').read()[46:]
assert sum(d) / len(d) > 120 and sum(d) / len(d) < 136 and min(d) < 120 and max(d) > 136
PY

# Refusals: unknown station, missing table, bad option; no output left.
"$sim" --table table.txt --stations 6731Q --output bad.wav --quiet 2>err.txt
[ $? -eq 1 ] || fail "unknown station status"
grep -q "6731Q" err.txt || fail "unknown station message: $(cat err.txt)"
"$sim" --table missing.txt --stations 6731M --output bad.wav --quiet 2>err.txt
[ $? -eq 2 ] || fail "missing table status"
grep -q 'missing.txt' err.txt || fail "missing table message"
"$sim" --output bad.wav --rate fast 2>err.txt && fail "bad rate accepted"
ls bad.wav* >/dev/null 2>&1 && fail "output left after a refusal"

# Live mode: a consumer stands for the monitor, reads each file and deletes it.
consume() { # consume <target> <concatenated output> <log>
  local target=$1 out=$2 log=$3
  : >"$out"; : >"$log"
  while :; do
    if [ -e "$target" ]; then
      local n; n=$(stat -c %s "$target")
      echo "$n" >>"$log"
      [ "$n" -eq 0 ] && return 0   # the end file stays, as the monitor leaves it
      cat "$target" >>"$out"
      rm -f "$target"
    fi
    sleep 0.01
  done
}
mkdir live
consume live/audio.dat live.raw live.log & consumer=$!
timeout 60 "$sim" "${common[@]}" --duration 2 --noise 0.01 --seed 5 --live live/audio.dat --file-frames 20000 ||
  fail "live run status"
wait $consumer; consumer=
[ "$(cat live.log | tr '\n' ' ')" = "80000 80000 80000 80000 64000 0 " ] || fail "live files: $(cat live.log | tr '\n' ' ')"
tail -c +47 a.wav | cmp -s - live.raw || fail "live files differ from the recording's samples"
[ -e live/audio.dat ] && [ ! -s live/audio.dat ] || fail "no zero-length end file"
[ ! -e live/audio.dat.part ] || fail "temporary live file left"
rm -f live/audio.dat

# Without the end file nothing is left once the files are consumed.
consume live/audio.dat live2.raw live2.log & consumer=$!
timeout 60 "$sim" "${common[@]}" --duration 0.5 --live live/audio.dat --no-end-file || fail "live run without end file"
sleep 0.3
kill $consumer 2>/dev/null; wait $consumer 2>/dev/null; consumer=
[ "$(cat live2.log | tr '\n' ' ')" = "96000 " ] || fail "live files without end file: $(cat live2.log)"
[ ! -e live/audio.dat ] || fail "a file left without --no-end-file"

# corvane-feed from a pipe: whole frames per file, the stream unchanged.
head -c 100002 /dev/urandom >stream.raw
consume live/audio.dat fed.raw fed.log & consumer=$!
cat stream.raw | timeout 60 "$feed" --live live/audio.dat --file-bytes 40000 --quiet || fail "corvane-feed status"
wait $consumer; consumer=
[ "$(cat fed.log | tr '\n' ' ')" = "40000 40000 20002 0 " ] || fail "fed files: $(cat fed.log | tr '\n' ' ')"
cmp -s stream.raw fed.raw || fail "fed files differ from the stream"
[ ! -e live/audio.dat.part ] || fail "temporary fed file left"

echo "sim tools: ok"
