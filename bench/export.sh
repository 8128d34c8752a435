#!/usr/bin/env bash
# The export writers over a report of the Linux 6.1 tree's 78,579 files:
# time and memory of each format. Usage: bench/export.sh
set -euo pipefail
QRMT_BENCH_PACKAGES=fonts-dejavu-core source "$(dirname "$0")/common.sh"
QT_QPA_PLATFORM=offscreen "$here/build/bench/qrmt_bench_export" "$tree" 2>&1 | grep -v '^QStandardPaths'
echo "goals: text, CSV, tab-separated, XML, HTML 1 s each; RTF 2 s; .xlsx 3 s; .docx 5 s; PDF 20 s;"
echo "       added to a .xlsx of the same rows 5 s; any export at most 200 MB above the program"
