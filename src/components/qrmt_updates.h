// The update checker: fetches the update-information file in the
// background and tells whether a newer version exists.
//
// The file is UTF-8 text of "key=value" lines; "version" holds the newest
// version as dot-separated numbers ("1.2.0.5") and "download" the address
// to get it from. Other keys, blank lines and lines starting with "#" are
// passed over.
#pragma once

#include <QNetworkAccessManager>
#include <QObject>
#include <QUrl>

namespace qrmt {

// -1, 0 or 1 as version a is older than, equal to or newer than b, compared
// number by number (1.10 is newer than 1.9); a missing number counts as 0.
int CompareVersions(const QString& a, const QString& b);

class TUpdateChecker : public QObject {
  Q_OBJECT

 public:
  explicit TUpdateChecker(QString currentVersion, QObject* parent = nullptr);

  void SetAddress(const QUrl& address) { FAddress = address; }
  QUrl Address() const { return FAddress; }
  // Starts a check; the answer comes as one of the signals. A check asked
  // while one is running is ignored.
  void Check();
  bool Busy() const { return FBusy; }

 signals:
  void UpdateAvailable(const QString& version, const QUrl& download);
  void NoUpdate();
  // The message names the address and the reason.
  void Failed(const QString& message);

 private:
  void Finished(class QNetworkReply* reply);

  QString FCurrent;
  QUrl FAddress;
  QNetworkAccessManager FNetwork;
  bool FBusy = false;
};

}  // namespace qrmt
