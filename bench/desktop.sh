#!/usr/bin/env bash
# The desktop program's count through the real main window (offscreen) over
# the Linux 6.1 sources, against `quorimeter count --all-files --format csv`
# of the same tree in the same run. Usage: bench/desktop.sh
set -euo pipefail
source "$(dirname "$0")/common.sh"
find "$tree" -type f -print0 | xargs -0 cat >/dev/null
cli=$( { /usr/bin/time -f '%e' "$here/build/bench/quorimeter" count --all-files --format csv "$tree" >/dev/null; } 2>&1 | tail -n 1)
echo "quorimeter count --all-files --format csv: $cli s"
out=$(QT_QPA_PLATFORM=offscreen "$here/build/bench/qrmt_bench_desktop" "$tree" 2>/dev/null)
echo "$out"
run=$(sed -n 's/^count run through the window: \([0-9.]*\) s$/\1/p' <<<"$out")
awk -v a="$run" -v b="$cli" 'BEGIN { printf "window / command line: %.2f x   (goal: at most 1.2)\n", a / b }'
echo "goals: peak after the run at most 150 MB, any sort at most 300 ms, select all and copy at most 2 s"
