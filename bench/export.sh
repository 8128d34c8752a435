#!/usr/bin/env bash
# The export writers over a report of the Linux 6.1 tree's 78,579 files:
# time and memory of each format. Usage: bench/export.sh
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
source "$here/scripts/packages.sh"
qrmt_ensure_packages "${qrmt_build_packages[@]}" fonts-dejavu-core
tree="${QRMT_BENCH_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/quorimeter-bench}/linux-6.1"
[ -d "$tree" ] || "$here/bench/count-linux.sh" --runs 1 --no-cloc >/dev/null
cmake -S "$here" -B "$here/build/bench" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQRMT_BUILD_TESTS=OFF \
  -DQRMT_BUILD_BENCH=ON >/dev/null
cmake --build "$here/build/bench" >/dev/null
QT_QPA_PLATFORM=offscreen "$here/build/bench/qrmt_bench_export" "$tree" 2>&1 | grep -v '^QStandardPaths'
echo "goals: text, CSV, tab-separated, XML, HTML 1 s each; RTF 2 s; .xlsx 3 s; .docx 5 s; PDF 20 s;"
echo "       added to a .xlsx of the same rows 5 s; any export at most 200 MB above the program"
