#!/usr/bin/env bash
# Settings and command line as a user meets them: values used as written
# (mixed-case file name and command), the warnings for a misspelt key and
# section, corvane --check, -h/-V/--help/--version and unknown options in
# every program, the lost-reference line in a live run on noise, an unusable
# bitmap folder ending the run before any sample is read, corvane-wav's date
# and time of the KiwiSDR fixture, and the install rules with their man pages.
set -u
build=$(cd "$1" && pwd)
src=$(cd "$2" && pwd)
fail() { echo "FAIL: $*"; exit 1; }
dir=$(mktemp -d)
trap '[ -n "${KEEP:-}" ] && echo "kept $dir" || rm -rf "$dir"' EXIT
cd "$dir"
printf '6731,0,M,Test,54,0,0,N,3,0,0,W,0,0,100\n' >table.txt
noise() { # noise <frames>: 16-bit stereo noise on standard output
  /usr/bin/python3 -c "import os,sys; sys.stdout.buffer.write(bytes(b & 0x0f if i % 2 else b for i, b in enumerate(os.urandom($1 * 4))))"
}

# -h, -V, --help, --version: status 0 with text; an unknown option points to --help.
for p in corvane corvane-sim corvane-feed corvane-wav corvane-plot; do
  for o in -h -V --help --version; do
    "$build/$p" "$o" </dev/null >out.txt 2>err.txt || fail "$p $o: status $?"
    [ -s out.txt ] || fail "$p $o printed nothing"
  done
  grep -q '0\.[0-9]' out.txt || fail "$p --version: $(cat out.txt)"
  "$build/$p" --bogus </dev/null >out.txt 2>err.txt && fail "$p --bogus: status 0"
  grep -q -- "--help" err.txt || fail "$p --bogus does not point to --help: $(cat err.txt)"
done

# Values as written: the recording Rec.WAV (rec.wav does not exist) and a
# steering command writing Steered.FLAG; a misspelt key and section warned
# about, the run going on.
{ printf 'RIFF\x26\x00\x00\x00WAVEfmt \x12\x00\x00\x00\x01\x00\x02\x00\x22\x56\x00\x00\x88\x58\x01\x00\x04\x00\x10\x00\x00\x00data\x00\x00\x00\x00'
  noise 66150; } >Rec.WAV
cat >Mixed.ini <<'INI'
[file]
wav = Rec.WAV
[time]
shortintegraton = 5
shortintegration = 0.2
[TaiSynch]
[pll]
pllcommand = touch Steered.FLAG
[stations]
6731M
INI
"$build/corvane" Mixed.ini </dev/null >out.txt 2>err.txt || fail "mixed-case run: status $?: $(cat err.txt)"
[ -f Steered.FLAG ] || fail "the steering command lost its case: $(ls)"
grep -qx 'corvane: Mixed.ini:4: unknown key "shortintegraton" in \[time\]; did you mean "shortintegration"?' err.txt ||
  fail "no warning for the misspelt key: $(cat err.txt)"
grep -qx 'corvane: Mixed.ini:6: unknown section \[taisynch\]; did you mean \[taisync\]?' err.txt ||
  fail "no warning for the misspelt section: $(cat err.txt)"

# --check: 0 for a good file, 1 for a refused one; the samples named do not
# exist, so reading them would fail either way.
printf '[file]\nwav = missing.wav\n[stations]\n6731m\n' >good.ini
"$build/corvane" --check good.ini </dev/null >out.txt 2>err.txt || fail "--check good: status $?: $(cat err.txt)"
grep -q ' 6731 M Test' out.txt || fail "--check lists no stations: $(cat out.txt)"
grep -q 'would start' out.txt || fail "--check good: $(cat out.txt)"
printf '[file]\nwav = missing.wav\n[amplitude]\nreferencestation = 3\n[stations]\n6731m\n' >refused.ini
"$build/corvane" --check refused.ini </dev/null >out.txt 2>err.txt
[ $? -eq 1 ] || fail "--check refused: status not 1"
grep -q 'referencestation' err.txt && grep -q 'would be refused' err.txt || fail "--check refused: $(cat err.txt)"
grep -q 'missing.wav' out.txt err.txt && fail "--check opened the samples"

# TAI references the table does not hold, and [eloran] without a TAI
# synchronisation: error 1 naming them, from the run and from --check.
: >empty.txt
sync='[taisync]\nintegrationtime = 4\n7499m = 1000\n6731m = 1000\n9007m = 1000\n'
printf "[file]\nwav = missing.wav\ntable = empty.txt\n$sync[stations]\n6731m\n" >emptytable.ini
printf "[file]\nwav = missing.wav\n$sync[stations]\n6731m\n" >unknownref.ini
printf '[file]\nwav = missing.wav\n[stations]\n6731m\n6731x\n[eloran]\n6731x\n' >eloransync.ini
refusedby() { # refusedby <settings> <text named>: run and --check both say it, status 1
  local status
  "$build/corvane" "$1" </dev/null >out.txt 2>err.txt; status=$?
  [ $status -eq 1 ] && grep -q -- "$2" err.txt || fail "run $1: status $status: $(cat err.txt)"
  "$build/corvane" --check "$1" </dev/null >out.txt 2>err.txt; status=$?
  [ $status -eq 1 ] && grep -q -- "$2" err.txt || fail "--check $1: status $status: $(cat err.txt)"
}
refusedby emptytable.ini 'TAI reference 7499M is not in the station table "empty.txt"'
grep -q 'TAI reference 9007M is not' err.txt || fail "--check names only the first unknown reference: $(cat err.txt)"
refusedby unknownref.ini 'TAI reference 7499M is not in the station table "table.txt"'
grep -q '6731M is not' err.txt && fail "--check refuses 6731M, which the table holds: $(cat err.txt)"
refusedby eloransync.ini 'setting \[taisync\] integrationtime = *0 refused'

# A bitmap folder that does not exist: error 3 naming the path, before the
# samples are opened (the recording is missing too, which would give error 2).
printf '[file]\nwav = missing.wav\nbmp = nofolder/pic.bmp\n[stations]\n6731m\n' >bmp.ini
"$build/corvane" bmp.ini </dev/null >out.txt 2>err.txt
status=$?
[ $status -eq 3 ] || fail "unusable bitmap folder: status $status: $(cat err.txt)"
grep -q 'nofolder/pic.bmp' err.txt || fail "the bitmap error does not name the path: $(cat err.txt)"

# Live run on noise alone: the sample rate runs to its limit, one line says so.
printf '[file]\ndat = audio.dat\n[time]\nshortintegration = 0.2\n[stations]\n6731m\n' >live.ini
noise 220500 | "$build/corvane-feed" --live audio.dat --file-frames 22050 --quiet &
feeder=$!
"$build/corvane" live.ini </dev/null >out.txt 2>err.txt || fail "live run: status $?: $(cat err.txt)"
wait $feeder
lines=$(grep -c 'reference station is probably not received' err.txt)
[ "$lines" -eq 1 ] || fail "lost-reference line $lines times: $(cat err.txt)"
grep -q 'resynclimit' err.txt && grep -q 'referencestation' err.txt && grep -q '\[taisync\]' err.txt ||
  fail "the line names no remedies: $(cat err.txt)"

# corvane-wav on the KiwiSDR fixture (no GPS fix): date and time from the name.
cp "$src/tests/data/kiwisdr-anthorn.wav" 20251207T183531Z_100000_G7UAK_iq.wav
"$build/corvane-wav" 20251207T183531Z_100000_G7UAK_iq.wav Anthorn.wav >out.txt 2>&1 || fail "corvane-wav: $(cat out.txt)"
grep -qx 'date = 12-07-2025' out.txt && grep -qx 'time = 18:35:31' out.txt || fail "no date and time: $(cat out.txt)"
grep -q '^; date and time from the file name' out.txt || fail "no comment on the source: $(cat out.txt)"

# Install rules: the programs and a man page for each, readable by man.
cmake --install "$build" --prefix "$dir/prefix" >install.txt 2>&1 || fail "install: $(cat install.txt)"
for p in corvane corvane-sim corvane-feed corvane-wav corvane-plot; do
  [ -x "prefix/bin/$p" ] || fail "$p not installed"
  [ -f "prefix/share/man/man1/$p.1" ] || fail "no man page for $p"
  MANWIDTH=80 man -l "prefix/share/man/man1/$p.1" 2>/dev/null | grep -q -- '--help' || fail "man -l $p.1 shows no page"
done
echo "settings_cli: ok"
