#!/usr/bin/env bash
# The example settings print the station list of their selection at start and
# write stations.txt; without samples the TAI synchronisation finds no peak
# (a guess at offset 0 with the error sum at its start value 1000000, shown
# as rms 1000 after a "%") and the run then ends normally.
set -euo pipefail
build=$(cd "$1" && pwd)
src=$(cd "$2" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$src"/examples/corvane.ini "$src"/examples/table.txt "$work"/
cd "$work"
# A recording of its 46-byte header and one frame: the run ends after one
# block, before any status line.
head -c 50 /dev/zero > demo.wav

status=0
"$build/corvane" corvane.ini >out.txt 2>err.txt || status=$?
if [ "$status" -ne 0 ]; then
  echo "corvane exited with $status"; cat out.txt err.txt; exit 1
fi

expected=$(printf '%s\n' \
  '' \
  'Corvane Loran-C monitor 0.1.0' \
  '' \
  ' 7499 M Sylt 0ms 250kW 301.4328km' \
  ' 7499 X Lessay 15.0681ms 250kW 682.5802km' \
  ' 7499 Y Vaerlandet 48.2128ms 250kW 1016.953km' \
  ' 7499 Z Loop Head 63ms 250kW 1140.123km' \
  ' 6731 M Anthorn 0ms 250kW 733.4908km' \
  ' 6731 X Soustons 12.93653ms 250kW 1125.635km' \
  ' 6731 Y Anthorn 27.3ms 250kW 733.4908km' \
  ' 6731 Z Sylt 42.161ms 250kW 301.4328km' \
  ' 9007 M Ejde 0ms 400kW 1394.011km' \
  ' 9007 W Jan Mayen 14.46469ms 250kW 2223.427km' \
  ' 9007 X Boe 26.92576ms 400kW 1870.763km' \
  ' 9007 Z Vaerlandet 63.2165ms 250kW 1016.953km' \
  ' 7001 M Boe 0ms 400kW 1870.763km' \
  ' 7001 X Jan Mayen 15.06ms 250kW 2223.427km' \
  ' 7001 Y Berlevaag 31ms 250kW 2357.609km' \
  ' 0 blanked, sync to 7499 M 6731 M 9007 M' \
  'sync: averaging for 10sec TAI guess at    0.00 s offset, rel. error %1000.00 rms,  11:58:20.000 UT')
# The version in the banner may change; compare from the station list on.
if [ "$(sed -n '4,$p' out.txt)" != "$(printf '%s\n' "$expected" | sed -n '4,$p')" ]; then
  echo "unexpected console output:"; cat out.txt; exit 1
fi

printf '%b' \
  ' Sylt\r\n_7499M 301km\r\n Lessay\r\n_7499X 683km\r\n Vaerlandet\r\n_7499Y 1017km\r\n Loop Head\r\n_7499Z 1140km\r\n' \
  ' Anthorn\r\n_6731M 733km\r\n Soustons\r\n_6731X 1126km\r\n Anthorn\r\n_6731Y 733km\r\n Sylt\r\n_6731Z 301km\r\n' \
  ' Ejde\r\n_9007M 1394km\r\n Jan Mayen\r\n_9007W 2223km\r\n Boe\r\n_9007X 1871km\r\n Vaerlandet\r\n_9007Z 1017km\r\n' \
  ' Boe\r\n_7001M 1871km\r\n Jan Mayen\r\n_7001X 2223km\r\n Berlevaag\r\n_7001Y 2358km\r\n' >expected-stations.txt
if ! cmp -s stations.txt expected-stations.txt; then
  echo "unexpected stations.txt:"; od -c stations.txt | head -20; exit 1
fi

# A table that cannot be opened: runtime error 2 naming the file.
rm table.txt
status=0
"$build/corvane" corvane.ini >out.txt 2>err.txt || status=$?
if [ "$status" -ne 2 ] || ! grep -q '"table.txt"' err.txt || grep -q 'Lessay' out.txt; then
  echo "missing table: status $status"; cat out.txt err.txt; exit 1
fi
echo "stationlist: ok"
