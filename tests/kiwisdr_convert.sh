#!/usr/bin/env bash
# corvane-wav on a real KiwiSDR recording (kiwi chunks interleaved with 470
# data chunks): the converted samples must equal the data chunks joined in
# order, and the monitor must read the result without a header warning, while
# the unconverted file is refused (error 1) with the advice to convert it with
# corvane-wav.
set -euo pipefail
build=$(cd "$1" && pwd)
src=$(cd "$2" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "kiwisdr_convert: $*" >&2; exit 1; }
cd "$work"
cp "$src/tests/data/kiwisdr-anthorn.wav" original.wav
cp "$src/examples/table.txt" .

"$build/corvane-wav" original.wav kiwi.wav >convert.txt || fail "conversion failed"
grep -qx 'sr = 11999' convert.txt || fail "no sr line: $(cat convert.txt)"
grep -qx 'bits = 16' convert.txt || fail "no bits line"
grep -qx 'stereo' convert.txt || fail "no stereo line"

/usr/bin/python3 - <<'PY' || fail "converted samples differ"
import struct, sys
src = open("original.wav", "rb").read()
out = open("kiwi.wav", "rb").read()
pos, data, chunks = 12, [], 0
while pos + 8 <= len(src):
    cid, size = src[pos:pos + 4], struct.unpack("<I", src[pos + 4:pos + 8])[0]
    if cid == b"data":
        data.append(src[pos + 8:pos + 8 + size])
        chunks += 1
    pos += 8 + size + (size & 1)
joined = b"".join(data)
assert chunks == 470 and len(joined) == 240640 * 4, (chunks, len(joined))
assert out[:4] == b"RIFF" and out[8:16] == b"WAVEfmt " and out[38:42] == b"data", out[:46]
assert struct.unpack("<I", out[16:20])[0] == 18
assert struct.unpack("<HHIIHH", out[20:36]) == (1, 2, 11999, 47996, 4, 16)
assert struct.unpack("<I", out[42:46])[0] == len(joined)
assert struct.unpack("<I", out[4:8])[0] == len(out) - 8
assert out[46:] == joined
PY

settings() {  # settings for a recording
  printf '[file]\nwav = %s\ntable = table.txt\nbits = 16\nstereo\n[frequency]\nsr = 11999\n[stations]\n6731m\n' "$1"
}
settings kiwi.wav > converted.ini
settings original.wav > original.ini

"$build/corvane" converted.ini </dev/null >out1.txt 2>err1.txt || fail "the monitor failed on the converted file: $(cat err1.txt)"
[ ! -s err1.txt ] || fail "warning on the converted file: $(cat err1.txt)"

status=0
"$build/corvane" original.ini </dev/null >out2.txt 2>err2.txt || status=$?
[ "$status" -eq 1 ] || fail "the unconverted original gave status $status: $(cat out2.txt err2.txt)"
grep -q 'cannot read recording "original.wav": a KiwiSDR file.*convert it with corvane-wav' out2.txt err2.txt ||
  fail "refusal does not name the KiwiSDR file and corvane-wav: $(cat out2.txt err2.txt)"

# Bad input: exit status 1, a message, and no output file.
printf 'not a wav file at all' > bad.wav
status=0
"$build/corvane-wav" bad.wav out.wav 2>bad.txt || status=$?
[ "$status" -eq 1 ] || fail "bad input gave status $status"
grep -q 'not a RIFF/WAVE file' bad.txt || fail "unclear message: $(cat bad.txt)"
[ ! -e out.wav ] || fail "output left behind"
"$build/corvane-wav" --help | grep -q 'usage: corvane-wav' || fail "--help"
echo "kiwisdr_convert: ok"
