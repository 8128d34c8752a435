#include "qrmt_checkcombo.h"

#include <QAbstractItemView>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QStandardItemModel>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QStyledItemDelegate>

namespace qrmt {

TCheckComboBox::TCheckComboBox(QWidget* parent) : QComboBox(parent), FModel(new QStandardItemModel(this)) {
  setModel(FModel);
  // The plain delegate draws the check boxes in the open list.
  setItemDelegate(new QStyledItemDelegate(this));
  setMaxVisibleItems(10);
  setPlaceholderText("<none>");
  setToolTip("Right-click to Select/Deselect all");
  setCurrentIndex(-1);
  view()->viewport()->installEventFilter(this);
  // Choosing an item's text in the open list makes it current.
  connect(this, qOverload<int>(&QComboBox::activated), this, [this](int) { emit Changed(); });
}

int TCheckComboBox::AddItem(const QString& text, bool checked) {
  auto* item = new QStandardItem(text);
  item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
  item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
  const int current = currentIndex();
  FModel->appendRow(item);
  // Adding never makes an item current by itself.
  if (currentIndex() != current) setCurrentIndex(current);
  return FModel->rowCount() - 1;
}

void TCheckComboBox::RemoveItem(int index) {
  if (index < 0 || index >= count()) return;
  const QSignalBlocker quiet(this);
  FModel->removeRow(index);
  setCurrentIndex(-1);
}

void TCheckComboBox::ClearItems() {
  const QSignalBlocker quiet(this);
  FModel->clear();
  setCurrentIndex(-1);
}

void TCheckComboBox::SetItemText(int index, const QString& text) {
  if (QStandardItem* item = FModel->item(index)) item->setText(text);
  update();
}

bool TCheckComboBox::Checked(int index) const {
  const QStandardItem* item = FModel->item(index);
  return item && item->checkState() == Qt::Checked;
}

void TCheckComboBox::SetChecked(int index, bool checked) {
  QStandardItem* item = FModel->item(index);
  if (!item) return;
  item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
  setCurrentIndex(index);
  update();
  emit Changed();
}

void TCheckComboBox::SetCurrent(int index) {
  if (index < 0 || index >= count()) {
    setCurrentIndex(-1);
    return;
  }
  setCurrentIndex(index);
  emit Changed();
}

void TCheckComboBox::SelectAll(bool checked) {
  for (int i = 0; i < count(); ++i)
    if (Checked(i) != checked) SetChecked(i, checked);
}

void TCheckComboBox::showPopup() {
  FOpen = true;
  QComboBox::showPopup();
}

void TCheckComboBox::hidePopup() {
  QComboBox::hidePopup();
  if (!FOpen) return;
  FOpen = false;
  emit CloseUp();
}

QRect TCheckComboBox::CheckRect() const {
  QStyleOptionComboBox combo;
  initStyleOption(&combo);
  const QRect field = style()->subControlRect(QStyle::CC_ComboBox, &combo, QStyle::SC_ComboBoxEditField, this);
  QStyleOptionButton box;
  box.rect = field;
  const QRect indicator = style()->subElementRect(QStyle::SE_CheckBoxIndicator, &box, this);
  return QRect(field.left() + 2, field.center().y() - indicator.height() / 2, indicator.width(), indicator.height());
}

void TCheckComboBox::paintEvent(QPaintEvent*) {
  QStylePainter painter(this);
  QStyleOptionComboBox combo;
  initStyleOption(&combo);
  combo.currentText.clear();
  combo.currentIcon = {};
  painter.drawComplexControl(QStyle::CC_ComboBox, combo);
  const QRect field = style()->subControlRect(QStyle::CC_ComboBox, &combo, QStyle::SC_ComboBoxEditField, this);
  QRect text = field;
  if (currentIndex() >= 0) {
    QStyleOptionButton box;
    box.initFrom(this);
    box.rect = CheckRect();
    box.state |= Checked(currentIndex()) ? QStyle::State_On : QStyle::State_Off;
    painter.drawPrimitive(QStyle::PE_IndicatorCheckBox, box);
    text.setLeft(box.rect.right() + 5);
  }
  const QString shown = currentIndex() >= 0 ? currentText() : placeholderText();
  painter.drawText(text, Qt::AlignLeft | Qt::AlignVCenter,
                   fontMetrics().elidedText(shown, Qt::ElideRight, text.width()));
}

void TCheckComboBox::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && currentIndex() >= 0 &&
      CheckRect().adjusted(-2, -2, 2, 2).contains(event->position().toPoint())) {
    SetChecked(currentIndex(), !Checked(currentIndex()));
    event->accept();
    return;
  }
  QComboBox::mousePressEvent(event);
}

void TCheckComboBox::keyPressEvent(QKeyEvent* event) {
  // Space toggles the current item, as on a check box.
  if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier && currentIndex() >= 0) {
    SetChecked(currentIndex(), !Checked(currentIndex()));
    return;
  }
  QComboBox::keyPressEvent(event);
}

void TCheckComboBox::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(this);
  menu.setObjectName("ppmCheckCombo");
  QAction* all = menu.addAction("&Select All");
  all->setObjectName("SelectAll");
  QAction* none = menu.addAction("&Deselect All");
  none->setObjectName("DeselectAll");
  connect(all, &QAction::triggered, this, [this] { SelectAll(true); });
  connect(none, &QAction::triggered, this, [this] { SelectAll(false); });
  menu.exec(event->globalPos());
}

bool TCheckComboBox::eventFilter(QObject* watched, QEvent* event) {
  // A click on an item's check box in the open list toggles it and keeps
  // the list open; a click on the text chooses the item.
  if (watched == view()->viewport() &&
      (event->type() == QEvent::MouseButtonRelease || event->type() == QEvent::MouseButtonPress)) {
    auto* mouse = static_cast<QMouseEvent*>(event);
    const QModelIndex index = view()->indexAt(mouse->position().toPoint());
    if (index.isValid()) {
      QStyleOptionViewItem option;
      option.initFrom(view());
      option.rect = view()->visualRect(index);
      option.features |= QStyleOptionViewItem::HasCheckIndicator;
      const QRect check = view()->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, view());
      if (check.adjusted(-3, -3, 3, 3).contains(mouse->position().toPoint())) {
        if (event->type() == QEvent::MouseButtonRelease) SetChecked(index.row(), !Checked(index.row()));
        return true;
      }
    }
  }
  return QComboBox::eventFilter(watched, event);
}

}  // namespace qrmt
