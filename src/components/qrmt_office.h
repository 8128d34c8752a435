// The office layer: Word documents (.docx) and Excel workbooks (.xlsx)
// written directly in Office Open XML. A new file is made whole; an
// existing one is opened, the report added, and the result renamed over
// it only when complete, every other part kept as it was.
#pragma once

#include <QString>

#include "qrmt_export.h"

namespace qrmt {

// The report as a block on the first sheet ("Report" in a new workbook,
// A1 holding one blank): two rows below the last used row, bold centred
// wrapped titles, the rows with counts as numbers and percentages as
// numbers in a percent format, the bold footer, every cell ruled, the
// columns fitted, the first title cell selected.
void ExportXlsx(TExportMode mode, const TExportGrid& grid, const QString& file);

// The report as a table at the top of the document, after one empty
// paragraph and followed by another, before what the document held:
// the title row (vertically centred, repeated on every page), the rows,
// the footer row.
void ExportDocx(TExportMode mode, const TExportGrid& grid, const QString& file);

// "A".."K" for columns 1..11, and so on past "Z".
QString ColumnLetters(int column);

}  // namespace qrmt
