#!/usr/bin/env bash
# The monitor in a real terminal (tmux): the status line stays on one row and
# is rewritten in place, "q" ends the run with status 0 while reading a
# recording and while waiting for a live file, the status line is ended
# before the shell's prompt, and the terminal is back in its normal mode
# afterwards.
set -u
build=$(cd "$1" && pwd)
bin="$build/corvane"
fail() { echo "FAIL: $*"; [ -n "${pane:-}" ] && tmux -L "$sock" capture-pane -p -t corvane | sed 's/^/  | /'; exit 1; }
command -v tmux >/dev/null || { echo "tmux missing"; exit 1; }

dir=$(mktemp -d)
sock="corvane-test-$$"
trap 'tmux -L "$sock" kill-server 2>/dev/null; rm -rf "$dir"' EXIT
cd "$dir"

# 60 s of noise at 22050 Hz; the steering command (a short sleep, run once the
# reference has locked) keeps the run going long enough to type into it.
/usr/bin/python3 - <<'PY'
import os, struct
frames = 22050 * 60
data = bytes(b & 0x0f if i % 2 else b for i, b in enumerate(os.urandom(frames * 4)))
hdr = b'RIFF' + struct.pack('<I', 38 + len(data)) + b'WAVEfmt ' + struct.pack('<IHHIIHHH', 18, 1, 2, 22050, 88200, 4, 16, 0) + b'data' + struct.pack('<I', len(data))
open('rec.wav', 'wb').write(hdr + data)
PY
printf '6731,0,M,Test,54,0,0,N,3,0,0,W,0,0,100\n' >table.txt
cat >rec.ini <<'INI'
[file]
wav = rec.wav
[time]
shortintegration = 0.2
[pll]
pllcommand = sleep 0.2
[stations]
6731m
INI
printf '[file]\ndat = audio.dat\n[stations]\n6731m\n' >live.ini

tmux -L "$sock" new-session -d -s corvane -x 120 -y 40 "bash --norc --noprofile" || fail "tmux cannot start"
pane=1
send() { tmux -L "$sock" send-keys -t corvane "$@"; }
screen() { tmux -L "$sock" capture-pane -p -t corvane; }
waitfor() { # waitfor <pattern> <seconds>
  local i
  for ((i = 0; i < $2 * 10; i++)); do screen | grep -q -- "$1" && return 0; sleep 0.1; done
  return 1
}
send "cd $dir && PS1='$ ' && clear" Enter
sleep 0.5

# Recording: several status lines, then q.
send "$bin rec.ini; echo ST\"\"ATUS=\$?" Enter
waitfor 'SR ' 20 || fail "no status line"
sleep 3
rows=$(screen | grep -c 'SR ')
[ "$rows" -eq 1 ] || fail "status line on $rows rows, expected 1"
send q
waitfor 'STATUS=' 20 || fail "q did not end the run while reading"
screen | grep -q 'STATUS=0' || fail "q while reading: status not 0"
# The status line was ended before the program exited: what the shell writes
# next starts on a row of its own and leaves the status line whole.
screen | grep -qx 'STATUS=0' || fail "after q the shell wrote over the status line"
screen | grep -q 'SR .*us' || fail "the status line was overwritten after q"

# Live mode: waiting for audio.dat, then q.
send clear Enter
send "$bin live.ini; echo ST\"\"ATUS=\$?" Enter
waitfor 'sync to' 20 || fail "live run did not start"
sleep 1.5
screen | grep -q 'STATUS=' && fail "live run ended without a file"
send q
waitfor 'STATUS=' 20 || fail "q did not end the run while waiting"
screen | grep -q 'STATUS=0' || fail "q while waiting: status not 0"

# The terminal is back in canonical mode with echo.
send clear Enter
send "stty -a | tr ' ' '\\n' | grep -x -e echo -e icanon | tr '\\n' ' '; echo" Enter
waitfor 'echo icanon\|icanon echo' 10 || fail "terminal not restored: $(screen | tail -3)"
echo "terminal: ok"
