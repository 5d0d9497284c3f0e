#!/usr/bin/env bash
# corvane-sim in live mode and corvane-feed from a pipe drive the monitor:
# every file is consumed, the final zero-length file ends the monitor with
# status 0, and the monitor reads the same samples as from the recording.
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
table = table.txt
bits = 16
stereo
[frequency]
sr = 22050
[stations]
6731m
6731y
INI
scene=(--table table.txt --stations 6731M,6731Y --lat 52.24 --lon 6.85 --rate 22050 --duration 6
       --noise 0.02 --seed 3 --quiet)

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
[ -e audio.dat ] && [ ! -s audio.dat ] || fail "the zero-length end file is not in place"
[ ! -e audio.dat.part ] || fail "temporary file left"
grep -q "6731 Y Anthorn" out.txt || fail "monitor output: $(cat out.txt)"
rm -f audio.dat

# corvane-feed from a pipe: the raw samples of the same scene as a recording.
"$build/corvane-sim" "${scene[@]}" --output scene.wav || fail "recording"
"$build/corvane" live.ini </dev/null >out.txt 2>err.txt & mon=$!
tail -c +47 scene.wav | timeout 120 "$build/corvane-feed" --live audio.dat --file-frames 4096 --quiet ||
  fail "corvane-feed status"
waitmonitor $mon
[ -e audio.dat ] && [ ! -s audio.dat ] || fail "corvane-feed: no zero-length end file"
[ ! -e audio.dat.part ] || fail "corvane-feed: temporary file left"

echo "sim live monitor: ok"
