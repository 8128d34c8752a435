// A drop-down whose items have a check box each: one item is current, the
// closed control shows its check box and text ("<none>" when none is), a
// click on that check box toggles it, and the right-click menu checks or
// unchecks every item.
#pragma once

#include <QComboBox>

class QStandardItemModel;

namespace qrmt {

class TCheckComboBox : public QComboBox {
  Q_OBJECT

 public:
  explicit TCheckComboBox(QWidget* parent = nullptr);

  int AddItem(const QString& text, bool checked);
  void RemoveItem(int index);
  void ClearItems();
  void SetItemText(int index, const QString& text);
  int Count() const { return count(); }
  bool Checked(int index) const;
  // Sets the check; the item becomes current and Changed is raised.
  void SetChecked(int index, bool checked);
  // -1 when no item is current.
  int Current() const { return currentIndex(); }
  // Makes `index` current; a valid index raises Changed, -1 leaves none.
  void SetCurrent(int index);
  void SelectAll(bool checked);

  void showPopup() override;
  void hidePopup() override;

 signals:
  // A check changed or an item was made current.
  void Changed();
  // The open list was closed.
  void CloseUp();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QRect CheckRect() const;
  QStandardItemModel* FModel;
  bool FOpen = false;
};

}  // namespace qrmt
