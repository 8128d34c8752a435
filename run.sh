#!/usr/bin/env bash
# Installs what is missing, builds Release under build/release, runs quorimeter ARGS.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/scripts/packages.sh"
qrmt_ensure_packages "${qrmt_build_packages[@]}"
# Build output goes to stderr so that `./run.sh count ... > report.csv` stays clean.
cmake -S "$here" -B "$here/build/release" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQRMT_BUILD_TESTS=OFF >&2
cmake --build "$here/build/release" >&2
exec "$here/build/release/quorimeter" "$@"
