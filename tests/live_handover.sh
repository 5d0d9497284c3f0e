#!/usr/bin/env bash
# The live hand-over: a receiver writes each sample file under another name
# and renames it to the monitor's `dat` name. The monitor must consume and
# delete every file, and end with status 0 at a file of length 0, which it
# leaves in place. A "q" while waiting for a file quits with status 0.
set -euo pipefail
build=$(cd "$1" && pwd)
src=$(cd "$2" && pwd)
work=$(mktemp -d)
pid=
cleanup() {
  if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "live_handover: $*" >&2; exit 1; }
cd "$work"
cp "$src/examples/table.txt" .
cat > live.ini <<'INI'
[file]
dat = audio.dat
table = table.txt
bits = 16
stereo
[frequency]
sr = 22050
[stations]
6731m
INI

# Standard input at its end: no key is ever pending.
"$build/corvane" live.ini </dev/null >out.txt 2>err.txt &
pid=$!

consumed() {  # waits until the monitor has deleted audio.dat
  for _ in $(seq 1 400); do
    [ -e audio.dat ] || return 0
    kill -0 "$pid" 2>/dev/null || { cat err.txt >&2; fail "the monitor ended before consuming file $1"; }
    sleep 0.05
  done
  fail "file $1 was not consumed"
}

# Frame-sized and odd sizes: one block, exactly a block, several blocks, a
# partial frame only, a single byte.
n=0
for size in 10000 16384 40000 3 1; do
  n=$((n + 1))
  head -c "$size" /dev/urandom > audio.part
  mv audio.part audio.dat
  consumed "$n ($size bytes)"
done

: > audio.part
mv audio.part audio.dat
for _ in $(seq 1 200); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.05
done
kill -0 "$pid" 2>/dev/null && fail "the monitor did not end at the empty file"
status=0
wait "$pid" || status=$?
pid=
[ "$status" -eq 0 ] || { cat err.txt >&2; fail "exit status $status"; }
[ -e audio.dat ] || fail "the empty file was deleted"
[ ! -s err.txt ] || { cat err.txt >&2; fail "unexpected standard error output"; }
[ "$(tail -c 1 out.txt | od -An -c | tr -d ' ')" = '\n' ] || fail "the run did not end with a line end"

# "q" while waiting for a file that never comes.
rm -f audio.dat
status=0
printf 'Xq' | timeout 20 "$build/corvane" live.ini >out2.txt 2>&1 || status=$?
[ "$status" -eq 0 ] || fail "quit while waiting gave status $status"
[ ! -e audio.dat ] || fail "waiting created the sample file"
echo "live_handover: ok"
