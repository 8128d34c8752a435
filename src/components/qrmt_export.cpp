#include "qrmt_export.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <cerrno>
#include <cstring>

#include "qrmt_office.h"
#include "qrmt_reportgrid.h"

namespace qrmt {

namespace {

// Characters that XML and HTML reserve, and those XML 1.0 cannot hold at
// all (control characters of odd file names), which become U+FFFD.
void AppendMarkup(QString& out, const QString& text) {
  for (QChar c : text) {
    const ushort u = c.unicode();
    switch (u) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default:
        if ((u < 0x20 && u != '\t' && u != '\n' && u != '\r') || u == 0xFFFE || u == 0xFFFF)
          out += QChar(0xFFFD);
        else
          out += c;
    }
  }
}

}  // namespace

int TExportGrid::RowCount() const {
  return AllRows ? (Table ? Table->ExportRowCount() : 0) : static_cast<int>(Rows.size());
}

std::string ExportFailure(const QString& file, const QString& reason) {
  return ("The report cannot be written to \"" + QDir::toNativeSeparators(file) + "\": " + reason + ".").toStdString();
}

// --- the writers ------------------------------------------------------------

TOut::TOut(std::function<void(std::string_view)> target) : FTarget(std::move(target)) {
  FBuffer.reserve(Chunk + 4096);
}

void TOut::Flush() {
  if (FBuffer.empty()) return;
  FTarget(FBuffer);
  FBuffer.clear();
}

TOut& TOut::operator<<(const QString& text) {
  const QByteArray utf8 = text.toUtf8();
  return *this << std::string_view(utf8.constData(), static_cast<size_t>(utf8.size()));
}

void PutMarkup(TOut& out, const QString& text) {
  QString escaped;
  AppendMarkup(escaped, text);
  out << escaped;
}

namespace {

QString CellOf(const TExportGrid& grid, int i, int c) {
  return grid.Table->CellText(grid.Row(i), c);
}

void WriteDelimited(const TExportGrid& grid, TOut& out, bool quoted, char separator) {
  auto line = [&](auto cell) {
    for (size_t k = 0; k < grid.Columns.size(); ++k) {
      if (k > 0) out << separator;
      out << (quoted ? CsvQuoted(cell(grid.Columns[k])) : cell(grid.Columns[k]));
    }
  };
  line([&](int c) { return grid.Table->Title(c); });
  const int rows = grid.RowCount();
  for (int i = 0; i < rows; ++i) {
    out << "\r\n";
    line([&](int c) { return CellOf(grid, i, c); });
  }
  out << "\r\n";
  line([&](int c) { return grid.Table->FooterText(c); });
}

}  // namespace

std::vector<qsizetype> ColumnTextWidths(const TExportGrid& grid) {
  std::vector<qsizetype> longest;
  const int rows = grid.RowCount();
  for (int c : grid.Columns) {
    qsizetype n = std::max(grid.Table->Title(c).section(' ', 0, 0).size() + 1, grid.Table->FooterText(c).size());
    if (grid.Table->PercentColumn(c)) {
      n = std::max<qsizetype>(n, 8);  // "100.00 %"
    } else if (grid.Table->CountColumn(c)) {
      // The sum is the widest count.
      n = std::max<qsizetype>(n, QString::number(grid.Table->Sum(c)).size());
    } else {
      for (int i = 0; i < rows; ++i) n = std::max(n, CellOf(grid, i, c).size());
    }
    longest.push_back(n);
  }
  return longest;
}

void WriteText(const TExportGrid& grid, TOut& out) {
  WriteDelimited(grid, out, false, '\t');
}

void WriteCsv(const TExportGrid& grid, TOut& out, char separator) {
  WriteDelimited(grid, out, true, separator);
}

void WriteXml(const TExportGrid& grid, TOut& out) {
  out << "<?xml version=\"1.0\" encoding=\"utf-8\" ?><report>";
  auto element = [&](const char* name, auto cell) {
    out << '<' << name << '>';
    for (size_t k = 0; k < grid.Columns.size(); ++k) {
      out << "<column num=\"" << std::to_string(k) << "\">";
      PutMarkup(out, cell(grid.Columns[k]));
      out << "</column>";
    }
    out << "</" << name << '>';
  };
  element("header", [&](int c) { return grid.Table->Title(c); });
  const int rows = grid.RowCount();
  for (int i = 0; i < rows; ++i) element("data", [&](int c) { return CellOf(grid, i, c); });
  element("footer", [&](int c) { return grid.Table->FooterText(c); });
  out << "</report>";
}

void WriteHtml(const TExportGrid& grid, TOut& out) {
  out << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>Kestrune Quorimeter "
         "report</title>\n"
         "<style>\n"
         "body { font-family: Tahoma, Verdana, sans-serif; font-size: 9pt; }\n"
         "table { border-collapse: collapse; }\n"
         "th, td { border: 1px solid #a0a0a0; padding: 1px 4px; white-space: nowrap; }\n"
         "th { background: #ece9d8; font-weight: bold; text-align: center; }\n"
         "td.n { text-align: right; }\n"
         "td.red { color: #ff0000; }\n"
         "tr.total td { background: #ffffe1; font-weight: bold; text-align: right; }\n"
         "thead { display: table-header-group; }\n"
         "tr { page-break-inside: avoid; }\n"
         "</style>\n</head>\n<body>\n<table>\n<colgroup>";
  // Widths from the longest text, for readers that lay tables out without
  // measuring (word processors opening the page).
  for (qsizetype n : ColumnTextWidths(grid)) out << "<col style=\"width: " << std::to_string(n * 7 + 12) << "px\">";
  out << "</colgroup>\n<thead>\n<tr>";
  for (int c : grid.Columns) {
    out << "<th>";
    PutMarkup(out, grid.Table->Title(c));
    out << "</th>";
  }
  out << "</tr>\n</thead>\n<tbody>\n";
  const int rows = grid.RowCount();
  for (int i = 0; i < rows; ++i) {
    const int r = grid.Row(i);
    out << "<tr>";
    for (int c : grid.Columns) {
      out << (grid.Table->IsRed(r, c)      ? "<td class=\"red\">"
              : !grid.Table->TextColumn(c) ? "<td class=\"n\">"
                                           : "<td>");
      PutMarkup(out, grid.Table->CellText(r, c));
      out << "</td>";
    }
    out << "</tr>\n";
  }
  // The totals close the body: printed once, at the end.
  out << "<tr class=\"total\">";
  for (int c : grid.Columns) {
    out << "<td>";
    PutMarkup(out, grid.Table->FooterText(c));
    out << "</td>";
  }
  out << "</tr>\n</tbody>\n</table>\n</body>\n</html>\n";
}

void WriteRtf(const TExportGrid& grid, TOut& out) {
  // Titles wrap at their blanks; the table no wider than a landscape page.
  std::vector<int> widths;
  int total = 0;
  for (qsizetype n : ColumnTextWidths(grid)) {
    widths.push_back(static_cast<int>(n) * 110 + 200);
    total += widths.back();
  }
  constexpr int PageWidth = 16838 - 1440;
  if (total > PageWidth)
    for (int& w : widths) w = static_cast<int>(static_cast<int64_t>(w) * PageWidth / total);
  std::string rowDef = "\\trowd\\trgaph60\\trleft0";
  int edge = 0;
  for (int w : widths) {
    edge += w;
    rowDef +=
        "\\clbrdrt\\brdrs\\brdrw10\\clbrdrl\\brdrs\\brdrw10\\clbrdrb\\brdrs\\brdrw10\\clbrdrr\\brdrs\\brdrw10\\cellx" +
        std::to_string(edge);
  }
  out << "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss Tahoma;}}{\\colortbl;\\red0\\green0\\blue0;"
         "\\red255\\green0\\blue0;}\\paperw16838\\paperh11906\\landscape\\margl720\\margr720\\margt720\\margb720"
         "\\f0\\fs16\n";
  auto line = [&](bool header, bool bold, auto cell, auto red) {
    out << rowDef;
    if (header) out << "\\trhdr";
    for (int c : grid.Columns) {
      out << "\\pard\\intbl" << (header ? "\\qc" : (!grid.Table->TextColumn(c) ? "\\qr" : "\\ql"));
      if (bold) out << "\\b";
      const bool isRed = red(c);
      out << (isRed ? "\\cf2 " : " ");
      out << RtfEscaped(cell(c));  // ASCII only: the escapes hold the rest
      if (isRed) out << "\\cf0";
      out << (bold ? "\\b0\\cell" : "\\cell");
    }
    out << "\\row\n";
  };
  auto never = [](int) { return false; };
  line(
      true, true, [&](int c) { return grid.Table->Title(c); }, never);
  const int rows = grid.RowCount();
  for (int i = 0; i < rows; ++i) {
    const int r = grid.Row(i);
    line(
        false, false, [&](int c) { return grid.Table->CellText(r, c); },
        [&](int c) { return grid.Table->IsRed(r, c); });
  }
  line(
      false, true, [&](int c) { return grid.Table->FooterText(c); }, never);
  out << "\\pard\\par}";
}

namespace {

QByteArray Collect(const std::function<void(TOut&)>& produce) {
  QByteArray bytes;
  TOut out([&bytes](std::string_view s) { bytes.append(s.data(), static_cast<qsizetype>(s.size())); });
  produce(out);
  out.Flush();
  return bytes;
}

void CheckWritable(const QString& file) {
  const QFileInfo info(file);
  if (info.isDir()) throw EExportError(ExportFailure(file, "it is a folder"));
  if (info.exists() && !info.isWritable()) throw EExportError(ExportFailure(file, "the file is read-only"));
}

}  // namespace

QByteArray TextBytes(const TExportGrid& grid) {
  return Collect([&](TOut& out) { WriteText(grid, out); });
}
QByteArray CsvBytes(const TExportGrid& grid, char separator) {
  return Collect([&](TOut& out) { WriteCsv(grid, out, separator); });
}
QByteArray HtmlBytes(const TExportGrid& grid) {
  return Collect([&](TOut& out) { WriteHtml(grid, out); });
}
QByteArray RtfBytes(const TExportGrid& grid) {
  return Collect([&](TOut& out) { WriteRtf(grid, out); });
}
QByteArray XmlBytes(const TExportGrid& grid) {
  return Collect([&](TOut& out) { WriteXml(grid, out); });
}

// --- files -------------------------------------------------------------------

void WriteStreamed(const QString& file, const std::function<void(TOut&)>& produce) {
  CheckWritable(file);
  QSaveFile save(file);
  save.setDirectWriteFallback(false);
  if (!save.open(QIODevice::WriteOnly)) throw EExportError(ExportFailure(file, save.errorString()));
  bool failed = false;
  TOut out([&](std::string_view s) {
    if (!failed && save.write(s.data(), static_cast<qint64>(s.size())) != static_cast<qint64>(s.size())) failed = true;
  });
  produce(out);
  out.Flush();
  if (failed || !save.commit()) {
    const QString reason = save.errorString();
    save.cancelWriting();
    throw EExportError(ExportFailure(file, reason));
  }
}

void WriteWholeFile(const QString& file, const QByteArray& bytes) {
  WriteStreamed(file,
                [&](TOut& out) { out << std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())); });
}

void AppendToFile(const QString& file, const QByteArray& bytes) {
  const QFileInfo info(file);
  if (info.isDir()) throw EExportError(ExportFailure(file, "it is a folder"));
  const std::string name = QFile::encodeName(file).toStdString();
  const int fd = ::open(name.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  if (fd < 0) throw EExportError(ExportFailure(file, QString::fromLocal8Bit(std::strerror(errno))));
  struct stat st {};
  ::fstat(fd, &st);
  const off_t before = st.st_size;
  qsizetype done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int code = n < 0 ? errno : ENOSPC;
      // Half an appended report is no use: the file goes back to what it was.
      [[maybe_unused]] int ignored = ::ftruncate(fd, before);
      ::close(fd);
      throw EExportError(ExportFailure(file, QString::fromLocal8Bit(std::strerror(code))));
    }
    done += n;
  }
  if (::close(fd) != 0) throw EExportError(ExportFailure(file, QString::fromLocal8Bit(std::strerror(errno))));
}

void ExportText(TExportMode mode, const TExportGrid& grid, const QString& file) {
  if (mode == emAddToExisting) {
    // The text Copy to Clipboard gives, right after the file's last character.
    QByteArray text = TextBytes(grid);
    text += "\r\n";
    AppendToFile(file, text);
    return;
  }
  WriteStreamed(file, [&](TOut& out) { WriteText(grid, out); });
}

void ExportCsv(TExportMode mode, const TExportGrid& grid, const QString& file, char separator) {
  if (mode == emAddToExisting) {
    QByteArray text = "\r\n" + CsvBytes(grid, separator) + "\r\n";
    AppendToFile(file, text);
    return;
  }
  WriteStreamed(file, [&](TOut& out) { WriteCsv(grid, out, separator); });
}

void ExportHtml(const TExportGrid& grid, const QString& file) {
  WriteStreamed(file, [&](TOut& out) { WriteHtml(grid, out); });
}

void ExportRtf(const TExportGrid& grid, const QString& file) {
  WriteStreamed(file, [&](TOut& out) { WriteRtf(grid, out); });
}

void ExportXml(const TExportGrid& grid, const QString& file) {
  WriteStreamed(file, [&](TOut& out) { WriteXml(grid, out); });
}

// --- pages ---------------------------------------------------------------------

void PaintReport(QPagedPaintDevice& device, const TExportGrid& grid, const TExportProgress& progress) {
  const std::vector<int>& columns = grid.Columns;
  if (columns.empty()) return;
  QFont font("DejaVu Sans");
  font.setPointSize(8);
  font.setStyleStrategy(QFont::PreferNoShaping);  // no ligatures: the text stays searchable
  QFont bold = font;
  bold.setBold(true);
  const QFontMetricsF plainMetrics(font, &device), boldMetrics(bold, &device);
  const int rows = grid.RowCount();
  const size_t n = columns.size();
  // Optimal widths: the widest text of each column, titles in two lines.
  // The advance of every cell is kept: right-aligned texts need it again.
  std::vector<float> advances(static_cast<size_t>(rows) * n);
  std::vector<double> widths(n, 0);
  for (size_t k = 0; k < n; ++k) {
    const int c = columns[k];
    double w = 0;
    for (const QString& part : grid.Table->TitleTwoLines(c).split('\n'))
      w = std::max(w, boldMetrics.horizontalAdvance(part));
    w = std::max(w, boldMetrics.horizontalAdvance(grid.Table->FooterText(c)));
    for (int i = 0; i < rows; ++i) {
      const double a = plainMetrics.horizontalAdvance(grid.Table->CellText(grid.Row(i), c));
      advances[static_cast<size_t>(i) * n + k] = static_cast<float>(a);
      w = std::max(w, a);
    }
    widths[k] = w + plainMetrics.height() * 0.6;
  }
  double total = 0;
  for (double w : widths) total += w;
  // Landscape when the table is wider than a portrait page.
  QPageLayout layout = device.pageLayout();
  const QRectF portrait = layout.paintRectPixels(device.logicalDpiX());
  if (total > portrait.width() && layout.orientation() == QPageLayout::Portrait) {
    layout.setOrientation(QPageLayout::Landscape);
    device.setPageLayout(layout);
  }
  QPainter painter(&device);
  if (!painter.isActive()) return;
  const QRectF page = device.pageLayout().paintRectPixels(device.logicalDpiX());
  const double scale = (page.width() - 1) / total;
  std::vector<double> lefts(n + 1, 0);
  for (size_t k = 0; k < n; ++k) {
    widths[k] *= scale;
    lefts[k + 1] = lefts[k] + widths[k];
  }
  const double line = plainMetrics.height() * 1.4;
  const double pad = plainMetrics.height() * 0.3;
  const double baseline = (line - plainMetrics.height()) / 2 + plainMetrics.ascent();
  const double foot = line * 1.5;  // room for the page number
  const int perPage = std::max(1, static_cast<int>((page.height() - foot - 2 * line) / line));
  const int pages = (rows + 1 + perPage - 1) / perPage;
  // A row of the grid: the texts; the rules are drawn once per page.
  auto drawCells = [&](double y, double height, auto cellText, bool isBold, auto red) {
    painter.setFont(isBold ? bold : font);
    for (size_t k = 0; k < n; ++k) {
      const int c = columns[k];
      const QRectF cell(lefts[k], y, widths[k], height);
      painter.setPen(red(c) ? QColor(255, 0, 0) : QColor(Qt::black));
      const int align = (grid.Table->TextColumn(c) && !isBold) ? Qt::AlignLeft
                        : isBold                               ? Qt::AlignHCenter
                                                               : Qt::AlignRight;
      painter.drawText(cell.adjusted(pad, 0, -pad, 0), align | Qt::AlignVCenter, cellText(c));
    }
  };
  auto never = [](int) { return false; };
  int pageNo = 1;
  double top = 0;
  auto rules = [&](double bottom) {
    painter.setPen(Qt::black);
    for (double x : lefts) painter.drawLine(QPointF(x, top), QPointF(x, bottom));
    painter.drawLine(QPointF(0, top), QPointF(lefts[n], top));
    painter.drawText(QRectF(0, page.height() - line, page.width(), line), Qt::AlignHCenter | Qt::AlignVCenter,
                     QString("Page %1 of %2").arg(pageNo).arg(pages));
  };
  auto titles = [&](double y) {
    drawCells(
        y, 2 * line, [&](int c) { return grid.Table->TitleTwoLines(c); }, true, never);
    painter.setPen(Qt::black);
    painter.drawLine(QPointF(0, y + 2 * line), QPointF(lefts[n], y + 2 * line));
    return y + 2 * line;
  };
  double y = titles(0);
  int onPage = 0, lastPercent = -1;
  painter.setFont(font);
  for (int i = 0; i < rows; ++i) {
    if (onPage == perPage) {
      rules(y);
      device.newPage();
      ++pageNo;
      onPage = 0;
      y = titles(0);
      painter.setFont(font);
    }
    const int r = grid.Row(i);
    // Plain rows: the texts at their places, without a layout each.
    for (size_t k = 0; k < n; ++k) {
      const int c = columns[k];
      const bool isRed = grid.Table->IsRed(r, c);
      painter.setPen(isRed ? QColor(255, 0, 0) : QColor(Qt::black));
      const double x =
          grid.Table->TextColumn(c) ? lefts[k] + pad : lefts[k + 1] - pad - advances[static_cast<size_t>(i) * n + k];
      painter.drawText(QPointF(x, y + baseline), grid.Table->CellText(r, c));
    }
    y += line;
    painter.setPen(Qt::black);
    painter.drawLine(QPointF(0, y), QPointF(lefts[n], y));
    ++onPage;
    const int percent = static_cast<int>(static_cast<int64_t>(i) * 100 / std::max(rows, 1));
    if (progress && percent != lastPercent) progress(percent);
    lastPercent = percent;
  }
  if (onPage == perPage) {
    rules(y);
    device.newPage();
    ++pageNo;
    y = titles(0);
  }
  drawCells(
      y, line, [&](int c) { return grid.Table->FooterText(c); }, true, never);
  y += line;
  painter.setPen(Qt::black);
  painter.drawLine(QPointF(0, y), QPointF(lefts[n], y));
  rules(y);
}

void ExportPdf(const TExportGrid& grid, const QString& file, const TExportProgress& progress) {
  CheckWritable(file);
  // Painted into a file beside the target, which takes its place when done.
  QSaveFile out(file);
  out.setDirectWriteFallback(false);
  if (!out.open(QIODevice::WriteOnly)) throw EExportError(ExportFailure(file, out.errorString()));
  {
    QPdfWriter pdf(&out);
    pdf.setTitle("Kestrune Quorimeter report");
    pdf.setCreator("Kestrune Quorimeter");
    pdf.setResolution(300);
    pdf.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(12, 12, 12, 12),
                                  QPageLayout::Millimeter));
    PaintReport(pdf, grid, progress);
  }
  if (out.error() != QFileDevice::NoError || !out.commit()) {
    const QString reason = out.errorString();
    out.cancelWriting();
    throw EExportError(ExportFailure(file, reason));
  }
}

void WriteExport(int format, TExportMode mode, const TExportGrid& grid, const QString& file,
                 const TExportProgress& progress) {
  switch (format) {
    case efWord: ExportDocx(mode, grid, file); break;
    case efExcel: ExportXlsx(mode, grid, file); break;
    case efHtml: ExportHtml(grid, file); break;
    case efText: ExportText(mode, grid, file); break;
    case efRtf: ExportRtf(grid, file); break;
    case efCsv: ExportCsv(mode, grid, file, ','); break;
    case efTsv: ExportCsv(mode, grid, file, '\t'); break;
    case efPdf: ExportPdf(grid, file, progress); break;
    default: ExportXml(grid, file); break;
  }
}

QString TimestampFileName(const QString& extension) {
  const QDateTime now = QDateTime::currentDateTime();
  const QDate d = now.date();
  const QTime t = now.time();
  QString name =
      QString::asprintf("%2d.%2d.%2d_%2d.%2d.%2d", d.day(), d.month(), d.year(), t.hour(), t.minute(), t.second()) +
      extension;
  name.replace(' ', '0');
  name.replace(name.indexOf('_'), 1, " ");
  return name;
}

}  // namespace qrmt
