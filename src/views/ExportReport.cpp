#include "ExportReport.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QUrl>
#include <QVBoxLayout>
#include <cstring>

#include "app/qrmt_global.h"
#include "app/qrmt_platform.h"

namespace qrmt {

const std::array<TExportFormatInfo, ExportFormatCount> ExportFormats = {{
    {"Word Document (.docx)", ".docx", "Word Document (*.docx)", true},
    {"Excel Workbook (.xlsx)", ".xlsx", "Excel Workbook (*.xlsx)", true},
    {"HTML", ".html", "HTML pages (*.html)", false},
    {"Text", ".txt", "Text Files (*.txt)", true},
    {"Rich Text Format", ".rtf", "Rich Text Format (*.rtf)", false},
    {"Comma-Separated Text", ".csv", "Comma-separated files (*.csv)", true},
    {"Tab-Separated Text", ".csv", "Comma-separated files (*.csv)", true},
    {"PDF", ".pdf", "Adobe Acrobat (*.pdf)", false},
    {"XML", ".xml", "XML Document (*.xml)", false},
}};

namespace {

// A 16 by 16 mark of each format: its colour and letter, the same on
// every desktop.
QIcon FormatIcon(int index) {
  static const struct {
    QColor Colour;
    const char* Mark;
  } marks[] = {{QColor(0x2b, 0x57, 0x9a), "W"},      {QColor(0x21, 0x73, 0x46), "X"}, {QColor(0xe3, 0x4c, 0x26), "H"},
               {QColor(0x60, 0x60, 0x60), "T"},      {QColor(0x7a, 0x3e, 0x9d), "R"}, {QColor(0x00, 0x80, 0x80), ","},
               {QColor(0x00, 0x60, 0x90), "\u21E5"}, {QColor(0xc0, 0x10, 0x10), "P"}, {QColor(0x8a, 0x5a, 0x00), "<>"}};
  QIcon icon;
  for (int size : {16, 32}) {
    QPixmap picture(size, size);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(marks[index].Colour);
    painter.setPen(Qt::NoPen);
    painter.drawRoundedRect(QRectF(0.5, 0.5, size - 1, size - 1), size / 5.0, size / 5.0);
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(std::strlen(marks[index].Mark) > 1 && marks[index].Mark[0] == '<' ? size * 9 / 16
                                                                                        : size * 11 / 16);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(picture.rect(), Qt::AlignCenter, QString::fromUtf8(marks[index].Mark));
    icon.addPixmap(picture);
  }
  return icon;
}

const std::string& AppTitle() {
  static const std::string fallback = "Kestrune Quorimeter";
  return Global ? Global->Title : fallback;
}

}  // namespace

TfrmExportReport::TfrmExportReport(QWidget* parent) : QDialog(parent) {
  setObjectName("frmExportReport");
  setWindowTitle("Export Report");
  setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  auto* label = new QLabel("Export format", this);
  auto* formats = new QVBoxLayout;
  formats->addWidget(label);
  FFormat = new QComboBox(this);
  FFormat->setObjectName("ExportFormat");
  FFormat->hide();
  for (int i = 0; i < ExportFormatCount; ++i) {
    FFormat->addItem(i == 8 ? "XML Document" : ExportFormats[static_cast<size_t>(i)].Caption);
    auto* b = new QRadioButton(ExportFormats[static_cast<size_t>(i)].Caption, this);
    b->setObjectName(QString("rb%1").arg(i));
    b->setIcon(FormatIcon(i));
    b->setIconSize(QSize(16, 16));
    connect(b, &QRadioButton::clicked, this, [this, i] { FormatClick(i); });
    formats->addWidget(b);
    FButtons[static_cast<size_t>(i)] = b;
  }
  formats->addStretch(1);
  auto* create = new QPushButton("Create New File", this);
  create->setObjectName("btnNew");
  create->setDefault(true);
  FExisting = new QPushButton("Add to Existing File", this);
  FExisting->setObjectName("btnExisting");
  auto* save = new QPushButton("Save to File", this);
  save->setObjectName("btnSaveToFile");
  auto* cancel = new QPushButton("Cancel", this);
  cancel->setObjectName("btnCancel");
  connect(create, &QPushButton::clicked, this, [this] { RunExport(emCreateNew, FFormat->currentIndex()); });
  connect(FExisting, &QPushButton::clicked, this, [this] { RunExport(emAddToExisting, FFormat->currentIndex()); });
  connect(save, &QPushButton::clicked, this, [this] { RunExport(emSaveToFile, FFormat->currentIndex()); });
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  auto* buttons = new QVBoxLayout;
  buttons->addWidget(create);
  buttons->addWidget(FExisting);
  buttons->addWidget(save);
  buttons->addStretch(1);
  buttons->addWidget(cancel);
  auto* layout = new QHBoxLayout(this);
  layout->addLayout(formats, 1);
  layout->addSpacing(12);
  layout->addLayout(buttons);
  FFormat->setCurrentIndex(0);
}

bool TfrmExportReport::CheckFormat(int index) {
  if (index < 0 || index >= ExportFormatCount) return false;
  FButtons[static_cast<size_t>(index)]->setChecked(true);
  FormatClick(index);
  return true;
}

int TfrmExportReport::CheckedFormat() const {
  for (int i = 0; i < ExportFormatCount; ++i)
    if (FButtons[static_cast<size_t>(i)]->isChecked()) return i;
  return 0;
}

void TfrmExportReport::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  ExportFormatChange();
  FButtons[static_cast<size_t>(std::clamp(FFormat->currentIndex(), 0, ExportFormatCount - 1))]->setChecked(true);
}

void TfrmExportReport::FormatClick(int index) {
  FFormat->setCurrentIndex(index);
  ExportFormatChange();
}

void TfrmExportReport::ExportFormatChange() {
  const int i = FFormat->currentIndex();
  FExisting->setEnabled(i >= 0 && ExportFormats[static_cast<size_t>(i)].OffersAdd);
}

void TfrmExportReport::Write(TExportMode mode, int index, const QString& file) {
  WriteExport(index, mode, index == efWord ? FWordGrid : FGrid, file, Progress);
}

bool TfrmExportReport::RunExport(TExportMode mode, int index) {
  if (index < 0 || index >= ExportFormatCount) return false;
  const TExportFormatInfo& format = ExportFormats[static_cast<size_t>(index)];
  QString file;
  switch (mode) {
    case emCreateNew: file = QDir(FReportsFolder).filePath(TimestampFileName(format.Extension)); break;
    case emAddToExisting:
      file = QString::fromStdString(
          Dialogs().OpenFileName("Add to Existing File", FReportsFolder.toStdString(), format.Filter));
      break;
    case emSaveToFile: {
      const QString chosen =
          QString::fromStdString(Dialogs().SaveFileName("Save to File", FReportsFolder.toStdString(), format.Filter));
      if (chosen.isEmpty()) break;
      const QFileInfo info(chosen);
      file = info.dir().filePath(info.completeBaseName() + format.Extension);
      // The old file goes only once the new one is complete: the writers
      // rename over it. A folder of that name is refused by the writer.
      if (QFileInfo(file).isFile() && Dialogs().MessageBox("File is exists. Overwrite them?", AppTitle(),
                                                           TMsgIcon::Question, TMsgButtons::YesNo) != mrYes)
        file.clear();
      break;
    }
  }
  if (file.isEmpty()) return false;
  try {
    Write(mode, index, file);
  } catch (const std::exception& e) {
    Dialogs().MessageBox(e.what(), AppTitle(), TMsgIcon::Error, TMsgButtons::OK);
    return false;  // the dialog stays open for another try
  }
  FExported = index;
  // Nothing holds the result open: it is shown, except a file saved away.
  if (mode != emSaveToFile) OpenUrl(QUrl::fromLocalFile(QFileInfo(file).absoluteFilePath()).toString().toStdString());
  accept();
  return true;
}

}  // namespace qrmt
