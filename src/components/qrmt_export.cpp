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

QString TitleOf(int column) {
  return TReportTableModel::ColumnTitle(column);
}

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

bool RightAligned(int column) {
  return column != rcFileName;
}

}  // namespace

int TExportGrid::RowCount() const {
  return AllRows ? (Table ? Table->rowCount() : 0) : static_cast<int>(Rows.size());
}

std::string ExportFailure(const QString& file, const QString& reason) {
  return ("The report cannot be written to \"" + QDir::toNativeSeparators(file) + "\": " + reason + ".")
      .toStdString();
}

// --- the bytes -------------------------------------------------------------

QByteArray TextBytes(const TExportGrid& grid) {
  QString out;
  const int rows = grid.RowCount();
  out.reserve((rows + 2) * static_cast<int>(grid.Columns.size()) * 8);
  auto line = [&](auto cell) {
    for (size_t k = 0; k < grid.Columns.size(); ++k) {
      if (k > 0) out += '\t';
      out += cell(grid.Columns[k]);
    }
  };
  line(TitleOf);
  for (int i = 0; i < rows; ++i) {
    out += "\r\n";
    line([&](int c) { return grid.Table->CellText(grid.Row(i), c); });
  }
  out += "\r\n";
  line([&](int c) { return grid.Table->FooterText(c); });
  return out.toUtf8();
}

QByteArray CsvBytes(const TExportGrid& grid, char separator) {
  QString out;
  const int rows = grid.RowCount();
  out.reserve((rows + 2) * static_cast<int>(grid.Columns.size()) * 10);
  auto line = [&](auto cell) {
    for (size_t k = 0; k < grid.Columns.size(); ++k) {
      if (k > 0) out += QChar(separator);
      out += CsvQuoted(cell(grid.Columns[k]));
    }
  };
  line(TitleOf);
  for (int i = 0; i < rows; ++i) {
    out += "\r\n";
    line([&](int c) { return grid.Table->CellText(grid.Row(i), c); });
  }
  out += "\r\n";
  line([&](int c) { return grid.Table->FooterText(c); });
  return out.toUtf8();
}

QByteArray XmlBytes(const TExportGrid& grid) {
  QString out = "<?xml version=\"1.0\" encoding=\"utf-8\" ?><report>";
  const int rows = grid.RowCount();
  out.reserve((rows + 2) * static_cast<int>(grid.Columns.size()) * 30);
  auto element = [&](const char* name, auto cell) {
    out += '<';
    out += name;
    out += '>';
    for (size_t k = 0; k < grid.Columns.size(); ++k) {
      out += QString("<column num=\"%1\">").arg(k);
      AppendMarkup(out, cell(grid.Columns[k]));
      out += "</column>";
    }
    out += "</";
    out += name;
    out += '>';
  };
  element("header", TitleOf);
  for (int i = 0; i < rows; ++i) element("data", [&](int c) { return grid.Table->CellText(grid.Row(i), c); });
  element("footer", [&](int c) { return grid.Table->FooterText(c); });
  out += "</report>";
  return out.toUtf8();
}

QByteArray HtmlBytes(const TExportGrid& grid) {
  QString out =
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>Kestrune Quorimeter report</title>\n"
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
  const int rows = grid.RowCount();
  out.reserve((rows + 2) * static_cast<int>(grid.Columns.size()) * 24);
  // Widths from the longest text, for readers that lay tables out without
  // measuring (word processors opening the page).
  for (int c : grid.Columns) {
    qsizetype longest = std::max(TitleOf(c).section(' ', 0, 0).size(), grid.Table->FooterText(c).size());
    for (int i = 0; i < rows; ++i) longest = std::max(longest, grid.Table->CellText(grid.Row(i), c).size());
    out += QString("<col style=\"width: %1px\">").arg(static_cast<int>(longest) * 7 + 12);
  }
  out += "</colgroup>\n<thead>\n<tr>";
  for (int c : grid.Columns) {
    out += "<th>";
    AppendMarkup(out, TitleOf(c));
    out += "</th>";
  }
  out += "</tr>\n</thead>\n<tbody>\n";
  for (int i = 0; i < rows; ++i) {
    const int r = grid.Row(i);
    out += "<tr>";
    for (int c : grid.Columns) {
      out += grid.Table->IsRed(r, c) ? "<td class=\"red\">" : RightAligned(c) ? "<td class=\"n\">" : "<td>";
      AppendMarkup(out, grid.Table->CellText(r, c));
      out += "</td>";
    }
    out += "</tr>\n";
  }
  // The totals close the body: printed once, at the end.
  out += "<tr class=\"total\">";
  for (int c : grid.Columns) {
    out += "<td>";
    AppendMarkup(out, grid.Table->FooterText(c));
    out += "</td>";
  }
  out += "</tr>\n</tbody>\n</table>\n</body>\n</html>\n";
  return out.toUtf8();
}

QByteArray RtfBytes(const TExportGrid& grid) {
  const int rows = grid.RowCount();
  // Column widths in twips from the longest text, the grid's width at least.
  // Titles wrap at their blanks; the table no wider than a landscape page.
  std::vector<int> widths;
  int total = 0;
  for (int c : grid.Columns) {
    qsizetype longest = std::max(TitleOf(c).section(' ', 0, 0).size() + 1, grid.Table->FooterText(c).size());
    for (int i = 0; i < rows; ++i) longest = std::max(longest, grid.Table->CellText(grid.Row(i), c).size());
    widths.push_back(static_cast<int>(longest) * 110 + 200);
    total += widths.back();
  }
  constexpr int PageWidth = 16838 - 1440;
  if (total > PageWidth)
    for (int& w : widths) w = static_cast<int>(static_cast<int64_t>(w) * PageWidth / total);
  QString rowDef = "\\trowd\\trgaph60\\trleft0";
  int edge = 0;
  for (int w : widths) {
    edge += w;
    rowDef += QString("\\clbrdrt\\brdrs\\brdrw10\\clbrdrl\\brdrs\\brdrw10\\clbrdrb\\brdrs\\brdrw10\\clbrdrr\\brdrs\\brdrw10"
                      "\\cellx%1")
                  .arg(edge);
  }
  QString out =
      "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss Tahoma;}}{\\colortbl;\\red0\\green0\\blue0;"
      "\\red255\\green0\\blue0;}\\paperw16838\\paperh11906\\landscape\\margl720\\margr720\\margt720\\margb720"
      "\\f0\\fs16\n";
  out.reserve((rows + 2) * (rowDef.size() + static_cast<int>(grid.Columns.size()) * 30));
  auto line = [&](bool header, bool bold, auto cell, auto red) {
    out += rowDef;
    if (header) out += "\\trhdr";
    for (int c : grid.Columns) {
      out += "\\pard\\intbl";
      out += header ? "\\qc" : (RightAligned(c) ? "\\qr" : "\\ql");
      if (bold) out += "\\b";
      out += red(c) ? "\\cf2 " : " ";
      out += RtfEscaped(cell(c));
      if (red(c)) out += "\\cf0";
      out += bold ? "\\b0\\cell" : "\\cell";
    }
    out += "\\row\n";
  };
  auto never = [](int) { return false; };
  line(true, true, TitleOf, never);
  for (int i = 0; i < rows; ++i) {
    const int r = grid.Row(i);
    line(false, false, [&](int c) { return grid.Table->CellText(r, c); }, [&](int c) { return grid.Table->IsRed(r, c); });
  }
  line(false, true, [&](int c) { return grid.Table->FooterText(c); }, never);
  out += "\\pard\\par}";
  return out.toLatin1();
}

// --- files -------------------------------------------------------------------

void WriteWholeFile(const QString& file, const QByteArray& bytes) {
  const QFileInfo info(file);
  if (info.isDir()) throw EExportError(ExportFailure(file, "it is a folder"));
  if (info.exists() && !info.isWritable()) throw EExportError(ExportFailure(file, "the file is read-only"));
  QSaveFile out(file);
  out.setDirectWriteFallback(false);
  if (!out.open(QIODevice::WriteOnly)) throw EExportError(ExportFailure(file, out.errorString()));
  if (out.write(bytes) != bytes.size() || !out.commit()) {
    const QString reason = out.errorString();
    out.cancelWriting();
    throw EExportError(ExportFailure(file, reason));
  }
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
  WriteWholeFile(file, TextBytes(grid));
}

void ExportCsv(TExportMode mode, const TExportGrid& grid, const QString& file, char separator) {
  if (mode == emAddToExisting) {
    QByteArray text = "\r\n" + CsvBytes(grid, separator) + "\r\n";
    AppendToFile(file, text);
    return;
  }
  WriteWholeFile(file, CsvBytes(grid, separator));
}

void ExportHtml(const TExportGrid& grid, const QString& file) {
  WriteWholeFile(file, HtmlBytes(grid));
}

void ExportRtf(const TExportGrid& grid, const QString& file) {
  WriteWholeFile(file, RtfBytes(grid));
}

void ExportXml(const TExportGrid& grid, const QString& file) {
  WriteWholeFile(file, XmlBytes(grid));
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
  // Optimal widths: the widest text of each column, titles in two lines.
  std::vector<double> widths;
  for (int c : columns) {
    double w = 0;
    for (const QString& part : TReportTableModel::ColumnTitleTwoLines(c).split('\n'))
      w = std::max(w, boldMetrics.horizontalAdvance(part));
    w = std::max(w, boldMetrics.horizontalAdvance(grid.Table->FooterText(c)));
    for (int i = 0; i < rows; ++i) w = std::max(w, plainMetrics.horizontalAdvance(grid.Table->CellText(grid.Row(i), c)));
    widths.push_back(w + plainMetrics.height() * 0.6);
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
  for (double& w : widths) w *= scale;
  const double line = plainMetrics.height() * 1.4;
  const double pad = plainMetrics.height() * 0.3;
  const double foot = line * 1.5;  // room for the page number
  const int perPage = std::max(1, static_cast<int>((page.height() - foot - 2 * line) / line));
  const int pages = (rows + 1 + perPage - 1) / perPage;
  auto drawRow = [&](double y, double height, auto cellText, bool isBold, auto red) {
    painter.setFont(isBold ? bold : font);
    double x = 0;
    for (size_t i = 0; i < columns.size(); ++i) {
      const int c = columns[i];
      const QRectF cell(x, y, widths[i], height);
      painter.setPen(Qt::black);
      painter.drawRect(cell);
      if (red(c)) painter.setPen(QColor(255, 0, 0));
      const int align = (c == rcFileName && !isBold) ? Qt::AlignLeft : isBold ? Qt::AlignHCenter : Qt::AlignRight;
      painter.drawText(cell.adjusted(pad, 0, -pad, 0), align | Qt::AlignVCenter, cellText(c));
      x += widths[i];
    }
  };
  auto never = [](int) { return false; };
  int pageNo = 1;
  auto pageNumber = [&] {
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(QRectF(0, page.height() - line, page.width(), line), Qt::AlignHCenter | Qt::AlignVCenter,
                     QString("Page %1 of %2").arg(pageNo).arg(pages));
  };
  auto titles = [&](double y) {
    drawRow(y, 2 * line, [](int c) { return TReportTableModel::ColumnTitleTwoLines(c); }, true, never);
    return y + 2 * line;
  };
  double y = titles(0);
  int onPage = 0, lastPercent = -1;
  for (int i = 0; i < rows; ++i) {
    if (onPage == perPage) {
      pageNumber();
      device.newPage();
      ++pageNo;
      onPage = 0;
      y = titles(0);
    }
    const int r = grid.Row(i);
    drawRow(y, line, [&](int c) { return grid.Table->CellText(r, c); }, false,
            [&](int c) { return grid.Table->IsRed(r, c); });
    y += line;
    ++onPage;
    const int percent = static_cast<int>(static_cast<int64_t>(i) * 100 / std::max(rows, 1));
    if (progress && percent != lastPercent) progress(percent);
    lastPercent = percent;
  }
  if (onPage == perPage) {
    pageNumber();
    device.newPage();
    ++pageNo;
    y = titles(0);
  }
  drawRow(y, line, [&](int c) { return grid.Table->FooterText(c); }, true, never);
  pageNumber();
}

void ExportPdf(const TExportGrid& grid, const QString& file, const TExportProgress& progress) {
  const QFileInfo info(file);
  if (info.isDir()) throw EExportError(ExportFailure(file, "it is a folder"));
  if (info.exists() && !info.isWritable()) throw EExportError(ExportFailure(file, "the file is read-only"));
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
  QString name = QString::asprintf("%2d.%2d.%2d_%2d.%2d.%2d", d.day(), d.month(), d.year(), t.hour(), t.minute(),
                                   t.second()) +
                 extension;
  name.replace(' ', '0');
  name.replace(name.indexOf('_'), 1, " ");
  return name;
}

}  // namespace qrmt
