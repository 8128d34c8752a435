#include "qrmt_updates.h"

#include <QNetworkReply>
#include <QRegularExpression>

namespace qrmt {

namespace {

constexpr int TimeoutMs = 15000;
constexpr qint64 MaxInfoSize = 64 * 1024;  // a few lines; anything larger is not ours

bool IsVersion(const QString& v) {
  static const QRegularExpression form("^[0-9]{1,9}(\\.[0-9]{1,9})*$");
  return form.match(v).hasMatch();
}

}  // namespace

int CompareVersions(const QString& a, const QString& b) {
  const QStringList x = a.split('.'), y = b.split('.');
  for (qsizetype i = 0; i < std::max(x.size(), y.size()); ++i) {
    const qlonglong p = i < x.size() ? x[i].toLongLong() : 0;
    const qlonglong q = i < y.size() ? y[i].toLongLong() : 0;
    if (p != q) return p < q ? -1 : 1;
  }
  return 0;
}

TUpdateChecker::TUpdateChecker(QString currentVersion, QObject* parent)
    : QObject(parent), FCurrent(std::move(currentVersion)) {}

void TUpdateChecker::Check() {
  if (FBusy) return;
  if (!FAddress.isValid() || FAddress.isEmpty()) {
    emit Failed(QString("Cannot check for updates: the address \"%1\" is not valid.").arg(FAddress.toString()));
    return;
  }
  FBusy = true;
  QNetworkRequest request(FAddress);
  request.setTransferTimeout(TimeoutMs);
  request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
  QNetworkReply* reply = FNetwork.get(request);
  connect(reply, &QNetworkReply::finished, this, [this, reply] { Finished(reply); });
}

void TUpdateChecker::Finished(QNetworkReply* reply) {
  reply->deleteLater();
  FBusy = false;
  const QString where = reply->url().toString();
  auto fail = [&](const QString& reason) {
    emit Failed(QString("Cannot check for updates at \"%1\": %2").arg(where, reason));
  };
  if (reply->error() != QNetworkReply::NoError) {
    fail(reply->errorString());
    return;
  }
  const QByteArray bytes = reply->read(MaxInfoSize + 1);
  if (bytes.size() > MaxInfoSize) {
    fail("the update information is too large to be what it should.");
    return;
  }
  QString version, download;
  for (const QString& raw : QString::fromUtf8(bytes).split('\n')) {
    const QString line = raw.trimmed();
    if (line.isEmpty() || line.startsWith('#')) continue;
    const qsizetype eq = line.indexOf('=');
    if (eq <= 0) continue;
    const QString key = line.left(eq).trimmed(), value = line.mid(eq + 1).trimmed();
    if (key == "version") version = value;
    if (key == "download") download = value;
  }
  if (!IsVersion(version)) {
    fail("the update information holds no valid version number.");
    return;
  }
  const QUrl target(download);
  if (CompareVersions(version, FCurrent) > 0) {
    if (!target.isValid() || target.isEmpty()) {
      fail(
          QString("version %1 is available, but the update information gives no valid download address.").arg(version));
      return;
    }
    emit UpdateAvailable(version, target);
  } else {
    emit NoUpdate();
  }
}

}  // namespace qrmt
