#include "qrmt_queuegrid.h"

#include <QColor>
#include <algorithm>
#include <cmath>
#include <unordered_map>

namespace qrmt {

namespace {

QString Q(const std::string& s) {
  return QString::fromStdString(s);
}

const char* const Captions[] = {"File Name", "Size", "Modified"};

}  // namespace

TCountQueueModel::TCountQueueModel(QObject* parent) : QAbstractTableModel(parent) {}

int TCountQueueModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : FShown;
}

int TCountQueueModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : cqColumnCount;
}

QVariant TCountQueueModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= FShown) return {};
  const TCountQueueItem& item = FRows[index.row()];
  switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
      switch (index.column()) {
        case cqFileName: return Q(item.Path + item.FileName);
        case cqSize: return Q(item.SizeText);
        case cqModified: return Q(item.DateText);
        default: return {};
      }
    case Qt::TextAlignmentRole:
      return static_cast<int>((index.column() == cqSize ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    case Qt::BackgroundRole:
      if (index.column() == FSortColumn) return QColor(0xF7, 0xF7, 0xF7);
      return {};
    default: return {};
  }
}

QVariant TCountQueueModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= cqColumnCount) return {};
  if (role == Qt::DisplayRole) return QString(Captions[section]);
  if (role == Qt::TextAlignmentRole)
    return static_cast<int>((section == cqSize ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
  return {};
}

Qt::ItemFlags TCountQueueModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::ItemIsDropEnabled;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDropEnabled;
}

Qt::DropActions TCountQueueModel::supportedDropActions() const {
  return Qt::CopyAction | Qt::LinkAction | Qt::MoveAction;
}

void TCountQueueModel::Append(std::unique_ptr<TCountQueueItem> item) {
  FNames.insert(item->Path + item->FileName);
  FRows.Add(std::move(item));
}

void TCountQueueModel::Flush() {
  if (FShown == FRows.Count()) return;
  beginInsertRows({}, FShown, FRows.Count() - 1);
  FShown = FRows.Count();
  endInsertRows();
}

void TCountQueueModel::RemoveRows(std::vector<int> rows) {
  Flush();
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  while (!rows.empty() && rows.back() >= FRows.Count()) rows.pop_back();
  while (!rows.empty() && rows.front() < 0) rows.erase(rows.begin());
  if (rows.empty()) return;
  auto& raw = FRows.Raw();
  // Runs of adjacent rows go in one step each, from the end, so that the
  // grid keeps its place for a few rows and a long queue is not redrawn
  // once per row.
  if (rows.size() <= 64) {
    size_t end = rows.size();
    while (end > 0) {
      size_t begin = end - 1;
      while (begin > 0 && rows[begin - 1] + 1 == rows[begin]) --begin;
      const int first = rows[begin], last = rows[end - 1];
      beginRemoveRows({}, first, last);
      for (int r = first; r <= last; ++r)
        FNames.erase(raw[static_cast<size_t>(r)]->Path + raw[static_cast<size_t>(r)]->FileName);
      raw.erase(raw.begin() + first, raw.begin() + last + 1);
      FShown = FRows.Count();
      endRemoveRows();
      end = begin;
    }
    return;
  }
  beginResetModel();
  std::vector<std::unique_ptr<TCountQueueItem>> kept;
  kept.reserve(raw.size() - rows.size());
  size_t next = 0;
  for (size_t r = 0; r < raw.size(); ++r) {
    if (next < rows.size() && static_cast<size_t>(rows[next]) == r) {
      FNames.erase(raw[r]->Path + raw[r]->FileName);
      ++next;
    } else {
      kept.push_back(std::move(raw[r]));
    }
  }
  raw = std::move(kept);
  FShown = FRows.Count();
  endResetModel();
}

void TCountQueueModel::Clear() {
  beginResetModel();
  FRows.Clear();
  FNames.clear();
  FShown = 0;
  endResetModel();
}

int TCountQueueModel::CompareRows(const TCountQueueItem& a, const TCountQueueItem& b, int column) {
  switch (column) {
    case cqFileName: return CompareTextAscii(a.Path + a.FileName, b.Path + b.FileName);
    case cqSize: return a.Size < b.Size ? -1 : (a.Size > b.Size ? 1 : 0);
    case cqModified: {
      // Whole days apart, truncated: less than a day apart is equal.
      const double days = std::trunc(a.Date - b.Date);
      return days < 0 ? -1 : (days > 0 ? 1 : 0);
    }
    default: return 0;
  }
}

void TCountQueueModel::HeaderClick(int column) {
  if (column < 0 || column >= cqColumnCount) return;
  Flush();
  if (FSortColumn == column) {
    FOrder = FOrder == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
  } else {
    FSortColumn = column;
    FOrder = Qt::AscendingOrder;
  }
  emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
  auto& raw = FRows.Raw();
  // The selection and the focused row move with their rows.
  const QModelIndexList persistent = persistentIndexList();
  std::vector<const TCountQueueItem*> before;
  before.reserve(persistent.size());
  for (const QModelIndex& i : persistent) before.push_back(raw[static_cast<size_t>(i.row())].get());
  const bool up = FOrder == Qt::AscendingOrder;
  // Dates less than a day apart are equal without being transitive; a
  // merge sort stays within bounds under such an order.
  std::stable_sort(raw.begin(), raw.end(), [column, up](const auto& a, const auto& b) {
    const int c = CompareRows(*a, *b, column);
    return up ? c < 0 : c > 0;
  });
  if (!persistent.isEmpty()) {
    std::unordered_map<const TCountQueueItem*, int> where;
    where.reserve(raw.size());
    for (size_t r = 0; r < raw.size(); ++r) where.emplace(raw[r].get(), static_cast<int>(r));
    QModelIndexList after;
    after.reserve(persistent.size());
    for (qsizetype k = 0; k < persistent.size(); ++k)
      after.push_back(index(where[before[static_cast<size_t>(k)]], persistent[k].column()));
    changePersistentIndexList(persistent, after);
  }
  emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
  emit headerDataChanged(Qt::Horizontal, 0, cqColumnCount - 1);
}

}  // namespace qrmt
