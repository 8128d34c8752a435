// The report's export writers: text, CSV and tab-separated text, HTML,
// RTF, PDF and XML over the visible columns of a report table, and the
// safe ways of replacing and appending to a user's file.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

class QPagedPaintDevice;

namespace qrmt {

// What the writers read: columns with titles, rows of displayed texts and
// values, and a footer. The report's table is one; the command line's
// summary by format another.
class TExportTable {
 public:
  virtual ~TExportTable() = default;
  virtual int ExportRowCount() const = 0;
  virtual QString Title(int column) const = 0;
  // The title broken into two lines, for pages.
  virtual QString TitleTwoLines(int column) const = 0;
  virtual QString CellText(int row, int column) const = 0;
  virtual QString FooterText(int column) const = 0;
  virtual bool IsRed(int row, int column) const = 0;
  // A text column stands left; count and percentage columns right, and
  // they reach spreadsheets as numbers.
  virtual bool TextColumn(int column) const = 0;
  virtual bool CountColumn(int column) const = 0;
  virtual bool PercentColumn(int column) const = 0;
  virtual int64_t Count(int row, int column) const = 0;
  virtual double Percent(int row, int column) const = 0;  // 0 to 100
  virtual int64_t Sum(int column) const = 0;
  virtual double FooterPercent(int column) const = 0;
};

enum TExportMode { emCreateNew, emAddToExisting, emSaveToFile };

// An export that could not be written; the message names the file and
// the reason. The user's file is as it was.
class EExportError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// What an export writes: the titles of `Columns` (report columns in grid
// order), the table's rows (all of them in the table's order, or `Rows`),
// and the footer.
struct TExportGrid {
  const TExportTable* Table = nullptr;
  std::vector<int> Columns;
  std::vector<int> Rows;  // empty: every row
  bool AllRows = true;

  int RowCount() const;
  int Row(int i) const { return AllRows ? i : Rows[static_cast<size_t>(i)]; }
};

// Buffered output of the writers: a megabyte at a time reaches `target`,
// so that no writer holds a whole report in memory.
class TOut {
 public:
  explicit TOut(std::function<void(std::string_view)> target);
  TOut& operator<<(std::string_view text) {
    FBuffer.append(text);
    if (FBuffer.size() >= Chunk) Flush();
    return *this;
  }
  TOut& operator<<(const char* text) { return *this << std::string_view(text); }
  TOut& operator<<(const std::string& text) { return *this << std::string_view(text); }
  TOut& operator<<(char c) {
    FBuffer += c;
    return *this;
  }
  TOut& operator<<(const QString& text);  // as UTF-8
  void Flush();

 private:
  static constexpr size_t Chunk = 1 << 20;
  std::function<void(std::string_view)> FTarget;
  std::string FBuffer;
};

// Told the share done, 0 to 100, during long writers.
using TExportProgress = std::function<void(int)>;

// Appends `text` as UTF-8 with the characters XML and HTML reserve escaped;
// those XML cannot hold at all become U+FFFD.
void PutMarkup(TOut& out, const QString& text);

// The writers, into any output.
void WriteText(const TExportGrid& grid, TOut& out);
void WriteCsv(const TExportGrid& grid, TOut& out, char separator);
void WriteHtml(const TExportGrid& grid, TOut& out);
void WriteRtf(const TExportGrid& grid, TOut& out);
void WriteXml(const TExportGrid& grid, TOut& out);
// The longest text of each column in characters: data, footer, and the
// title's first word.
std::vector<qsizetype> ColumnTextWidths(const TExportGrid& grid);
// Writes what `produce` gives as `file`, renamed over it only when complete.
void WriteStreamed(const QString& file, const std::function<void(TOut&)>& produce);

// The bytes of each format.
QByteArray TextBytes(const TExportGrid& grid);
QByteArray CsvBytes(const TExportGrid& grid, char separator);
QByteArray HtmlBytes(const TExportGrid& grid);
QByteArray RtfBytes(const TExportGrid& grid);
QByteArray XmlBytes(const TExportGrid& grid);

// Writes `bytes` as `file`: into a new file beside it, renamed over it only
// when complete. A folder, a read-only file or a failed write throws.
void WriteWholeFile(const QString& file, const QByteArray& bytes);
// Appends `bytes` to the existing `file`; a failed write takes the file
// back to its old length.
void AppendToFile(const QString& file, const QByteArray& bytes);

void ExportText(TExportMode mode, const TExportGrid& grid, const QString& file);
void ExportCsv(TExportMode mode, const TExportGrid& grid, const QString& file, char separator);
void ExportHtml(const TExportGrid& grid, const QString& file);
void ExportRtf(const TExportGrid& grid, const QString& file);
void ExportXml(const TExportGrid& grid, const QString& file);
void ExportPdf(const TExportGrid& grid, const QString& file, const TExportProgress& progress = {});

// Lays the grid out on pages of `device`: columns fitted to the page
// width, the titles on every page, page numbers at the foot. The print
// preview uses it too.
void PaintReport(QPagedPaintDevice& device, const TExportGrid& grid, const TExportProgress& progress = {});

// The export formats by their index: 0 Word, 1 Excel, 2 HTML, 3 text,
// 4 RTF, 5 comma-separated, 6 tab-separated, 7 PDF, 8 XML.
enum TExportFormat { efWord, efExcel, efHtml, efText, efRtf, efCsv, efTsv, efPdf, efXml, efCount };
// Runs the writer of `format`; the export dialog and the command line
// both come here.
void WriteExport(int format, TExportMode mode, const TExportGrid& grid, const QString& file,
                 const TExportProgress& progress = {});

// "DD.MM.YYYY HH.MM.SS" and the extension, from the local time.
QString TimestampFileName(const QString& extension);

// The message of a failed export: names the file and the reason.
std::string ExportFailure(const QString& file, const QString& reason);

}  // namespace qrmt
