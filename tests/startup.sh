#!/usr/bin/env bash
# Start-up without settings, --help and --version.
set -u
build=$1
bin="$build/corvane"
fail() { echo "FAIL: $*"; exit 1; }

dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"

"$bin" >out.txt 2>err.txt </dev/null
status=$?
[ $status -eq 2 ] || fail "exit status $status, expected 2"
printf '\nCorvane Loran-C monitor %s\n\n' "$("$bin" --version | sed 's/.* //')" >expected.txt
cmp -s out.txt expected.txt || fail "banner: $(cat -A out.txt)"
grep -q '^Aborting due to runtime error 2 (file not found)$' err.txt || fail "report: $(cat err.txt)"
grep -q 'corvane.ini' err.txt || fail "report does not name corvane.ini"
[ -z "$(ls -A | grep -v -e out.txt -e err.txt -e expected.txt)" ] || fail "files created: $(ls)"

"$bin" --help >help.txt 2>&1 || fail "--help status"
grep -q usage help.txt || fail "--help text"
echo "startup: ok"
