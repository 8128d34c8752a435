#!/usr/bin/env bash
# Counts the Linux 6.1 sources with quorimeter, the `wc -l` reading floor and
# cloc, and prints wall time, peak memory and ratios. Usage:
#   bench/count-linux.sh [--runs N] [--no-cloc]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
runs=3
with_cloc=1
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs="$2"; shift 2 ;;
    --no-cloc) with_cloc=0; shift ;;
    *) echo "unknown argument: $1" >&2; exit 2 ;;
  esac
done

source "$here/scripts/packages.sh"
qrmt_ensure_packages "${qrmt_build_packages[@]}" cloc time xz-utils

cache="${QRMT_BENCH_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/quorimeter-bench}"
tree="$cache/linux-6.1"
mkdir -p "$cache"
if [ ! -d "$tree" ]; then
  deb=$(ls "$cache"/linux-source-6.1_*.deb 2>/dev/null | head -n 1 || true)
  if [ -z "$deb" ]; then
    (cd "$cache" && apt-get download linux-source-6.1)
    deb=$(ls "$cache"/linux-source-6.1_*.deb | head -n 1)
  fi
  tmp="$cache/unpack.$$"
  rm -rf "$tmp" && mkdir -p "$tmp"
  dpkg-deb -x "$deb" "$tmp"
  tar -xf "$tmp"/usr/src/linux-source-6.1.tar.xz -C "$tmp"
  mv "$tmp"/linux-source-6.1 "$tree"
  rm -rf "$tmp"
fi

cmake -S "$here" -B "$here/build/release" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQRMT_BUILD_TESTS=OFF >/dev/null
cmake --build "$here/build/release" >/dev/null
bin="$here/build/release/quorimeter"

files=$(find "$tree" -type f | wc -l)
bytes=$(du -sb "$tree" | cut -f1)
echo "tree: $tree ($files files, $((bytes / 1000000)) MB), $(nproc) cores"
# Warm the page cache.
find "$tree" -type f -print0 | xargs -0 cat >/dev/null

# Runs a command `runs` times; prints the median wall time (s) and the peak
# memory (MB) of that run.
measure() {
  local n="$1"; shift
  local results=()
  for _ in $(seq "$n"); do
    results+=("$(/usr/bin/time -f '%e %M' bash -c "$* >/dev/null" 2>&1 | tail -n 1)")
  done
  printf '%s\n' "${results[@]}" | sort -n | sed -n "$(( (n + 1) / 2 ))p"
}

read -r ours_t ours_m < <(measure "$runs" "'$bin' count --all-files --format csv '$tree'")
read -r wc_t wc_m < <(measure "$runs" "find '$tree' -type f -print0 | xargs -0 wc -l")
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }

printf '%-34s %9s %10s\n' "command" "wall s" "peak MB"
printf '%-34s %9s %10d\n' "quorimeter count --all-files" "$ours_t" "$((ours_m / 1024))"
printf '%-34s %9s %10d\n' "find | xargs wc -l" "$wc_t" "$((wc_m / 1024))"
if [ "$with_cloc" = 1 ]; then
  read -r cloc_t cloc_m < <(measure 1 "cloc --quiet '$tree'")
  printf '%-34s %9s %10d\n' "cloc" "$cloc_t" "$((cloc_m / 1024))"
fi
echo
echo "quorimeter / wc -l floor: $(ratio "$ours_t" "$wc_t") x   (goal: at most 0.5)"
if [ "$with_cloc" = 1 ]; then
  echo "cloc / quorimeter:        $(ratio "$cloc_t" "$ours_t") x   (goal: at least 60)"
fi
echo "quorimeter peak memory:   $((ours_m / 1024)) MB   (goal: under 64)"
