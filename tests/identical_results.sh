#!/usr/bin/env bash
# Speed work must not change a single result: three runs of the monitor on
# fixed simulated recordings (fixed seeds) must give the console output and
# the bitmap that the straightforward code gave, byte for byte. The expected
# console texts and bitmap hashes are in tests/data/identical/.
#
#  a. 16-bit stereo, eight stations of three chains, noise blanker on, three
#     TAI references, colour bitmap (the benchmark's configuration, short).
#  b. The same recording with two blanked stations, noise blanker mode 2,
#     an oscillator offset with drift and a file scale (the front end's
#     rotor path), greyscale logarithmic bitmap.
#  c. 8-bit mono, band centre 2 kHz (shifted windows, rotated TAI fold),
#     noise blanker requested but ineffective with the band centre.
#
# The expected files depend on corvane-sim's bytes too: the recordings'
# hashes are checked first. Both the recordings and the results go through
# the C library's sin, cos, log (and exp, atan), whose last bits differ
# between libraries and versions: the expected files were made with g++ 12.2
# on Debian 12 with glibc 2.36 (x86-64, no -ffast-math). With another C
# library a mismatch here is not yet a fault; compare against a run of the
# unchanged code on the same toolchain instead.
# After a deliberate change of the results, write new expected files with UPDATE=1 bash tests/identical_results.sh BUILD SRC.
set -u
build=$(cd "$1" && pwd)
src=$(cd "$2" && pwd)
expected="$src/tests/data/identical"
fail() { echo "FAIL: $*"; exit 1; }

dir=$(mktemp -d)
trap '[ -n "${KEEP:-}" ] && echo "kept $dir" || rm -rf "$dir"' EXIT
cd "$dir"
# The station table as it was when the expected files were written.
cp "$expected/table.txt" table.txt

stations=6731M,6731X,6731Y,7499M,7499X,7499Z,9007M,9007X
common=(--table table.txt --stations "$stations" --lat 52.24 --lon 6.85 --start 2024-01-01T00:00:00
        --duration 9 --noise 0.02 --impulses 3:0.5 --quiet)
"$build/corvane-sim" "${common[@]}" --seed 11 --output stereo.wav || fail "corvane-sim stereo"
"$build/corvane-sim" "${common[@]}" --seed 12 --bits 8 --mono --lo-offset 2000 --output mono.wav ||
  fail "corvane-sim mono"

head_ini() {  # $1 recording, $2 bitmap, $3 bits, $4 stereo or mono, $5 more [file] lines
  cat <<INI
[location]
lat = 52.24
lon = 6.85
[file]
table = table.txt
wav = $1
bmp = $2
date = 01-01-2024
time = 00:00:00
bits = $3
$4
${5:-}
[frequency]
sr = 48000
[time]
shortintegration = 1
longintegration = 2
INI
}

{ head_ini stereo.wav a.bmp 16 stereo; cat <<'INI'
[amplitude]
nb = 1
[taisync]
integrationtime = 2
syncverbose
6731m = 1000
7499m = 1000
9007m = 1000
[stations]
6731m
6731x
6731y
7499m
7499x
7499z
9007m
9007x
INI
} > a.ini

{ head_ini stereo.wav b.bmp 16 stereo "filescale = 1.5"; cat <<'INI'
[frequency]
looffset = 150
lodrift = 0.5
[amplitude]
nb = 2
nbinit = 3000
colour = 0
dbrange = 40
[taisync]
integrationtime = 1
6731m = 1000
7499m = 1000
[stations]
blankedstns = 2
-7499m
-6731m
6731x
6731y
7499x
7499z
9007m
9007x
INI
} > b.ini

{ head_ini mono.wav c.bmp 8 mono; cat <<'INI'
[frequency]
bandcenter = 2000
[amplitude]
nb = 1
colour = 2
[taisync]
integrationtime = 2
7499m = 1000
6731m = 1000
[stations]
7499m
7499x
6731m
6731y
9007m
INI
} > c.ini

sha() { sha256sum < "$1" | cut -c1-64; }
{
  echo "stereo.wav $(sha stereo.wav)"
  echo "mono.wav $(sha mono.wav)"
} > recordings.txt
for run in a b c; do
  timeout 120 "$build/corvane" "$run.ini" > "$run.out" 2> "$run.err" || fail "run $run: exit status $? $(cat "$run.err")"
  [ -s "$run.bmp" ] || fail "run $run wrote no bitmap"
  echo "$run.bmp $(sha "$run.bmp")"
done > bitmaps.txt

if [ -n "${UPDATE:-}" ]; then
  mkdir -p "$expected"
  cp recordings.txt bitmaps.txt a.out b.out c.out "$expected"/
  echo "identical_results: expected files written to $expected"
  exit 0
fi

if ! diff -q recordings.txt "$expected/recordings.txt" > /dev/null; then
  fail "corvane-sim now writes other recordings than those the expected results were made from; regenerate them (UPDATE=1) from code whose results are known good"
fi
for run in a b c; do
  diff "$expected/$run.out" "$run.out" > "$run.diff" || fail "console output of run $run differs: $(head -20 "$run.diff")"
done
diff "$expected/bitmaps.txt" bitmaps.txt || fail "a bitmap differs"
echo "identical_results: console output and bitmaps unchanged"
