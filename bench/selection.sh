#!/usr/bin/env bash
# Filling the count queue through the real file selection view (offscreen)
# with the Linux 6.1 sources, against a plain `find` of the same tree, with
# sizes and dates, in the same run. Usage: bench/selection.sh
set -euo pipefail
source "$(dirname "$0")/common.sh"
find "$tree" >/dev/null  # the folders in the cache, for both
plain=$( { /usr/bin/time -f '%e' find "$tree" -type f >/dev/null; } 2>&1 | tail -n 1)
echo "find -type f: $plain s"
stat=$( { /usr/bin/time -f '%e' find "$tree" -type f -printf '%s %TY-%Tm-%Td %TT %p\n' >/dev/null; } 2>&1 | tail -n 1)
echo "find -type f with size and date: $stat s"
QT_QPA_PLATFORM=offscreen "$here/build/bench/qrmt_bench_selection" "$tree" 2>/dev/null
echo "goals: first add at most 3 s, the same again at most 1 s, peak at most 120 MB, ESC within 200 ms"
