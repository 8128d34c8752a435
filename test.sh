#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer and UndefinedBehaviorSanitizer
# under build/test, and runs every test.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/scripts/packages.sh"
qrmt_ensure_packages "${qrmt_build_packages[@]}" "${qrmt_test_packages[@]}"
cmake -S "$here" -B "$here/build/test" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQRMT_SANITIZE=ON
cmake --build "$here/build/test"
cd "$here/build/test"
export QT_QPA_PLATFORM=offscreen
ctest --output-on-failure -j "$(nproc)"
