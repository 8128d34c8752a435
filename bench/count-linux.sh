#!/usr/bin/env bash
# Counts the Linux 6.1 sources with quorimeter and with the reading floor
# (bench/floor.c) on 1, 2, 4, ... threads up to the cores, then `wc -l` and
# cloc, and prints wall times, peak memory and ratios. Usage:
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
floor="$here/build/release/floor"
cc -O2 -Wall -Wextra -pthread -o "$floor" "$here/bench/floor.c"

list="$cache/files.list"
find "$tree" -type f -print0 >"$list"
files=$(tr -cd '\0' <"$list" | wc -c)
bytes=$(du -sb "$tree" | cut -f1)
cores=$(nproc)
echo "tree: $tree ($files files, $((bytes / 1000000)) MB), $cores cores, median of $runs runs"
# Warm the page cache.
xargs -0 cat <"$list" >/dev/null

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
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }

# Thread counts 1, 2, 4, ... up to the cores.
jobs=()
for ((j = 1; j < cores; j *= 2)); do jobs+=("$j"); done
jobs+=("$cores")

printf '%-8s %12s %12s %10s %12s\n' "threads" "floor s" "ours s" "ours/floor" "ours peak MB"
declare -A ours_t floor_t
# The floor and ours take turns, so that a busy moment of the machine falls
# on both alike.
median() { sort -n | sed -n "$(( (runs + 1) / 2 ))p"; }
for j in "${jobs[@]}"; do
  fl=() ol=()
  for _ in $(seq "$runs"); do
    fl+=("$(measure 1 "'$floor' $j '$list'")")
    ol+=("$(measure 1 "'$bin' count --all-files --format csv --jobs $j '$tree'")")
  done
  read -r ft _ < <(printf '%s\n' "${fl[@]}" | median)
  read -r ot om < <(printf '%s\n' "${ol[@]}" | median)
  floor_t[$j]=$ft
  ours_t[$j]=$ot
  printf '%-8s %12s %12s %10s %12d\n' "$j" "$ft" "$ot" "$(ratio "$ot" "$ft")" "$((om / 1024))"
done
echo
for j in "${jobs[@]}"; do
  [ "$j" = 1 ] && continue
  echo "speed-up of $j threads over 1: ours $(ratio "${ours_t[1]}" "${ours_t[$j]}") x, floor $(ratio "${floor_t[1]}" "${floor_t[$j]}") x"
done

read -r wc_t _ < <(measure "$runs" "xargs -0 wc -l <'$list'")
echo "find | xargs wc -l:  $wc_t s"
if [ "$with_cloc" = 1 ]; then
  read -r cloc_t cloc_m < <(measure 1 "cloc --quiet '$tree'")
  echo "cloc:                $cloc_t s, $((cloc_m / 1024)) MB   (cloc / ours with $cores threads: $(ratio "$cloc_t" "${ours_t[$cores]}") x)"
fi
echo
echo "goals: ours/floor at most 1.3 with the same threads; 2 threads at least 1.7 x as fast as 1; peak under 64 MB"
