// The automation object on the session bus: service
// KestruneQRMT.QRMTApplication, object /QRMTApplication, the interface of
// resources/KestruneQRMT.IQRMTApplication.xml. Every method tells the user
// that it does nothing in this version and answers after the box is closed.
#pragma once

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QSet>
#include <QString>
#include <functional>

class QDBusServiceWatcher;

namespace qrmt {

inline constexpr const char* AutomationService = "KestruneQRMT.QRMTApplication";
inline constexpr const char* AutomationPath = "/QRMTApplication";
inline constexpr const char* AutomationInterface = "KestruneQRMT.IQRMTApplication";
inline constexpr const char* AutomationNotSupported = "This operation does not support in this version";

class TQRMTApplication : public QDBusVirtualObject {
  Q_OBJECT

 public:
  explicit TQRMTApplication(QDBusConnection connection, QObject* parent = nullptr);
  ~TQRMTApplication() override;

  // Registers the object, and the service name when `ownName`; false when
  // the object could not be registered (no bus). `NameOwned` tells whether
  // the name is ours: a second copy of the program runs without it.
  bool Register(bool ownName);
  bool NameOwned() const { return FNameOwned; }
  // Clients that called us and are still on the bus.
  int Clients() const { return static_cast<int>(FClients.size()); }
  // Called when the last client that called us has left the bus.
  std::function<void()> LastClientGone;

  QString introspect(const QString& path) const override;
  bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

  // The interface description, as the type library would give it.
  static QString InterfaceXml();

 private:
  QDBusConnection FConnection;
  QDBusServiceWatcher* FWatcher;
  QSet<QString> FClients;
  bool FNameOwned = false;
};

// The D-Bus activation file of the service for this user: under
// $XDG_DATA_HOME (or ~/.local/share)/dbus-1/services.
QString ActivationFilePath();
// Writes it with Exec= `executable` -Automation; the reason on failure.
bool WriteActivationFile(const QString& executable, QString* error = nullptr);
bool RemoveActivationFile(QString* error = nullptr);

}  // namespace qrmt
