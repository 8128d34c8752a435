// One executable: no arguments opens the desktop program; `quorimeter
// count ...` and `quorimeter formats` work without a display.
#include "views/Main.h"

#include <unistd.h>

#include <QApplication>
#include <QDBusConnection>
#include <QDesktopServices>
#include <QDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QSessionManager>
#include <QSocketNotifier>
#include <QTimer>
#include <QUrl>
#include <csignal>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/qrmt_global.h"
#include "automation/qrmt_automation.h"
#include "cli/qrmt_cli.h"
#include "components/qrmt_dialogs.h"

// The images live in a static library: they are registered by name.
static void InitResources() {
  Q_INIT_RESOURCE(resources);
}

namespace {

int SignalPipe[2] = {-1, -1};
bool EndedBySignal = false;

extern "C" void OnSignal(int) {
  const char byte = 1;
  [[maybe_unused]] ssize_t n = ::write(SignalPipe[1], &byte, 1);
}

// SIGTERM, SIGINT and SIGHUP close the windows through the event loop, so
// the program ends as after Exit: geometry stored, settings saved, the
// temporary folder emptied. A signal during a start-up message closes it,
// and the program ends before its window opens.
void CloseOnSignals(QApplication& app) {
  if (::pipe(SignalPipe) != 0) return;
  auto* notifier = new QSocketNotifier(SignalPipe[0], QSocketNotifier::Read, &app);
  QObject::connect(notifier, &QSocketNotifier::activated, &app, [] {
    char byte;
    [[maybe_unused]] ssize_t n = ::read(SignalPipe[0], &byte, 1);
    EndedBySignal = true;
    qrmt::SetDialogs(nullptr);  // from now on, what is told goes to standard error
    // A message box without a Cancel ignores being closed: end its loop.
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* dialog = qobject_cast<QDialog*>(w); dialog && dialog->isVisible()) dialog->done(QDialog::Rejected);
    QApplication::closeAllWindows();
  });
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  for (int s : {SIGTERM, SIGINT, SIGHUP}) sigaction(s, &sa, nullptr);
}

// The switches of the automation server, after "/" or "-", in any case.
enum class TSwitch { None, Automation, RegServer, UnregServer };

TSwitch ReadSwitch(const std::string& arg) {
  if (arg.size() < 2 || (arg[0] != '/' && arg[0] != '-')) return TSwitch::None;
  QString word = QString::fromStdString(arg.substr(arg[1] == '-' ? 2 : 1)).toUpper();
  if (word == "AUTOMATION" || word == "EMBEDDING") return TSwitch::Automation;
  if (word == "REGSERVER") return TSwitch::RegServer;
  if (word == "UNREGSERVER") return TSwitch::UnregServer;
  return TSwitch::None;
}

// Ends every window, the open dialogs too, as the end of the session does.
void CloseEverything() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* dialog = qobject_cast<QDialog*>(w); dialog && dialog->isVisible()) dialog->done(QDialog::Rejected);
  QApplication::closeAllWindows();
}

// "REGSERVER" and "UNREGSERVER": the activation file written or removed;
// the settings are loaded and saved as at every start and end.
int RunRegistration(int argc, char** argv, TSwitch what) {
  QCoreApplication app(argc, argv);
  auto global = std::make_unique<qrmt::TqrmtGlobal>();
  QString error;
  const bool ok = what == TSwitch::RegServer
                      ? qrmt::WriteActivationFile(QString::fromStdString(qrmt::ExecutablePath()), &error)
                      : qrmt::RemoveActivationFile(&error);
  global.reset();
  if (!ok) {
    std::cerr << "quorimeter: " << error.toStdString() << "\n";
    return 1;
  }
  return 0;
}

int RunDesktop(int argc, char** argv, const QStringList& paths, bool automation) {
  QApplication app(argc, argv);
  InitResources();
  app.setWindowIcon(QIcon(":/qrmt/quorimeter.png"));
  qrmt::TQtDialogs dialogs;
  qrmt::SetDialogs(&dialogs);
  qrmt::SetUrlOpener(
      [](const std::string& url) { return QDesktopServices::openUrl(QUrl(QString::fromStdString(url))); });
  qrmt::SetSoundPlayer(qrmt::PlaySoundFile);
  CloseOnSignals(app);
  int status = 0;
  {
    auto global = std::make_unique<qrmt::TqrmtGlobal>();
    auto window = std::make_unique<qrmt::TKestruneCountQRMT>();
    // The automation object, where there is a session bus. A second copy
    // runs without the service name; the activation file is kept current.
    qrmt::TQRMTApplication server(QDBusConnection::sessionBus());
    if (server.Register(true)) {
      qrmt::WriteActivationFile(QString::fromStdString(qrmt::ExecutablePath()));
      qrmt::TKestruneCountQRMT::AutomationClients = [&server] { return EndedBySignal ? 0 : server.Clients(); };
      // Started for a client: the program ends when the last one leaves.
      if (automation) server.LastClientGone = [] { CloseEverything(); };
    }
    // The desktop session's logout ends the program as Exit does.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, window.get(),
                     [&](QSessionManager&) { window->close(); });
    if (!EndedBySignal) {
      window->show();
      if (!paths.isEmpty()) QTimer::singleShot(0, window.get(), [&] { window->OpenPaths(paths); });
      status = app.exec();
    }
    qrmt::TKestruneCountQRMT::AutomationClients = nullptr;
    window.reset();
    // Nobody may be there to answer a dialog after a signal: what goes
    // wrong in the end is told on standard error then.
    if (EndedBySignal) qrmt::SetDialogs(nullptr);
    global.reset();  // saves the settings and empties the temporary folder
  }
  qrmt::SetDialogs(nullptr);
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  QCoreApplication::setOrganizationName("Kestrune Software");
  QCoreApplication::setApplicationName("Quorimeter");
  std::vector<std::string> args(argv + 1, argv + argc);
  if (!args.empty() && (args[0] == "count" || args[0] == "formats")) {
    // No display needed: a core application gives the program's paths.
    // A PDF is laid out with fonts, which take a GUI application: one on
    // the offscreen platform, so that no display is needed either.
    bool pages = false;
    for (size_t i = 0; i < args.size(); ++i)
      pages =
          pages || args[i] == "--format=pdf" || (args[i] == "--format" && i + 1 < args.size() && args[i + 1] == "pdf");
    if (pages && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // The GUI application's notes on the session (no runtime folder over
    // ssh, say) are not the counter's business.
    if (pages) QLoggingCategory::setFilterRules("*.warning=false");
    std::unique_ptr<QCoreApplication> app =
        pages ? std::make_unique<QGuiApplication>(argc, argv) : std::make_unique<QCoreApplication>(argc, argv);
    const std::string command = args[0];
    args.erase(args.begin());
    qrmt::TCliStreams io{std::cout, std::cerr, isatty(1) != 0, isatty(2) != 0};
    return command == "count" ? qrmt::RunCountCommand(args, io) : qrmt::RunFormatsCommand(args, io);
  }
  if (args.size() == 1 && args[0] == "--version") {
    std::cout << qrmt::ProgramVersionText << "\n";
    return qrmt::ecOk;
  }
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    std::cout << qrmt::ProgramUsage();
    return qrmt::ecOk;
  }
  // The automation server's switches come first.
  bool automation = false;
  for (auto it = args.begin(); it != args.end();) {
    const TSwitch sw = ReadSwitch(*it);
    if (sw == TSwitch::RegServer || sw == TSwitch::UnregServer) return RunRegistration(argc, argv, sw);
    if (sw == TSwitch::Automation) {
      automation = true;
      it = args.erase(it);
    } else {
      ++it;
    }
  }
  if (automation && args.empty()) return RunDesktop(argc, argv, {}, true);
  if (!args.empty() && !args[0].empty() && args[0][0] == '-') {
    std::cerr << "quorimeter: unknown option '" << args[0] << "'\n" << qrmt::ProgramUsage();
    return qrmt::ecUsage;
  }
  // Anything else names files and folders to put into the count queue.
  QStringList paths;
  for (const std::string& a : args) {
    if (!QFileInfo::exists(QString::fromStdString(a))) {
      std::cerr << "quorimeter: '" << a << "' does not exist\n";
      continue;
    }
    paths << QString::fromStdString(a);
  }
  // Nothing to open: a mistyped command, most likely.
  if (!args.empty() && paths.isEmpty()) {
    std::cerr << qrmt::ProgramUsage();
    return qrmt::ecUsage;
  }
  return RunDesktop(argc, argv, paths, automation);
}
