#!/usr/bin/env bash
# eLoran data channel end to end.
#  1. corvane-sim near Anthorn with --eloran 6731Y and noise, the monitor's
#     start time 47 s early and Anthorn the only TAI reference: every message
#     that lies completely after the synchronisation's gathering is decoded,
#     with the contents the schedule sent (UTC from the Loran epoch, worked out
#     here), and "eLoran match" gives the true UT of the first sample, which
#     the time stamps then use.
#  2. Noise alone: nothing is decoded.
#  3. The KiwiSDR recording near Anthorn: the 8 UTC messages after the
#     gathering (first 18:35:36.20940 subtype 2, then every 2.0193 s,
#     subtypes 1 and 2 in turn) and "eLoran match" at 18:35:31.373 UT: the TAI
#     synchronisation on the master alone says "TAI guess" 18:35:30.969 with
#     the ambiguity line, three phase code intervals (3 x 134.62 ms =
#     0.404 s) early.
#  4. An [eloran] station that is not selected is refused with error 1.
set -euo pipefail
build=$(cd "$1" && pwd)
top=$(cd "$2" && pwd)
work=$(mktemp -d)
trap '[ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT
cd "$work"
fail() { echo "FAIL: $*" >&2; exit 1; }
# Anthorn at the position it broadcasts (54.9113585 N, 3.2876392 W).
cat > table.txt <<'TABLE'
6731,0,M,Anthorn,54,54,40.891,N,3,17,15.501,W,0,0,250
6731,2,Y,Anthorn,54,54,40.891,N,3,17,15.501,W,27300,0,250
TABLE
settings() {  # $1 recording, $2 date, $3 time, $4 sr, $5 stations lines, $6 taisync reference
  cat <<INI
[location]
lat = 54.0695
lon = -3.1408
[file]
table = table.txt
wav = $1
bits = 16
stereo
date = $2
time = $3
bmp = out.bmp
[frequency]
sr = $4
[time]
shortintegration = 4
[taisync]
integrationtime = 2
$6 = 1000
[stations]
$5
[eloran]
6731y
INI
}
decoded() { tr '\r' '\n' < "$1" | grep '^eLoran 6731Y' | sed 's/ *$//'; }

# --- 1: simulated, start time 47 s early ------------------------------------
duration=30
"$build/corvane-sim" --table table.txt --stations 6731Y --eloran 6731Y --lat 54.0695 --lon -3.1408 \
  --start 2025-06-15T09:12:07 --duration $duration --rate 12000 --level 0.004 --noise 0.002 \
  --lo-offset 0.4 --seed 7 --quiet -o sim.wav
settings sim.wav 06-15-2025 09:11:20 12000 6731y 6731y > sim.ini
"$build/corvane" sim.ini > sim.out 2>&1 || fail "simulated run: exit status $?: $(cat sim.out)"
# The messages the schedule sends: message m fills GRIs 30m .. 30m+29 since
# 1958 (Loran scale); a UTC message's time is the TOT of GRI 30(m+1) of
# Anthorn Y (+27.3 ms) less 27 s; every tenth (m mod 10 = 9) is the station
# message, latitude and longitude in turn; else subtype 1 for even m.
# Kept: those whose first group arrives after the 2 s of gathering and
# whose last group has ended before the recording does (propagation 0.3 ms).
start=$(( ($(date -u -d 2025-06-15 +%s) - $(date -u -d 1958-01-01 +%s)) + 9*3600 + 12*60 + 7 ))
awk -v s="$start" -v d=$duration 'BEGIN {
  g = 6731; loranstart = (s + 27) * 100000; yearstart = ('"$(( ($(date -u -d 2025-01-01 +%s) - $(date -u -d 1958-01-01 +%s)) ))"') * 100000
  m0 = int(loranstart / g / 30) - 2
  for (m = m0; m < m0 + 30; m++) {
    tot = (m + 1) * 30 * g + 2730                 # 10 us, Loran scale
    arrive = (tot - loranstart) / 1e5 + 0.0003    # s into the recording
    if (arrive - 30 * g / 1e5 < 2.1 || arrive - g / 1e5 + 0.01 > d) continue
    if (m % 10 == 9) {
      if (int(m / 10) % 2 == 0) print "eLoran 6731Y station 549 health 0 eLoran role Y latitude 54.9113585"
      else print "eLoran 6731Y station 549 health 0 eLoran role Y longitude -3.2876392"
      continue
    }
    utc = tot - 2700000; h = int(utc / 360000000); inhour = utc - h * 360000000
    if (m % 2 == 0)
      printf "eLoran 6731Y UTC 2025-06-15 %02d:%02d:%08.5f hour %d\n", h % 24, int(inhour / 6000000), (inhour % 6000000) / 1e5, h - yearstart / 360000000
    else
      printf "eLoran 6731Y UTC %02d:%08.5f into the hour, leap 27\n", int(inhour / 6000000), (inhour % 6000000) / 1e5
  }
}' > expected.txt
decoded sim.out > got.txt
[ "$(wc -l < expected.txt)" -ge 12 ] || fail "the model expects too few messages: $(cat expected.txt)"
diff expected.txt got.txt > diff.txt || fail "simulated: decoded messages differ from those sent: $(cat diff.txt)"
line=$(tr '\r' '\n' < sim.out | grep '^eLoran match' | sed 's/ *$//' || true)
case "$line" in
  "eLoran match at   47."*" s offset, residual "*" 09:12:07.000 UT") ;;
  *) fail "simulated: expected an eLoran match at 09:12:07.000 UT, got: '$line'" ;;
esac
# The time stamps follow the moved epoch: the last status line (buffer end
# near 26 s) reads 09:12:33, not the 09:11:46 of the settings' start time.
stamp=$(tr '\r' '\n' < sim.out | grep ' max ' | tail -1 | cut -c1-8)
[ "$stamp" = "09:12:33" ] || fail "simulated: the last time stamp is $stamp, expected 09:12:33"
echo "simulated: $(wc -l < got.txt) messages; $line"

# --- 2: noise alone -----------------------------------------------------------
"$build/corvane-sim" --table table.txt --stations 6731Y --lat 54.0695 --lon -3.1408 \
  --start 2025-06-15T09:12:07 --duration 120 --rate 12000 --level 0 --noise 0.002 --quiet -o noise.wav
settings noise.wav 06-15-2025 09:12:07 12000 6731y 6731y > noise.ini
"$build/corvane" noise.ini > noise.out 2>&1 || fail "noise run: exit status $?"
if tr '\r' '\n' < noise.out | grep -q '^eLoran'; then fail "noise alone decoded: $(decoded noise.out)"; fi

# --- 3: real signal -------------------------------------------------------------
"$build/corvane-wav" "$top/tests/data/kiwisdr-anthorn.wav" anthorn.wav > /dev/null
settings anthorn.wav 12-07-2025 18:35:31 11999 "6731m
6731y" 6731m > real.ini
"$build/corvane" real.ini > real.out 2>&1 || fail "real run: exit status $?: $(cat real.out)"
cat > expected.txt <<'LINES'
eLoran 6731Y UTC 35:36.20940 into the hour, leap 27
eLoran 6731Y UTC 2025-12-07 18:35:38.22870 hour 8178
eLoran 6731Y UTC 35:40.24800 into the hour, leap 27
eLoran 6731Y UTC 2025-12-07 18:35:42.26730 hour 8178
eLoran 6731Y UTC 35:44.28660 into the hour, leap 27
eLoran 6731Y UTC 2025-12-07 18:35:46.30590 hour 8178
eLoran 6731Y UTC 35:48.32520 into the hour, leap 27
eLoran 6731Y UTC 2025-12-07 18:35:50.34450 hour 8178
LINES
decoded real.out > got.txt
diff expected.txt got.txt > diff.txt || fail "Anthorn: decoded messages differ: $(cat diff.txt)"
tr '\r' '\n' < real.out | grep -q 'TAI guess at   -0.03 s offset.* 18:35:30.969 UT' ||
  fail "Anthorn: the TAI synchronisation no longer gives 18:35:30.969: $(tr '\r' '\n' < real.out | grep TAI)"
# One station alone leaves the time ambiguous; the data channel resolves it.
tr '\r' '\n' < real.out | grep -q '^sync: time ambiguous modulo 134.62 ms: references measured on GRI 6731 only' ||
  fail "Anthorn: no ambiguity line"
line=$(tr '\r' '\n' < real.out | grep '^eLoran match' | sed 's/ *$//' || true)
case "$line" in
  "eLoran match at    0.37 s offset, residual "*" 18:35:31.37"[234]" UT") ;;
  *) fail "Anthorn: expected an eLoran match at 18:35:31.373 UT, got: '$line'" ;;
esac
echo "Anthorn: $(wc -l < got.txt) messages; $line"

# --- 4: not selected ----------------------------------------------------------
settings anthorn.wav 12-07-2025 18:35:31 11999 6731m 6731m > bad.ini
status=0
"$build/corvane" bad.ini > bad.out 2>&1 || status=$?
[ "$status" = 1 ] || fail "an unselected [eloran] station: exit status $status, expected 1"
grep -q '6731Y.*not selected' bad.out || fail "the refusal does not name the station: $(cat bad.out)"
echo "ok"
