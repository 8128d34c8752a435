// The export dialog: nine formats, and three ways of writing one: a new
// file with a timestamp name in the Reports folder, an existing file, or a
// file chosen in a save dialog.
#pragma once

#include <QDialog>
#include <QString>
#include <array>

#include "components/qrmt_export.h"

class QComboBox;
class QPushButton;
class QRadioButton;

namespace qrmt {

struct TExportFormatInfo {
  const char* Caption;
  const char* Extension;
  const char* Filter;
  bool OffersAdd;
};
inline constexpr int ExportFormatCount = 9;
extern const std::array<TExportFormatInfo, ExportFormatCount> ExportFormats;

class TfrmExportReport : public QDialog {
  Q_OBJECT

 public:
  explicit TfrmExportReport(QWidget* parent = nullptr);

  void SetReportsFolder(const QString& folder) { FReportsFolder = folder; }
  void SetGrid(const TExportGrid& grid) {
    FGrid = grid;
    FWordGrid = grid;
  }
  // The Word export takes the selected rows when there are some.
  void SetWordGrid(const TExportGrid& grid) { FWordGrid = grid; }
  // The format of the last export written; -1 before one.
  int ExportedFormat() const { return FExported; }
  // Checks the radio button of `index` when there is one.
  bool CheckFormat(int index);
  int CheckedFormat() const;
  // Writes the grid in format `index` by `mode`; true when written.
  bool RunExport(TExportMode mode, int index);
  // Told while a long export runs: 0 to 100.
  TExportProgress Progress;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void FormatClick(int index);
  void ExportFormatChange();
  void Write(TExportMode mode, int index, const QString& file);

  QString FReportsFolder;
  TExportGrid FGrid;
  TExportGrid FWordGrid;
  int FExported = -1;
  std::array<QRadioButton*, ExportFormatCount> FButtons{};
  QComboBox* FFormat;
  QPushButton* FExisting;
};

}  // namespace qrmt
