#!/usr/bin/env bash
# The command line's summary and excludes on the Linux 6.1 tree, in the same
# run: --by-format against the per-file CSV, and --exclude drivers against
# counting a copy of the tree without drivers/ (hard links, same files).
# Runs interleaved; medians of --runs N (default 5). Usage: bench/cli-summary.sh
set -euo pipefail
runs=5
[ "${1:-}" = "--runs" ] && runs="$2"
source "$(dirname "$0")/common.sh"
q="$here/build/bench/quorimeter"
trimmed="$cache/linux-6.1-without-drivers"
if [ ! -d "$trimmed" ]; then
  mkdir -p "$trimmed"
  (cd "$tree" && find . -mindepth 1 -maxdepth 1 ! -name drivers -exec cp -al {} "$trimmed/" \;)
fi
find "$tree" -type f -print0 | xargs -0 cat >/dev/null
secs() {
  local t
  t="$(mktemp)"
  /usr/bin/time -f '%e' -o "$t" "$@" >/dev/null 2>&1 || true
  tail -n 1 "$t"
  rm -f "$t"
}
median() { sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }
csv=(); sum=(); excl=(); trim=()
for ((i = 0; i < runs; i++)); do
  csv+=("$(secs "$q" count --format csv "$tree")")
  sum+=("$(secs "$q" count --by-format --format csv "$tree")")
  excl+=("$(secs "$q" count --format csv --exclude drivers "$tree")")
  trim+=("$(secs "$q" count --format csv "$trimmed")")
done
c=$(printf '%s\n' "${csv[@]}" | median); s=$(printf '%s\n' "${sum[@]}" | median)
e=$(printf '%s\n' "${excl[@]}" | median); t=$(printf '%s\n' "${trim[@]}" | median)
echo "per-file CSV: $c s   --by-format: $s s"
awk -v a="$s" -v b="$c" 'BEGIN { printf "--by-format / per-file CSV: %.3f   (goal: at most 1.02)\n", a / b }'
echo "--exclude drivers: $e s   the tree without drivers/: $t s"
awk -v a="$e" -v b="$t" 'BEGIN { printf "--exclude drivers / tree without drivers: %.3f   (goal: at most 1)\n", a / b }'
echo "summary of the tree:"
"$q" count --by-format "$tree" | head -12
