// The count queue grid's table: one row per queued file with its name,
// size and date, an index of the full names for the duplicate check, the
// header's sort cycle, and the removal of rows. Knows nothing of the
// application state.
#pragma once

#include <QAbstractTableModel>
#include <string>
#include <unordered_set>
#include <vector>

#include "core/qrmt_classes.h"

namespace qrmt {

class TCountQueueModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum TColumn { cqFileName, cqSize, cqModified, cqColumnCount };

  explicit TCountQueueModel(QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  Qt::DropActions supportedDropActions() const override;

  // Rows, the ones not yet shown included.
  int Count() const { return static_cast<int>(FRows.Count()); }
  // Whether a row names exactly this file (letter case significant).
  bool Contains(const std::string& fullName) const { return FNames.count(fullName) != 0; }
  // Appends a row; it reaches the grid at the next Flush, so that a long
  // add does not redraw after every file.
  void Append(std::unique_ptr<TCountQueueItem> item);
  void Flush();
  // Removes the given rows (any order, duplicates allowed).
  void RemoveRows(std::vector<int> rows);
  void Clear();
  // All rows in display order.
  const TCountQueue& Rows() const { return FRows; }
  const TCountQueueItem& Item(int row) const { return FRows[row]; }

  // A click on column `column`'s header: another column sorts ascending,
  // the sort column again reverses. The rows are sorted once, now.
  void HeaderClick(int column);
  int SortColumn() const { return FSortColumn; }
  Qt::SortOrder SortOrder() const { return FOrder; }
  // <0, 0, >0 comparing two rows under `column`.
  static int CompareRows(const TCountQueueItem& a, const TCountQueueItem& b, int column);

 private:
  class TRows : public TCountQueue {
   public:
    using TOwningList::Raw;
  };
  TRows FRows;
  int FShown = 0;  // rows the grid knows of
  std::unordered_set<std::string> FNames;
  int FSortColumn = -1;
  Qt::SortOrder FOrder = Qt::AscendingOrder;
};

}  // namespace qrmt
