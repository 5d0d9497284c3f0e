#!/usr/bin/env bash
# corvane-plot end to end: charts and waterfall SVGs that rsvg-convert
# renders, the CSV rows of a hand-written two-run log with a cut line, the
# embedded PNG decoded by python's zlib, and the command-line answers.
set -u
build=$(cd "$1" && pwd)
src=$(cd "$2" && pwd)
plot="$build/corvane-plot"
log="$src/tests/data/plot-log.jsonl"
fail() { echo "FAIL: $*"; exit 1; }
command -v rsvg-convert >/dev/null || fail "rsvg-convert missing (scripts/setup-deps installs librsvg2-bin)"

dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"

# Help, version, mistakes.
"$plot" --help >help.txt || fail "--help status"
for o in --svg --csv --waterfall --tdev --stations --from --to --version; do grep -q -- "$o" help.txt || fail "--help lacks $o"; done
"$plot" -V | grep -q "^corvane-plot [0-9]" || fail "-V"
"$plot" --bogus "$log" --csv x.csv 2>err.txt; [ $? -eq 1 ] || fail "unknown option status"
grep -q -- "--bogus" err.txt && grep -q -- "--help" err.txt || fail "unknown option message: $(cat err.txt)"
"$plot" --svg x.svg missing.jsonl 2>err.txt; [ $? -eq 2 ] || fail "missing log status"
grep -q 'cannot read log "missing.jsonl"' err.txt || fail "missing log message: $(cat err.txt)"
"$plot" --waterfall x.bmp "$log" 2>err.txt; [ $? -eq 1 ] || fail "--waterfall without --svg status"
printf 'killed mid-li\n' >junk.jsonl
"$plot" junk.jsonl --csv x.csv 2>err.txt; [ $? -eq 1 ] || fail "log without records status"
grep -q 'no record read from the log "junk.jsonl"' err.txt || fail "log without records message: $(cat err.txt)"
[ ! -e x.svg ] && [ ! -e x.csv ] || fail "output written after a mistake"

# Charts and CSV of the whole log: the cut line 14 is skipped and reported.
"$plot" "$log" --svg charts.svg --csv all.csv 2>err.txt || fail "charts status: $(cat err.txt)"
grep -q "skipped 1 line .*plot-log.jsonl:14" err.txt || fail "skipped line not reported: $(cat err.txt)"
rsvg-convert -o charts.png charts.svg 2>rsvg.txt || fail "rsvg-convert charts: $(cat rsvg.txt)"
[ -s charts.png ] || fail "charts.png empty"
for label in "TAI guess" "eLoran match 6731Y" "eL 6731Y t6" "end: quit key" "2025-12-07" "2025-12-08" \
             "phase of 6731M 6731Y (deg)" "SR (Hz)" "PC offset (s)"; do
  grep -qF "$label" charts.svg || fail "charts lack \"$label\""
done
# One line per run and series, never across the gap between the runs:
# peak and edge 2 stations x 2 runs, the reference phase 2 + 1 (run one
# wraps from 175 to -170 degrees), SR, LO, LO us 2 each, PC only in run two.
[ "$(grep -c '<polyline' charts.svg)" -eq 18 ] || fail "polylines: $(grep -c '<polyline' charts.svg), want 18"

# CSV: 11 status records x 2 stations, rows as the log has them.
[ "$(wc -l <all.csv)" -eq 23 ] || fail "CSV rows: $(wc -l <all.csv)"
[ "$(head -1 all.csv)" = "utc,station,peak,edge,phase,snr,sr,lo,lo_us,pc" ] || fail "CSV header"
[ "$(sed -n 2p all.csv)" = "2025-12-07T23:58:35.012Z,6731M,1000,5.13,120,35.2,11998.9723,-9.5e-09,-0.07," ] ||
  fail "CSV row 2: $(sed -n 2p all.csv)"
[ "$(sed -n 23p all.csv)" = "2025-12-08T00:05:25.000Z,6731Y,980,5.34,-54,31.4,11998.9725,-9.4e-09,-0.09,-0.254" ] ||
  fail "CSV last row: $(sed -n 23p all.csv)"

# Selection: one station from midnight on; the date alone means 00:00.
"$plot" "$log" --stations 6731y --from 2025-12-08 --csv some.csv 2>/dev/null || fail "selection status"
[ "$(tail -n +2 some.csv | cut -d, -f1,2 | tr '\n' ' ')" = "2025-12-08T00:05:05.000Z,6731Y 2025-12-08T00:05:10.000Z,6731Y 2025-12-08T00:05:15.000Z,6731Y 2025-12-08T00:05:20.000Z,6731Y 2025-12-08T00:05:25.000Z,6731Y " ] ||
  fail "selected rows: $(cat some.csv)"

# The log split in two files given in reverse order reads the same.
head -n 13 "$log" >first.jsonl
tail -n +15 "$log" >second.jsonl
"$plot" second.jsonl first.jsonl --csv split.csv 2>err.txt || fail "split status"
[ ! -s err.txt ] || fail "split log reported: $(cat err.txt)"
cmp -s all.csv split.csv || fail "split log gives other rows"

# Waterfall: 2 visible stations of 24 pixels, 3 lines, as the monitor writes
# it (8-bit grey palette, bottom-up), then a 24-bit colour one.
/usr/bin/python3 - <<'PY' || fail "making the bitmaps"
import struct
def bmp(name, w, h, bits, pix):
    pal = b''.join(bytes([i, i, i, 0]) for i in range(256)) if bits == 8 else b''
    stride = (w * bits // 8 + 3) // 4 * 4
    rows = b''.join(pix(y) + bytes(stride - w * bits // 8) for y in range(h))  # line 1 first
    off = 54 + len(pal)
    head = b'BM' + struct.pack('<IHHI', off + len(rows), 0, 0, off)
    head += struct.pack('<IiiHHIIiiII', 40, w, h, 1, bits, 0, len(rows), 2835, 2835, 256 if bits == 8 else 0, 0)
    open(name, 'wb').write(head + pal + rows)
bmp('grey.bmp', 48, 3, 8, lambda y: bytes((x * 5 + y * 80) % 256 for x in range(48)))
bmp('colour.bmp', 48, 3, 24, lambda y: b''.join(bytes([x, y * 100, 255 - x]) for x in range(48)))
PY
# The monitor names its bitmap corvane.bmp: the run with that name gives the labels.
cp grey.bmp corvane.bmp
"$plot" --waterfall corvane.bmp --svg fall.svg "$log" 2>err.txt || fail "waterfall status: $(cat err.txt)"
rsvg-convert -o fall.png fall.svg 2>rsvg.txt || fail "rsvg-convert waterfall: $(cat rsvg.txt)"
grep -q '>6731M<' fall.svg && grep -q '>6731Y<' fall.svg || fail "station ids missing"
! grep -q '>6731X<' fall.svg || fail "hidden station labelled"
grep -q '>00:05:10<' fall.svg || fail "time tick missing"
"$plot" --waterfall colour.bmp --svg colour.svg 2>err.txt || fail "colour waterfall status: $(cat err.txt)"
grep -q "no run with waterfall lines" err.txt || fail "no note without a log: $(cat err.txt)"
rsvg-convert -o colour.png colour.svg || fail "rsvg-convert colour waterfall"

# The embedded PNGs: every chunk's CRC, the zlib stream (with its Adler-32)
# inflated by python, rows with filter 0 holding the bitmap top row first.
/usr/bin/python3 - <<'PY' || fail "embedded PNG"
import base64, re, struct, zlib
def png(svgname):
    svg = open(svgname).read()
    data = base64.b64decode(re.search(r'data:image/png;base64,([A-Za-z0-9+/=]+)', svg).group(1))
    assert data[:8] == b'\x89PNG\r\n\x1a\n'
    pos, chunks = 8, {}
    while pos < len(data):
        n, = struct.unpack('>I', data[pos:pos + 4])
        kind, body = data[pos + 4:pos + 8], data[pos + 8:pos + 8 + n]
        crc, = struct.unpack('>I', data[pos + 8 + n:pos + 12 + n])
        assert crc == zlib.crc32(kind + body), kind
        chunks[kind] = body
        pos += 12 + n
    assert pos == len(data) and b'IEND' in chunks
    w, h, depth, ctype = struct.unpack('>IIBB', chunks[b'IHDR'][:10])
    raw = zlib.decompress(chunks[b'IDAT'])
    ch = {0: 1, 2: 3}[ctype]
    rows = [raw[i * (w * ch + 1):(i + 1) * (w * ch + 1)] for i in range(h)]
    assert len(raw) == h * (w * ch + 1) and all(r[0] == 0 for r in rows)
    return w, h, depth, ctype, [r[1:] for r in rows]
w, h, depth, ctype, rows = png('fall.svg')
assert (w, h, depth, ctype) == (48, 3, 8, 0), (w, h, depth, ctype)
for top, line in enumerate((3, 2, 1)):  # newest line on top
    assert rows[top] == bytes((x * 5 + (line - 1) * 80) % 256 for x in range(48)), top
w, h, depth, ctype, rows = png('colour.svg')
assert (w, h, ctype) == (48, 3, 2)
assert rows[0][:6] == bytes([255, 200, 0, 254, 200, 1]), rows[0][:6]
PY
# Time of arrival and its time deviation: a hand-made log of two runs at a
# status interval of 5 s (the second run's start record lacks it: the
# records' step gives it). 6731M reads 0 1 3 2 5 4 4 7 us, then 10 10 13 in
# run two; 6731Y 0 1 3 - 5 4 4 7, the fourth value null, and nothing in run two.
# Worked by hand: second differences of 6731M at m = 1 are 1 -3 4 -4 1 3 in
# run one and 3 in run two (never across the runs): sqrt(61 / (6 * 7)) us; at
# m = 2 only run one has 6 values: sums of neighbouring lag-2 differences
# (-1 1 -3 5) 0 -2 2, sqrt(8 / (6 * 4 * 3)) us. 6731Y keeps the three terms
# of m = 1 that miss the gap, 1 1 3: sqrt(11 / 18) us; at m = 2 none.
toa="$src/tests/data/plot-toa-log.jsonl"
"$plot" "$log" --tdev --csv none.csv 2>err.txt; [ $? -eq 1 ] || fail "--tdev of a log without toa_us status"
grep -q "no time deviation" err.txt || fail "--tdev without toa_us message: $(cat err.txt)"
! grep -q "time of arrival" charts.svg || fail "time of arrival panel in a log without toa_us"
"$plot" --tdev "$toa" --csv tdev.csv --svg tdev.svg 2>err.txt || fail "--tdev status: $(cat err.txt)"
/usr/bin/python3 - <<'PY' || fail "TDEV rows: $(cat tdev.csv)"
import math
rows = open('tdev.csv').read().splitlines()
assert rows[0] == 'station,tau_s,tdev_ns,n', rows[0]
want = [('6731M', 5, math.sqrt(61 / 42) * 1000, 7), ('6731M', 10, math.sqrt(8 / 72) * 1000, 3),
        ('6731Y', 5, math.sqrt(11 / 18) * 1000, 3)]
assert len(rows) == 1 + len(want), rows
for row, (station, tau, tdev, n) in zip(rows[1:], want):
    f = row.split(',')
    assert f[0] == station and float(f[1]) == tau and int(f[3]) == n, row
    assert abs(float(f[2]) - tdev) < 1e-9 * tdev, (row, tdev)
PY
rsvg-convert -o tdev.png tdev.svg 2>rsvg.txt || fail "rsvg-convert TDEV: $(cat rsvg.txt)"
for label in "tau (s)" "TDEV (ns)" ">6731M<" ">6731Y<" ">1000<" ">10<"; do
  grep -qF "$label" tdev.svg || fail "TDEV chart lacks \"$label\""
done
"$plot" --tdev "$toa" --stations 6731y --csv y.csv 2>/dev/null || fail "--tdev --stations status"
[ "$(cut -d, -f1,2,4 y.csv | tr '\n' ' ')" = "station,tau_s,n 6731Y,5,3 " ] || fail "--tdev selection: $(cat y.csv)"
"$plot" --tdev --waterfall x.bmp --svg x.svg "$toa" 2>/dev/null; [ $? -eq 1 ] || fail "--tdev with --waterfall status"
# The charts gain the time of arrival panel: a line per station and run with values.
"$plot" "$toa" --svg toa.svg 2>err.txt || fail "charts of the toa log: $(cat err.txt)"
grep -qF "time of arrival (µs)" toa.svg || fail "no time of arrival panel"
# 6731M in both runs, 6731Y in run one: 3 lines each for peak, edge and time
# of arrival, 2 each (one per run) for the phase, SR, LO and LO us.
[ "$(grep -c '<polyline' toa.svg)" -eq 17 ] || fail "toa chart polylines: $(grep -c '<polyline' toa.svg), want 17"
rsvg-convert -o toa.png toa.svg || fail "rsvg-convert toa charts"

echo "plot: all checks passed"
