#!/usr/bin/env bash
# Filling the count queue through the real file selection view (offscreen)
# with the Linux 6.1 sources, against a plain `find` of the same tree, with
# sizes and dates, in the same run. Usage: bench/selection.sh
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
source "$here/scripts/packages.sh"
qrmt_ensure_packages "${qrmt_build_packages[@]}" time
tree="${QRMT_BENCH_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/quorimeter-bench}/linux-6.1"
[ -d "$tree" ] || "$here/bench/count-linux.sh" --runs 1 --no-cloc >/dev/null
cmake -S "$here" -B "$here/build/bench" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQRMT_BUILD_TESTS=OFF \
  -DQRMT_BUILD_BENCH=ON >/dev/null
cmake --build "$here/build/bench" >/dev/null
find "$tree" >/dev/null  # the folders in the cache, for both
plain=$( { /usr/bin/time -f '%e' find "$tree" -type f >/dev/null; } 2>&1 | tail -n 1)
echo "find -type f: $plain s"
stat=$( { /usr/bin/time -f '%e' find "$tree" -type f -printf '%s %TY-%Tm-%Td %TT %p\n' >/dev/null; } 2>&1 | tail -n 1)
echo "find -type f with size and date: $stat s"
QT_QPA_PLATFORM=offscreen "$here/build/bench/qrmt_bench_selection" "$tree" 2>/dev/null
echo "goals: first add at most 3 s, the same again at most 1 s, peak at most 120 MB, ESC within 200 ms"
