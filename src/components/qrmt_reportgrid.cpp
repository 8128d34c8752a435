#include "qrmt_reportgrid.h"

#include <QBrush>
#include <QColor>
#include <QFont>
#include <QGuiApplication>
#include <QLocale>
#include <QMimeData>
#include <QPalette>
#include <algorithm>

#include "core/qrmt_report.h"

namespace qrmt {

const std::array<const char*, rcColumnCount> ReportFieldNames = {
    "statTableFileName", "statTableNominal",        "statTableSourceCode", "statTableSourceCodePercent",
    "statTableComment",  "statTableCommentPercent", "statTableBlank",      "statTableBlankPercent",
    "statTableMixed",    "statTableMixedPercent",   "statTableTotal"};

const std::array<int, rcColumnCount> ReportDesignWidths = {220, 50, 60, 70, 60, 70, 55, 65, 55, 70, 50};

namespace {

// Counts: nominal, code, comment, blank, mixed, total.
constexpr int ciTotal = 5;

QString Utf8(const std::string& s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

}  // namespace

QString CsvQuoted(const QString& cell) {
  QString out = "\"";
  for (QChar c : cell) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + '"';
}

namespace {

QString GridCell(const QString& cell) {
  QString out;
  out.reserve(cell.size());
  for (QChar c : cell) {
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

QString RtfEscaped(const QString& cell) {
  QString out;
  for (QChar c : cell) {
    const ushort u = c.unicode();
    if (c == '\\' || c == '{' || c == '}') {
      out += '\\';
      out += c;
    } else if (u < 0x80) {
      out += c;
    } else {
      // \uN takes a signed 16-bit number; surrogates go as two.
      out += QString("\\u%1?").arg(static_cast<short>(u));
    }
  }
  return out;
}

namespace {}  // namespace

TReportTableModel::TReportTableModel(QObject* parent) : QAbstractTableModel(parent) {
  const QString point = QLocale().decimalPoint();
  if (point.size() == 1 && point[0].unicode() < 0x80) FDecimal = static_cast<char>(point[0].unicode());
}

int TReportTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(FRows.size());
}

int TReportTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : rcColumnCount;
}

int TReportTableModel::CountIndex(int column) {
  switch (column) {
    case rcNominal: return 0;
    case rcSourceCode: return 1;
    case rcComment: return 2;
    case rcBlank: return 3;
    case rcMixed: return 4;
    case rcTotal: return ciTotal;
    default: return -1;
  }
}

int TReportTableModel::PercentOf(int column) {
  switch (column) {
    case rcSourceCodePercent: return rcSourceCode;
    case rcCommentPercent: return rcComment;
    case rcBlankPercent: return rcBlank;
    case rcMixedPercent: return rcMixed;
    default: return -1;
  }
}

QString TReportTableModel::ColumnTitle(int column) {
  return ReportColumnTitles.at(static_cast<size_t>(column));
}

QString TReportTableModel::ColumnTitleTwoLines(int column) {
  QString title = ColumnTitle(column);
  // "Source Code Lines (%)" -> "Source Code\nLines (%)": the break goes
  // before "Lines".
  const qsizetype at = title.indexOf(" Lines");
  if (at > 0) title[at] = '\n';
  return title;
}

QString TReportTableModel::Text(const TRow& row, int column) const {
  if (column == rcFileName) return row.Name;
  const int count = CountIndex(column);
  if (count >= 0) return QString::number(row.Counts[static_cast<size_t>(count)]);
  const int of = PercentOf(column);
  if (of < 0) return {};
  std::string text;
  AppendPercent(text, row.Counts[static_cast<size_t>(CountIndex(of))], row.Counts[ciTotal], FDecimal);
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QString TReportTableModel::CellText(int row, int column) const {
  return Text(FRows.at(static_cast<size_t>(row)), column);
}

int64_t TReportTableModel::Count(int row, int column) const {
  const int count = CountIndex(column);
  return count < 0 ? 0 : FRows.at(static_cast<size_t>(row)).Counts[static_cast<size_t>(count)];
}

double TReportTableModel::FooterPercent(int column) const {
  const int of = PercentOf(column);
  if (of < 0 || FSums[ciTotal] == 0) return 0;
  return static_cast<double>(FSums[static_cast<size_t>(CountIndex(of))]) * 100.0 / static_cast<double>(FSums[ciTotal]);
}

bool TReportTableModel::IsRed(int row, int column) const {
  return column == rcFileName && FRows.at(static_cast<size_t>(row)).Red;
}

double TReportTableModel::Percent(int row, int column) const {
  const TRow& r = FRows.at(static_cast<size_t>(row));
  const int of = PercentOf(column);
  if (of < 0 || r.Counts[ciTotal] == 0) return 0;
  return static_cast<double>(r.Counts[static_cast<size_t>(CountIndex(of))]) * 100.0 /
         static_cast<double>(r.Counts[ciTotal]);
}

QVariant TReportTableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount() || index.column() >= rcColumnCount) return {};
  switch (role) {
    case Qt::DisplayRole: return CellText(index.row(), index.column());
    case Qt::ForegroundRole:
      if (IsRed(index.row(), index.column())) return QBrush(QColor(255, 0, 0));
      return {};
    case Qt::TextAlignmentRole:
      return index.column() == rcFileName ? QVariant(Qt::AlignLeft | Qt::AlignVCenter)
                                          : QVariant(Qt::AlignRight | Qt::AlignVCenter);
    case Qt::ToolTipRole:
      return index.column() == rcFileName ? QVariant(FRows[static_cast<size_t>(index.row())].Name) : QVariant();
    default: return {};
  }
}

QVariant TReportTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation == Qt::Vertical) {
    if (role == Qt::DisplayRole) return section + 1;
    return {};
  }
  if (section < 0 || section >= rcColumnCount) return {};
  if (role == Qt::DisplayRole) {
    QString title = ColumnTitleTwoLines(section);
    if (FMarks[static_cast<size_t>(section)] == TSortMark::Descending) title += QString::fromUtf8(" \u25BC");
    if (FMarks[static_cast<size_t>(section)] == TSortMark::Ascending) title += QString::fromUtf8(" \u25B2");
    return title;
  }
  if (role == Qt::ToolTipRole) return ColumnTitle(section);
  return {};
}

Qt::ItemFlags TReportTableModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

void TReportTableModel::AppendRow(const TCountResult& result, bool showPath) {
  TRow row;
  row.Name = Utf8(showPath ? result.Path + result.FileName : result.FileName);
  if (row.Name.size() > MaxFileNameLength) row.Name.truncate(MaxFileNameLength);
  row.Red = row.Name.startsWith(QLatin1String(FileOpenErrorPrefix.data(), FileOpenErrorPrefix.size()));
  row.Counts = {result.Nominal, result.SourceCode, result.Comment, result.Blank, result.Mixed, result.Total};
  if (FTotalsActive) {
    for (size_t i = 0; i < FSums.size(); ++i) FSums[i] += row.Counts[i];
    if (FRepaint) emit FooterChanged();
  }
  // A new row stands at the end whatever the order was: the marks go.
  const bool marked = std::any_of(FMarks.begin(), FMarks.end(), [](TSortMark m) { return m != TSortMark::None; });
  FMarks.fill(TSortMark::None);
  if (marked) emit headerDataChanged(Qt::Horizontal, 0, rcColumnCount - 1);
  if (!FRepaint) {
    FHeld.push_back(std::move(row));
    return;
  }
  const int at = rowCount();
  beginInsertRows(QModelIndex(), at, at);
  FRows.push_back(std::move(row));
  endInsertRows();
}

void TReportTableModel::Flush() {
  if (FHeld.empty()) return;
  const int first = rowCount();
  beginInsertRows(QModelIndex(), first, first + static_cast<int>(FHeld.size()) - 1);
  FRows.insert(FRows.end(), std::make_move_iterator(FHeld.begin()), std::make_move_iterator(FHeld.end()));
  FHeld.clear();
  endInsertRows();
}

void TReportTableModel::Clear() {
  beginResetModel();
  FRows.clear();
  FHeld.clear();
  FSums.fill(0);
  endResetModel();
  emit FooterChanged();
}

void TReportTableModel::SetTotalsActive(bool active) {
  FTotalsActive = active;
  if (active) {
    RecomputeSums();
  } else {
    FSums.fill(0);
  }
  emit FooterChanged();
}

void TReportTableModel::SetRowRepaint(bool repaint) {
  FRepaint = repaint;
  if (repaint) Flush();
}

void TReportTableModel::RecomputeSums() {
  FSums.fill(0);
  for (const auto* rows : {&FRows, &FHeld})
    for (const TRow& r : *rows)
      for (size_t i = 0; i < FSums.size(); ++i) FSums[i] += r.Counts[i];
}

void TReportTableModel::UpdateTotals() {
  SetTotalsActive(true);
  const int64_t total = FSums[ciTotal];
  for (int c = 0; c < rcColumnCount; ++c) {
    const int of = PercentOf(c);
    if (of < 0) continue;
    if (total == 0) {
      FPercentFooters[static_cast<size_t>(c)] = "0 %";
      continue;
    }
    std::string text;
    AppendPercent(text, FSums[static_cast<size_t>(CountIndex(of))], total, FDecimal);
    FPercentFooters[static_cast<size_t>(c)] = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
  }
  emit FooterChanged();
}

int64_t TReportTableModel::Sum(int column) const {
  const int i = CountIndex(column);
  return i < 0 ? 0 : FSums[static_cast<size_t>(i)];
}

QString TReportTableModel::FooterText(int column) const {
  if (column == rcFileName)
    return QString::fromLatin1(TotalCaption.data(), static_cast<qsizetype>(TotalCaption.size()));
  if (CountIndex(column) >= 0) return QString::number(Sum(column));
  return FPercentFooters.at(static_cast<size_t>(column));
}

void TReportTableModel::ClickTitle(int column) {
  if (column < 0 || column >= rcColumnCount) return;
  const TSortMark next =
      FMarks[static_cast<size_t>(column)] == TSortMark::Descending ? TSortMark::Ascending : TSortMark::Descending;
  FMarks.fill(TSortMark::None);
  FMarks[static_cast<size_t>(column)] = next;
  emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
  const bool descending = next == TSortMark::Descending;
  const int count = CountIndex(column);
  const int of = PercentOf(column);
  auto before = [&](const TRow& a, const TRow& b) {
    if (column == rcFileName) {
      const int c = a.Name.compare(b.Name, Qt::CaseSensitive);
      return descending ? c > 0 : c < 0;
    }
    if (count >= 0) {
      const int64_t x = a.Counts[static_cast<size_t>(count)], y = b.Counts[static_cast<size_t>(count)];
      return descending ? x > y : x < y;
    }
    // Percentages by value: part / total, 0 without lines, compared exactly.
    const size_t p = static_cast<size_t>(CountIndex(of));
    const int64_t at = a.Counts[ciTotal], bt = b.Counts[ciTotal];
    const long double x = at == 0 ? 0 : static_cast<long double>(a.Counts[p]) / static_cast<long double>(at);
    const long double y = bt == 0 ? 0 : static_cast<long double>(b.Counts[p]) / static_cast<long double>(bt);
    return descending ? x > y : x < y;
  };
  // Persistent indexes (the selection) follow their rows.
  const QModelIndexList persistent = persistentIndexList();
  std::vector<int> order(FRows.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
  std::stable_sort(order.begin(), order.end(),
                   [&](int a, int b) { return before(FRows[static_cast<size_t>(a)], FRows[static_cast<size_t>(b)]); });
  std::vector<TRow> sorted;
  sorted.reserve(FRows.size());
  std::vector<int> newPlace(FRows.size());
  for (size_t i = 0; i < order.size(); ++i) {
    newPlace[static_cast<size_t>(order[i])] = static_cast<int>(i);
    sorted.push_back(std::move(FRows[static_cast<size_t>(order[i])]));
  }
  FRows = std::move(sorted);
  QModelIndexList moved;
  moved.reserve(persistent.size());
  for (const QModelIndex& i : persistent) moved.push_back(index(newPlace[static_cast<size_t>(i.row())], i.column()));
  changePersistentIndexList(persistent, moved);
  emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
  emit headerDataChanged(Qt::Horizontal, 0, rcColumnCount - 1);
}

QMimeData* TReportTableModel::MimeForBlock(const std::vector<int>& rows, const std::vector<int>& columns) const {
  // Every form is written in one pass over the cells: a block of the whole
  // report has close to a million of them.
  QString plain, csv, grid = "qrmt-grid 1\n";
  QString rtf = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fswiss Arial;}}\\f0\\fs16\n";
  const qsizetype estimate = static_cast<qsizetype>((rows.size() + 2) * (columns.size() * 10 + 60));
  plain.reserve(estimate);
  csv.reserve(estimate + estimate / 4);
  grid.reserve(estimate);
  rtf.reserve(estimate * 2);
  QString rowDef = "\\trowd\\trgaph60";
  int edge = 0;
  for (int c : columns) {
    edge += ReportDesignWidths[static_cast<size_t>(c)] * 15;  // pixels to twips
    rowDef += QString("\\cellx%1").arg(edge);
  }
  const size_t lines = rows.size() + 2;  // titles, rows, footer
  for (size_t i = 0; i < lines; ++i) {
    const bool bold = i == 0 || i + 1 == lines;
    if (i > 0) csv += "\r\n";
    rtf += rowDef;
    for (size_t k = 0; k < columns.size(); ++k) {
      const int c = columns[k];
      const QString cell = i == 0 ? ColumnTitle(c) : i + 1 == lines ? FooterText(c) : CellText(rows[i - 1], c);
      if (k > 0) {
        plain += '\t';
        csv += ',';
        grid += '\t';
      }
      plain += cell;
      csv += CsvQuoted(cell);
      grid += GridCell(cell);
      rtf += bold ? "\\pard\\intbl\\b " : "\\pard\\intbl ";
      rtf += RtfEscaped(cell);
      rtf += bold ? "\\b0\\cell" : "\\cell";
    }
    plain += '\n';
    grid += '\n';
    rtf += "\\row\n";
  }
  rtf += "}";
  auto* mime = new QMimeData;
  mime->setText(plain);
  mime->setData("text/csv", csv.toUtf8());
  const QByteArray rtfBytes = rtf.toLatin1();
  mime->setData("text/rtf", rtfBytes);
  mime->setData("application/rtf", rtfBytes);
  mime->setData(GridMimeType, grid.toUtf8());
  return mime;
}

TReportFooterModel::TReportFooterModel(TReportTableModel* report, QObject* parent)
    : QAbstractTableModel(parent), FReport(report) {
  connect(report, &TReportTableModel::FooterChanged, this,
          [this] { emit dataChanged(index(0, 0), index(0, rcColumnCount - 1)); });
}

int TReportFooterModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : 1;
}

int TReportFooterModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : rcColumnCount;
}

QVariant TReportFooterModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  switch (role) {
    case Qt::DisplayRole: return FReport->FooterText(index.column());
    case Qt::TextAlignmentRole: return QVariant(Qt::AlignRight | Qt::AlignVCenter);
    case Qt::FontRole: {
      QFont bold;
      bold.setBold(true);
      return bold;
    }
    case Qt::BackgroundRole: return QGuiApplication::palette().brush(QPalette::ToolTipBase);
    case Qt::ForegroundRole: return QGuiApplication::palette().brush(QPalette::ToolTipText);
    default: return {};
  }
}

QVariant TReportFooterModel::headerData(int, Qt::Orientation, int) const {
  return {};
}

}  // namespace qrmt
