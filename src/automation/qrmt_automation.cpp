#include "qrmt_automation.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTimer>
#include <map>

#include "app/qrmt_global.h"
#include "app/qrmt_platform.h"

namespace qrmt {

namespace {

// Each method: its input signature, and how many out VARIANTs it answers.
struct TMethod {
  const char* Signature;
  int Outs;
};

const std::map<QString, TMethod>& Methods() {
  static const std::map<QString, TMethod> methods = {
      {"getError", {"", 0}},
      {"setOption", {"iv", 0}},
      {"addFile", {"s", 0}},
      {"addFolder", {"ss", 0}},
      {"getResults", {"", 1}},
      {"getResultsCount", {"", 1}},
      {"getResultLine", {"i", 1}},
      {"getResultValue", {"ii", 1}},
      {"getOption", {"i", 1}},
      {"countFiles", {"", 0}},
      {"loadSettingsFrom", {"s", 0}},
      {"setFileFilter", {"ssb", 0}},
      {"Show", {"", 0}},
      {"Hide", {"", 0}},
      {"saveSettingsTo", {"s", 0}},
  };
  return methods;
}

}  // namespace

QString TQRMTApplication::InterfaceXml() {
  QFile file(":/qrmt/KestruneQRMT.IQRMTApplication.xml");
  return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

TQRMTApplication::TQRMTApplication(QDBusConnection connection, QObject* parent)
    : QDBusVirtualObject(parent), FConnection(std::move(connection)), FWatcher(new QDBusServiceWatcher(this)) {
  FWatcher->setConnection(FConnection);
  FWatcher->setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
  connect(FWatcher, &QDBusServiceWatcher::serviceUnregistered, this, [this](const QString& name) {
    FWatcher->removeWatchedService(name);
    if (!FClients.remove(name) || !FClients.isEmpty()) return;
    if (LastClientGone) LastClientGone();
  });
}

TQRMTApplication::~TQRMTApplication() {
  FConnection.unregisterObject(AutomationPath);
  if (FNameOwned) FConnection.unregisterService(AutomationService);
}

bool TQRMTApplication::Register(bool ownName) {
  if (!FConnection.isConnected()) return false;
  if (!FConnection.registerVirtualObject(AutomationPath, this)) return false;
  // Another copy may own the name already: this one then runs without it.
  FNameOwned = ownName && FConnection.registerService(AutomationService);
  return true;
}

QString TQRMTApplication::introspect(const QString& path) const {
  if (path != AutomationPath) return {};
  // The interfaces of the description, without its node element.
  const QString xml = InterfaceXml();
  const int begin = xml.indexOf("<interface ");
  const int end = xml.lastIndexOf("</interface>");
  return begin < 0 || end < 0 ? QString() : xml.mid(begin, end + 12 - begin) + "\n";
}

bool TQRMTApplication::handleMessage(const QDBusMessage& message, const QDBusConnection& connection) {
  if (message.type() != QDBusMessage::MethodCallMessage || message.path() != AutomationPath) return false;
  if (!message.interface().isEmpty() && message.interface() != AutomationInterface) return false;
  const auto found = Methods().find(message.member());
  if (found == Methods().end()) return false;  // the bus answers "unknown method"
  if (message.signature() != found->second.Signature) {
    connection.send(message.createErrorReply(QDBusError::InvalidArgs,
                                             QString("%1 takes (%2)").arg(message.member(), found->second.Signature)));
    return true;
  }
  const QString client = message.service();
  if (!client.isEmpty() && !FClients.contains(client)) {
    FClients.insert(client);
    FWatcher->addWatchedService(client);
  }
  // The answer waits for the box; the program and other clients go on, as
  // the box runs its own event loop.
  message.setDelayedReply(true);
  const int outs = found->second.Outs;
  QDBusConnection reply = connection;
  QTimer::singleShot(0, this, [message, reply, outs]() mutable {
    Dialogs().MessageBox(AutomationNotSupported, Global ? Global->Title : std::string("Kestrune Quorimeter"),
                         TMsgIcon::Information, TMsgButtons::OK);
    QList<QVariant> values;
    // An empty VARIANT: on D-Bus, a variant holding an empty text.
    for (int i = 0; i < outs; ++i) values << QVariant::fromValue(QDBusVariant(QString()));
    reply.send(message.createReply(values));
  });
  return true;
}

QString ActivationFilePath() {
  return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
      .filePath(QString("dbus-1/services/%1.service").arg(AutomationService));
}

bool WriteActivationFile(const QString& executable, QString* error) {
  const QString path = ActivationFilePath();
  if (!QDir().mkpath(QFileInfo(path).path())) {
    if (error) *error = QString("cannot make the folder \"%1\"").arg(QFileInfo(path).path());
    return false;
  }
  const QByteArray text = "[D-BUS Service]\nName=" + QByteArray(AutomationService) +
                          "\nExec=" + QFile::encodeName(QFileInfo(executable).absoluteFilePath()) + " -Automation\n";
  QFile old(path);
  if (old.open(QIODevice::ReadOnly) && old.readAll() == text) return true;  // as it is
  QSaveFile out(path);
  if (!out.open(QIODevice::WriteOnly) || out.write(text) != text.size() || !out.commit()) {
    if (error) *error = QString("cannot write \"%1\": %2").arg(path, out.errorString());
    return false;
  }
  return true;
}

bool RemoveActivationFile(QString* error) {
  const QString path = ActivationFilePath();
  if (!QFileInfo::exists(path) || QFile::remove(path)) return true;
  if (error) *error = QString("cannot remove \"%1\"").arg(path);
  return false;
}

}  // namespace qrmt
