# Sourced by the benchmark scripts: the build packages and any more named in
# QRMT_BENCH_PACKAGES, the Linux 6.1 tree in $tree (unpacked on first use),
# and the Release build with the benchmark programs in $here/build/bench.
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$here/scripts/packages.sh"
# shellcheck disable=SC2086
qrmt_ensure_packages "${qrmt_build_packages[@]}" ${QRMT_BENCH_PACKAGES:-time}
cache="${QRMT_BENCH_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/quorimeter-bench}"
tree="$cache/linux-6.1"
[ -d "$tree" ] || "$here/bench/count-linux.sh" --runs 1 --no-cloc >/dev/null
cmake -S "$here" -B "$here/build/bench" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQRMT_BUILD_TESTS=OFF \
  -DQRMT_BUILD_BENCH=ON >/dev/null
cmake --build "$here/build/bench" >/dev/null
