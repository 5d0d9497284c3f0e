#!/usr/bin/env bash
# "TAI match" only when the time is really resolved, end to end.
# One simulated recording near Enschede (6731 M X Y Z, 7499 X, 9007 M; 7499 M
# off the air), its first sample at 14:20:05.030 UT:
#  1. One reference, or two on GRI 6731, with the start time right or 1 s
#     off: "TAI guess" and the ambiguity line; the UT shown is the truth
#     modulo 134.62 ms.
#  2. 6731 M + 6731 Y, Sylt's 6731 Z stronger than Y, searched at n = 0 only:
#     "TAI match" at the true UT to the millisecond.
#  3. 7499 M in the list, off the air: never a "TAI match".
#  4. Three chains at weight 1000: "TAI match" at the true UT to the
#     millisecond from start times right to 30 ms, 3 s, 15, 30, 40 and 58 min
#     wrong within the default search range; never a match anywhere else.
#  5. Dates and times of another shape, and recordings whose header disagrees
#     with the settings: error 1 with the key named; a rate within 1 % is read.
#  6. The converted KiwiSDR recording near Anthorn, Anthorn the only
#     reference: "TAI guess" and the ambiguity line; a reference nothing
#     transmits is not received.
set -euo pipefail
build=$(cd "$1" && pwd)
src=$(cd "$2" && pwd)
work=$(mktemp -d)
trap '[ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT
cd "$work"
fail() { echo "honest_time: FAIL: $*" >&2; exit 1; }
cp "$src/examples/table.txt" .

"$build/corvane-sim" --table table.txt --lat 52.24 --lon 6.85 --rate 12000 --quiet \
  --stations 6731M,6731X,6731Y,6731Z,7499X,9007M --start 2024-03-10T14:20:05.03 --duration 5 \
  --noise 0.02 --seed 5 --output sim.wav

# settings <time> <searchrange> <references, one a line> [extra [file] lines]
settings() {
  cat <<INI
[location]
lat = 52.24
lon = 6.85
[file]
table = table.txt
wav = sim.wav
date = 03-10-2024
time = $1
${4:-}
[frequency]
sr = 12000
[time]
shortintegration = 2
[taisync]
integrationtime = 4
searchrange = $2
syncverbose
$3
[stations]
6731m
INI
}
# run <name> <settings args...>: the monitor's console text in <name>.out
run() {
  local name=$1; shift
  settings "$@" > "$name.ini"
  "$build/corvane" "$name.ini" < /dev/null 2>&1 | tr '\r' '\n' > "$name.out" ||
    fail "$name: exit status $(cat "$name.out")"
}
tai() { grep -a 'TAI ' "$1.out" | sed 's/.*\(TAI .*\)/\1/'; }
ambiguous='sync: time ambiguous modulo 134.62 ms: references measured on GRI 6731 only'
truth=51605030  # 14:20:05.030 in ms of the day
# congruent <name>: the UT shown equals the truth modulo 134.62 ms (1 ms).
congruent() {
  tai "$1" | awk -v t=$truth '{ split($(NF-1), a, "[:.]"); d = a[1]*3600000 + a[2]*60000 + a[3]*1000 + a[4] - t
    r = d - 134.62 * int(d / 134.62); if (r < 0) r += 134.62; exit !(r <= 1 || r >= 133.62) }' ||
    fail "$1: $(tai "$1") is not the truth modulo 134.62 ms"
}

# --- 1: references on one GRI ------------------------------------------------
run one 14:20:05 3700 '6731m = 1000'
run oneoff 14:20:06 3700 '6731m = 1000'
run two 14:20:06 3700 $'6731m = 1000\n6731z = 1000'
for name in one oneoff two; do
  tai $name | grep -q '^TAI guess at ' || fail "$name: $(tai $name)"
  grep -qx "$ambiguous" $name.out || fail "$name: no ambiguity line: $(cat $name.out)"
  congruent $name
done
[ "$(tai one)" = 'TAI guess at    0.03 s offset, rel. error  0.00 rms,  14:20:05.030 UT' ] || fail "one: $(tai one)"

# --- 2: the secondary's own pulse group -------------------------------------
run sec 14:20:05 0.05 $'6731m = 1000\n6731y = 1000'
[ "$(tai sec | sed 's/rel. error .* rms, //')" = 'TAI match at    0.03 s offset,  14:20:05.030 UT' ] ||
  fail "6731 M + Y: $(tai sec)"
if grep -q 'ambiguous' sec.out; then fail "6731 M + Y searched at n = 0: $(cat sec.out)"; fi

# --- 3: a reference off the air ----------------------------------------------
run offair 14:20:06 3700 $'6731m = 1000\n7499m = 1000'
grep -q ' 7499 M .*, left out of the match' offair.out || fail "7499 M: not left out: $(cat offair.out)"
tai offair | grep -q '^TAI guess at ' || fail "off-air 7499 M: $(tai offair)"
grep -qx "$ambiguous" offair.out || fail "off-air 7499 M: no ambiguity line"
run offfirst 14:20:06 3700 $'7499m = 1000\n6731m = 1000'
[ "$(tai offfirst)" = 'TAI guess at    0.00 s offset, rel. error %1000.00 rms,  14:20:06.000 UT' ] ||
  fail "off-air 7499 M first: $(tai offfirst)"

# --- 4: three chains -----------------------------------------------------------
run three 14:20:08 3700 $'6731m = 1000\n7499x = 1000\n9007m = 1000'
tai three | grep -q '^TAI match at   -2.97 s offset, rel. error .* rms,  14:20:05.030 UT$' || fail "three chains: $(tai three)"
if grep -q 'ambiguous' three.out; then fail "three chains: ambiguity line"; fi
for start in 14:20:05 14:35:05 14:50:05 13:40:05 15:18:05 13:22:05; do
  run "three$start" "$start" 3700 $'7499x = 1000\n6731m = 1000\n9007m = 1000'
  tai "three$start" | grep -q '^TAI match at .* 14:20:05.030 UT$' || fail "three chains from $start: $(tai "three$start")"
done

# --- 5: refused settings and headers ----------------------------------------
# refused <name> <key text> <settings args...>
refused() {
  local name=$1 key=$2; shift 2
  settings "$@" > "$name.ini"
  local status=0
  "$build/corvane" "$name.ini" < /dev/null > "$name.out" 2>&1 || status=$?
  [ "$status" -eq 1 ] || fail "$name: exit status $status: $(cat "$name.out")"
  grep -q -- "$key" "$name.out" || fail "$name: \"$key\" not named: $(cat "$name.out")"
}
refused month 'date = 6-15-2024 refused' 14:20:05 3700 '6731m = 1000' 'date = 6-15-2024'
refused iso 'date = 2024-06-15 refused' 14:20:05 3700 '6731m = 1000' 'date = 2024-06-15'
refused hour 'time = 9:35:00 refused' 9:35:00 3700 '6731m = 1000'
"$build/corvane-sim" --table table.txt --stations 6731M --rate 24000 --duration 1 --quiet --output rate.wav
refused rate 'header says 24000 Hz.*set sr = 24000' 14:20:05 3700 '6731m = 1000' 'wav = rate.wav'
refused bits 'set bits = 16 in the settings' 14:20:05 3700 '6731m = 1000' 'bits = 8'
refused mono 'set stereo in the settings' 14:20:05 3700 '6731m = 1000' 'mono'
settings 14:20:05 0 '6731m = 1000' > near.ini
sed -i 's/^sr = 12000/sr = 12100/' near.ini  # 0.83 % off: a calibrated rate
"$build/corvane" near.ini < /dev/null > near.out 2>&1 || fail "sr within 1 %: $(cat near.out)"

# --- 6: real signal -------------------------------------------------------------
"$build/corvane-wav" "$src/tests/data/kiwisdr-anthorn.wav" anthorn.wav > /dev/null
cat > anthorn.txt <<'TABLE'
6731,0,M,Anthorn,54,54,41,N,3,16,43,W,0,0,250
9999,0,M,Nowhere,10,0,0,S,150,0,0,E,0,0,0
TABLE
real() {  # <name> <reference>
  cat > "$1.ini" <<INI
[location]
lat = 54.0695
lon = -3.1408
[file]
table = anthorn.txt
wav = anthorn.wav
bits = 16
stereo
date = 12-07-2025
time = 18:35:31
[frequency]
sr = 11999
[time]
shortintegration = 10
[taisync]
integrationtime = 10
syncverbose
$2 = 1000
[stations]
6731m
INI
  "$build/corvane" "$1.ini" < /dev/null 2>&1 | tr '\r' '\n' > "$1.out" || fail "$1: $(cat "$1.out")"
}
real anthorn 6731m
tai anthorn | grep -q '^TAI guess at ' || fail "Anthorn: $(tai anthorn)"
grep -qx "$ambiguous" anthorn.out || fail "Anthorn: no ambiguity line: $(cat anthorn.out)"
if grep -q 'not received' anthorn.out; then fail "Anthorn not received: $(cat anthorn.out)"; fi
real nowhere 9999m
grep -q ' 9999 M not received: peak' nowhere.out || fail "9999 M received: $(cat nowhere.out)"
tai nowhere | grep -q '^TAI guess at    0.00 s offset' || fail "9999 M: $(tai nowhere)"
echo "honest_time: ok"
