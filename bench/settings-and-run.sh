#!/usr/bin/env bash
# Times loading and saving a settings container with the 41 formats, and a
# count run (RunCount with recording receivers) against the engine alone
# over the Linux 6.1 sources. Usage: bench/settings-and-run.sh [--runs N]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
runs=3
[ "${1:-}" = "--runs" ] && runs="$2"
source "$here/scripts/packages.sh"
qrmt_ensure_packages "${qrmt_build_packages[@]}"
# Fetches and unpacks the tree when needed (no counting).
tree="${QRMT_BENCH_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/quorimeter-bench}/linux-6.1"
[ -d "$tree" ] || "$here/bench/count-linux.sh" --runs 1 --no-cloc >/dev/null
cmake -S "$here" -B "$here/build/bench" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQRMT_BUILD_TESTS=OFF \
  -DQRMT_BUILD_BENCH=ON >/dev/null
cmake --build "$here/build/bench" >/dev/null
"$here/build/bench/qrmt_bench" settings 50
find "$tree" -type f -print0 | xargs -0 cat >/dev/null
"$here/build/bench/qrmt_bench" run "$tree" "$runs"
