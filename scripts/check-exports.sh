#!/usr/bin/env bash
# Opens every export with the programs they are written for: LibreOffice
# (headless) converts the Word, Excel, RTF and HTML files to PDF and CSV,
# pdftotext reads the PDFs, and the cells are compared with the report.
# Also adds the report to a workbook and a document that LibreOffice made.
# Large (LibreOffice): not part of ./test.sh. Usage: scripts/check-exports.sh
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
source "$here/scripts/packages.sh"
qrmt_ensure_packages "${qrmt_build_packages[@]}" "${qrmt_test_packages[@]}" libreoffice-writer-nogui \
  libreoffice-calc-nogui poppler-utils python3
cmake -S "$here" -B "$here/build/test" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQRMT_SANITIZE=ON >/dev/null
cmake --build "$here/build/test" --target test_views >/dev/null
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/in" "$work/out" "$work/lo"
export HOME="$work"  # LibreOffice's profile, fresh

# The existing files, made by LibreOffice: ten rows of values, two lines of text.
for i in $(seq 1 10); do echo "row $i,$i"; done >"$work/in/base.csv"
printf 'Existing text, first line.\nSecond line.\n' >"$work/in/base.txt"
(cd "$work/in" && soffice --headless --convert-to xlsx base.csv >/dev/null 2>&1 &&
  soffice --headless --convert-to docx base.txt >/dev/null 2>&1)
ls "$work/in/base.xlsx" "$work/in/base.docx" >/dev/null

QT_QPA_PLATFORM=offscreen QRMT_CHECK_OUTPUT="$work/out" QRMT_CHECK_INPUT="$work/in" \
  "$here/build/test/tests/test_views" --gtest_filter='ExportTest.WritesEveryFormatForTheOfficeCheck' >/dev/null

cd "$work/out"
status=0
expect() {  # expect FILE TEXT: TEXT occurs in FILE, runs of blanks read as one
  if tr -s ' ' <"$1" | grep -qF -- "$(tr -s ' ' <<<"$2")"; then echo "  ok: $(basename "$1") has '$2'"; else echo "  FAIL: $(basename "$1") lacks '$2'"; status=1; fi
}
echo "== Excel: LibreOffice's CSV of the workbooks, cells as shown"
csv='csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,true'
soffice --headless --convert-to "$csv" --outdir "$work/lo" report.xlsx added-base.xlsx >/dev/null 2>&1
head -5 "$work/lo/report.csv"
expect "$work/lo/report.csv" ' ,,,,,,,,,,'
expect "$work/lo/report.csv" '/src/main.c,200,150,75.00%,30,15.00%,15,7.50%,5,2.50%,200'
expect "$work/lo/report.csv" '"/src/a&b <""q"">,x.c",10,6,60.00%,2,20.00%,1,10.00%,1,10.00%,10'
expect "$work/lo/report.csv" 'Total:,210,156,74.29%,32,15.24%,16,7.62%,6,2.86%,210'
sed -n 9,14p "$work/lo/added-base.csv"
# The old rows stay, one row is left empty, the titles stand in row 12.
[ "$(sed -n 10p "$work/lo/added-base.csv")" = "row 10,10,,,,,,,,," ] && echo "  ok: row 10 kept" || { echo "  FAIL: row 10"; status=1; }
[ "$(sed -n 11p "$work/lo/added-base.csv")" = ",,,,,,,,,," ] && echo "  ok: row 11 empty" || { echo "  FAIL: row 11"; status=1; }
[ "$(sed -n 12p "$work/lo/added-base.csv" | cut -c1-9)" = "File Name" ] && echo "  ok: titles in row 12" || { echo "  FAIL: titles not in row 12"; status=1; }
expect "$work/lo/added-base.csv" 'Total:,210,156,74.29%,32,15.24%,16,7.62%,6,2.86%,210'

same_cells() {  # same_cells A B: the same cells, row by row ("75.00%" reads as "75.00 %")
  if python3 - "$1" "$2" <<'PY'
import csv, sys
def rows(f):
    with open(f, newline="", encoding="utf-8") as h:
        return [[c.replace("%", " %").replace("  %", " %").strip() for c in r] for r in csv.reader(h) if any(x.strip() for x in r)]
a, b = rows(sys.argv[1]), rows(sys.argv[2])
sys.exit(0 if a == b else 1)
PY
  then echo "  ok: $(basename "$2") has the cells of $(basename "$1"), in order"
  else echo "  FAIL: $(basename "$2") differs from $(basename "$1")"; status=1; fi
}
# The workbook below its blank first row, and the page's table, against the report's CSV.
tail -n +3 "$work/lo/report.csv" >"$work/lo/report-block.csv"
same_cells report.csv "$work/lo/report-block.csv"
mkdir -p "$work/lo/html-calc"
soffice --headless --infilter=calc_HTML_WebQuery --convert-to "$csv" --outdir "$work/lo/html-calc" report.html >/dev/null 2>&1
same_cells report.csv "$work/lo/html-calc/report.csv"

echo "== Word, RTF, HTML: LibreOffice's PDF, read by pdftotext"
for f in report.docx added-base.docx report.rtf; do
  dir="$work/lo/${f//./-}"
  soffice --headless --convert-to pdf --outdir "$dir" "$f" >/dev/null 2>&1
  pdf="$(ls "$dir"/*.pdf)"
  pdftotext -layout "$pdf" "$dir/text.txt"
  echo "-- $f"
  grep -v '^\s*$' "$dir/text.txt" | head -4
  expect "$dir/text.txt" "/src/main.c"
  expect "$dir/text.txt" "File open error! /src/gone.c"
  expect "$dir/text.txt" '/src/a&b <"q">,x.c'
  expect "$dir/text.txt" "Total:"
  expect "$dir/text.txt" "74.29 %"
done
expect "$work/lo/added-base-docx/text.txt" "Existing text, first line."
# In the document the report comes first, the old text after it.
report_at=$(grep -n "Total:" "$work/lo/added-base-docx/text.txt" | head -1 | cut -d: -f1)
text_at=$(grep -n "Existing text" "$work/lo/added-base-docx/text.txt" | head -1 | cut -d: -f1)
[ "$report_at" -lt "$text_at" ] && echo "  ok: the table stands before the old text" || { echo "  FAIL: order"; status=1; }

echo "== our PDF, read by pdftotext"
pdftotext -layout report.pdf report.pdf.txt
head -5 report.pdf.txt
expect report.pdf.txt "Page 1 of 1"
expect report.pdf.txt '/src/a&b <"q">,x.c'

if [ -n "${QRMT_CHECK_KEEP:-}" ]; then
  mkdir -p "$QRMT_CHECK_KEEP"
  cp -r "$work/out" "$work/lo" "$QRMT_CHECK_KEEP/"
  for pdf in "$QRMT_CHECK_KEEP"/out/report.pdf "$QRMT_CHECK_KEEP"/lo/*/*.pdf; do
    pdftoppm -png -r 60 -f 1 -l 1 "$pdf" "${pdf%.pdf}"
  done
  echo "kept in $QRMT_CHECK_KEEP"
fi
exit $status
