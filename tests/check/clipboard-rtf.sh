#!/usr/bin/env bash
# Checks that LibreOffice reads the report's clipboard RTF as a table with
# the cells we wrote. Needs a test build (./test.sh) first.
#   tests/check/clipboard-rtf.sh [BUILD_DIR]
set -euo pipefail
here="$(cd "$(dirname "$0")/../.." && pwd)"
build="${1:-$here/build/test}"
source "$here/scripts/packages.sh"
qrmt_ensure_packages libreoffice-writer-nogui
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT
QRMT_CHECK_OUTPUT="$out" QT_QPA_PLATFORM=offscreen \
  "$build/tests/test_gui_components" --gtest_filter='*ClipboardInEveryForm*' >/dev/null
soffice --headless --convert-to html --outdir "$out" "$out/clipboard.rtf" >/dev/null 2>&1
html="$out/clipboard.html"
rows=$(grep -oi '<tr' "$html" | wc -l)
cells=$(grep -oi '<td' "$html" | wc -l)
echo "LibreOffice read the clipboard RTF: $rows table rows, $cells cells"
# The cells' text with the markup and the line wrapping taken out.
text=$(sed 's/<[^>]*>/ /g' "$html" | tr -s ' \t\n' ' ')
for want in "File Name" "Source Code Lines (%)" "src/a.c" "75.00 %" "Total:" "{x}"; do
  grep -qF "$want" <<<"$text" || { echo "missing: $want" >&2; exit 1; }
done
grep -q "{x}\\\\é.c\|&eacute;" <<<"$text" || { echo "missing: the accented letter" >&2; exit 1; }
[ "$rows" -eq 5 ] && [ "$cells" -eq 15 ] || { echo "expected 5 rows of 3 cells" >&2; exit 1; }
echo "ok: titles, rows, footer and the non-ASCII name are all there"
