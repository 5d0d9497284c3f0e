#!/usr/bin/env bash
# The measurement log ([file] log) on recordings made by corvane-sim:
#  1. A run across midnight: every line parses; the status records equal the
#     console's status lines (time, max, edge, SR, LO) and carry the date;
#     the per-station peaks rank the stations as their simulated amplitudes
#     do; the sync record equals the TAI line; line numbers count up; the run
#     ends with "end of data".
#  2. corvane-plot on that log: an SVG that rsvg-convert renders, a CSV whose
#     rows are the log's status values; with a cut last line it reads the
#     rest and says it skipped one line.
#  3. The quit key and a runtime error end the log with their reasons.
#  4. Killed with SIGKILL at random moments (seeded), each run appends only
#     whole lines but possibly its last; the next run ends a cut line first.
set -u
build=$(cd "$1" && pwd)
src=$(cd "$2" && pwd)
kills=${LOG_KILLS:-15}
RANDOM=20261208
fail() { echo "FAIL: $*"; exit 1; }
command -v rsvg-convert >/dev/null || fail "rsvg-convert missing (scripts/setup-deps installs librsvg2-bin)"

dir=$(mktemp -d)
trap 'kill -9 $(jobs -p) 2>/dev/null; [ -n "${KEEP:-}" ] && echo "kept $dir" || rm -rf "$dir"' EXIT
cd "$dir"
cp "$src/examples/table.txt" .

# --- 1: a run across midnight -------------------------------------------------
"$build/corvane-sim" --table table.txt --stations 6731M,6731Y,7499M,9007M --lat 52 --lon 5 --rate 11025 \
  --start 2024-12-31T23:59:44 --duration 30 --noise 0.01 --seed 5 --output rec.wav 2>sim.txt ||
  fail "simulator"
# settings RECORDING LOG SHORTINTEGRATION LONGINTEGRATION [LINES]: four
# stations at 11025 Hz; LINES are more sections.
settings() {
  printf '[location]\nlat = 52\nlon = 5\n[file]\nwav = %s\nlog = %s\n[frequency]\nsr = 11025\n' "$1" "$2"
  printf '[time]\nshortintegration = %s\nlongintegration = %s\n' "$3" "$4"
  printf '[stations]\n6731m\n6731y\n7499m\n9007m\n%s\n' "${5:-}"
}
settings rec.wav rec.log 2 2 '[file]
date = 12-31-2024
time = 23:59:46
[taisync]
integrationtime = 4
searchrange = 60
6731m = 1000
7499m = 1000
9007m = 1000' >rec.ini
"$build/corvane" rec.ini >console.txt 2>err.txt </dev/null || fail "run: status $? $(cat err.txt)"
python3 - <<'PY' || fail "log of the run"
import json, re, sys
lines = open('rec.log', encoding='utf-8').read().split('\n')
assert lines[-1] == '', 'the log does not end with a line end'
records = [json.loads(l) for l in lines[:-1]]
types = [r['type'] for r in records]
assert types[0] == 'start' and types[1] == 'sync' and types[-1] == 'end', types
assert records[-1]['reason'] == 'end of data' and records[-1]['status'] == 0, records[-1]
for r in records:
    assert re.fullmatch(r'\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z', r['utc']), r['utc']
console = open('console.txt').read().replace('\r', '\n')

# Status lines: "23:59:52 max 4169 edge 4.50 SR 11024.8738Hz LO -2.0E-06     0.00us"
shown = re.findall(r'(\d\d):(\d\d):(\d\d) max *(\S+) edge *(\S+) SR *(\S+)Hz LO *(\S+) +(\S+)us', console)
status = [r for r in records if r['type'] == 'status']
assert len(status) == len(shown) >= 10, (len(status), len(shown))
dates = set()
for r, s in zip(status, shown):
    day, clock = r['utc'][:10], r['utc'][11:]
    dates.add(day)
    seconds = int(clock[0:2]) * 3600 + int(clock[3:5]) * 60 + float(clock[6:12])
    shownseconds = int(s[0]) * 3600 + int(s[1]) * 60 + int(s[2])
    lead = (seconds - shownseconds + 43200) % 86400 - 43200
    assert -0.011 < lead < 1, (r['utc'], s)  # the console rounds to 0.01 s, then cuts
    assert (day == '2024-12-31') == (clock >= '12'), r['utc']
    for key, text, half in (('max', s[3], 0.5), ('edge', s[4], 0.005), ('sr', s[5], 0.00005),
                            ('lo_us', s[7], 0.005)):
        assert abs(r[key] - float(text)) <= half * 1.001, (key, r[key], text)
    lo = float(s[6])
    assert abs(r['lo'] - lo) <= 0.05 * 10 ** (len(s[6]) and int(s[6][-3:])) * 1.001, (r['lo'], s[6])
    assert abs(r['max'] - r['stations'][0]['peak']) < 1e-3 and r['edge'] == r['stations'][0]['edge']
assert dates == {'2024-12-31', '2025-01-01'}, dates

# Per-station peaks rank the stations as the simulated amplitudes do (two
# stations sent from one transmitter, Anthorn's M and Y, tie).
amplitude = {m[0]: float(m[1]) for m in re.findall(r'(\d{4}[A-Z]) .*amplitude ([0-9.]+)', open('sim.txt').read())}
assert len(amplitude) == 4, amplitude
for r in status[1:]:
    peaks = {s['id']: s['peak'] for s in r['stations']}
    for a in amplitude:
        for b in amplitude:
            if amplitude[a] > 1.2 * amplitude[b]:
                assert peaks[a] > peaks[b], (a, b, peaks, amplitude)
    for s in r['stations']:
        assert 0 <= s['phase_deg'] < 360 and s['snr_db'] > 20 and 2 < s['edge'] < 10, s

# The sync record equals the TAI line.
tai = re.search(r'TAI (match|guess) at *(\S+) s offset, rel. error *(\S+) rms, *(\S+) UT', console)
sync = [r for r in records if r['type'] == 'sync']
assert tai and len(sync) == 1, console
sync = sync[0]
assert sync['method'] == 'tai' and sync['result'] == tai.group(1) == 'match', sync
assert abs(sync['offset_s'] - float(tai.group(2))) <= 0.005 and abs(sync['rel_error'] - float(tai.group(3))) <= 0.005
assert sync['ut'] == tai.group(4) == '23:59:44.000', (sync['ut'], tai.group(4))
assert [x['id'] for x in sync['references']] == ['6731M', '7499M', '9007M'] and all(x['measured'] for x in sync['references'])
# The candidates fitting within the search range, the match among them; a
# runner-up exactly when another one fits.
assert sync['candidates'] >= 1 and ('runnerup_offset_s' in sync) == (sync['candidates'] > 1), sync

start = records[0]
assert start['mode'] == 'recording' and start['file'] == 'rec.wav' and start['reference'] == '6731M'
assert [s['id'] for s in start['stations']] == ['6731M', '6731Y', '7499M', '9007M']
lines_ = [r['line'] for r in records if r['type'] == 'line']
assert lines_ == list(range(1, len(status) // 2 + 1)), lines_
PY

# --- 2: corvane-plot on the log ------------------------------------------------
"$build/corvane-plot" rec.log --svg rec.svg --csv rec.csv 2>plot.txt || fail "corvane-plot: $(cat plot.txt)"
[ ! -s plot.txt ] || fail "corvane-plot complained: $(cat plot.txt)"
rsvg-convert -o rec.png rec.svg 2>rsvg.txt && [ -s rec.png ] || fail "rsvg-convert: $(cat rsvg.txt)"
python3 - <<'PY' || fail "CSV rows"
import csv, json
records = [json.loads(l) for l in open('rec.log')]
rows = list(csv.DictReader(open('rec.csv')))
want = [(r, s) for r in records if r['type'] == 'status' for s in r['stations']]
assert len(rows) == len(want) > 0, (len(rows), len(want))
for row, (r, s) in zip(rows, want):
    assert row['utc'] == r['utc'] and row['station'] == s['id'], row
    for col, v in (('peak', s['peak']), ('edge', s['edge']), ('phase', s['phase_deg']), ('snr', s['snr_db']),
                   ('sr', r['sr']), ('lo', r['lo']), ('lo_us', r['lo_us'])):
        assert float(row[col]) == v, (col, row[col], v)
    assert row['pc'] == '', row
PY
cp rec.log cut.log
head -c 60 <(grep '"status"' rec.log | head -1) >>cut.log
"$build/corvane-plot" cut.log --csv cut.csv 2>plot.txt || fail "corvane-plot on a cut log: $(cat plot.txt)"
grep -q "skipped 1 line .*cut.log:" plot.txt || fail "cut line not reported: $(cat plot.txt)"
cmp -s cut.csv rec.csv || fail "the CSV of the cut log differs from the whole log's"

# --- 3: the quit key and a runtime error ---------------------------------------
rm -f rec.log
printf q | "$build/corvane" rec.ini >/dev/null 2>err.txt || fail "quit: status $?"
tail -1 rec.log | grep -q '"type":"end",.*"reason":"quit key","status":0}$' || fail "quit: $(tail -1 rec.log)"
printf '[file]\nbmp = nofolder/x.bmp\n' >>rec.ini
"$build/corvane" rec.ini >/dev/null 2>err.txt </dev/null; status=$?
[ "$status" -eq 3 ] || fail "unwritable bitmap: status $status"
tail -1 rec.log | grep -q '"reason":"runtime error","status":3,"error":3,"text":"file I/O error","message":"cannot .*nofolder/x.bmp' ||
  fail "runtime error: $(tail -1 rec.log)"

# --- 4: kills ----------------------------------------------------------------------
"$build/corvane-sim" --table table.txt --stations 6731M,6731Y,7499M,9007M --lat 52 --lon 5 --rate 11025 \
  --duration 300 --noise 0.01 --seed 6 --quiet --output kill.wav || fail "simulator for the kills"
settings kill.wav kill.log 0.02 1 >kill.ini
start=$(date +%s%N)
"$build/corvane" kill.ini >/dev/null 2>&1 </dev/null || fail "uninterrupted run"
total=$(( ($(date +%s%N) - start) / 1000000 ))
[ "$total" -ge 20 ] || total=20
rm -f kill.log
# The log's length before each run; the runs' parts are checked at the end.
for ((i = 0; i < kills; i++)); do
  stat -c %s kill.log 2>/dev/null >>offsets.txt || echo 0 >>offsets.txt
  delay=$(( RANDOM % total ))
  "$build/corvane" kill.ini >/dev/null 2>&1 </dev/null &
  pid=$!
  sleep "$(printf '%d.%03d' $((delay / 1000)) $((delay % 1000)))"
  kill -9 "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
done
python3 - <<'PY' || fail "log after the kills"
import json
data = open('kill.log', 'rb').read()
offsets = [int(x) for x in open('offsets.txt')] + [len(data)]
cuts = records = 0
for i, (a, b) in enumerate(zip(offsets, offsets[1:])):
    chunk = data[a:b]
    # A run that finds a cut line ends it before its first record.
    if a > 0 and data[a - 1:a] != b'\n' and chunk:
        assert chunk[:1] == b'\n', 'run %d did not end the cut line it found' % i
        chunk = chunk[1:]
    lines = chunk.split(b'\n')
    for l in lines[:-1]:
        assert json.loads(l.decode('utf-8'))['type'], (i, l[:60])
        records += 1
    if lines[-1]:
        assert lines[-1].startswith(b'{"type":"'), (i, lines[-1][:60])
        cuts += 1
print('measurement log: %d runs killed at random, %d whole records, %d cut last lines: ok' % (len(offsets) - 1, records, cuts))
PY
