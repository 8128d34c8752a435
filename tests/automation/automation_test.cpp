#include <gtest/gtest.h>

#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusPendingCallWatcher>
#include <QDBusReply>
#include <QDBusVariant>
#include <QProcess>
#include <QTest>
#include <optional>
#include <pugixml.hpp>

#include "app/app_fixture.h"
#include "automation/qrmt_automation.h"

using namespace qrmt;
using namespace qrmt::test;

namespace {

// A private session bus for each test, a server connection and a client's.
class AutomationTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    QProcess daemon;
    daemon.start("dbus-daemon", {"--session", "--fork", "--print-address=1", "--print-pid=1"});
    ASSERT_TRUE(daemon.waitForFinished(10000)) << "dbus-daemon (package dbus) is needed";
    const QStringList out = QString::fromUtf8(daemon.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(out.size(), 2);
    address_ = out[0];
    pid_ = out[1].toLongLong();
    g = std::make_unique<TqrmtGlobal>();
    server = std::make_unique<TQRMTApplication>(QDBusConnection::connectToBus(address_, "qrmt-server"));
  }
  void TearDown() override {
    server.reset();
    QDBusConnection::disconnectFromBus("qrmt-server");
    QDBusConnection::disconnectFromBus("qrmt-client");
    QDBusConnection::disconnectFromBus("qrmt-other");
    if (pid_ > 0) ::kill(static_cast<pid_t>(pid_), SIGTERM);
    g.reset();
    AppTest::TearDown();
  }
  QDBusConnection Client(const char* name = "qrmt-client") const {
    return QDBusConnection::connectToBus(address_, name);
  }
  // Calls `method` as a client does and waits for the answer.
  QDBusMessage Call(const QString& method, const QList<QVariant>& args, const char* client = "qrmt-client") {
    QDBusMessage call = QDBusMessage::createMethodCall(AutomationService, AutomationPath, AutomationInterface, method);
    call.setArguments(args);
    QDBusPendingCall pending = Client(client).asyncCall(call, 10000);
    EXPECT_TRUE(QTest::qWaitFor([&] { return pending.isFinished(); }, 10000)) << method.toStdString();
    return pending.reply();
  }

  QString address_;
  qint64 pid_ = 0;
  std::unique_ptr<TqrmtGlobal> g;
  std::unique_ptr<TQRMTApplication> server;
};

QVariant V(const QVariant& inner) {
  return QVariant::fromValue(QDBusVariant(inner));
}

}  // namespace

TEST_F(AutomationTest, EveryMethodTellsTheUserThenAnswersWithEmptyOutputs) {
  ASSERT_TRUE(server->Register(true));
  EXPECT_TRUE(server->NameOwned());
  const struct {
    const char* method;
    QList<QVariant> args;
    int outs;
  } calls[] = {
      {"getError", {}, 0},
      {"setOption", {201, V(true)}, 0},
      {"addFile", {QString("/etc/passwd")}, 0},
      {"addFolder", {QString("/src"), QString("*.c")}, 0},
      {"getResults", {}, 1},
      {"getResultsCount", {}, 1},
      {"getResultLine", {3}, 1},
      {"getResultValue", {1, 2}, 1},
      {"getOption", {101}, 1},
      {"countFiles", {}, 0},
      {"loadSettingsFrom", {QString("x.settings")}, 0},
      {"setFileFilter", {QString("C"), QString("*.c"), false}, 0},
      {"Show", {}, 0},
      {"Hide", {}, 0},
      {"saveSettingsTo", {QString("y.settings")}, 0},
  };
  const auto before = g->Settings;
  for (const auto& c : calls) {
    const size_t shown = Dialogs.Shown.size();
    const QDBusMessage reply = Call(c.method, c.args);
    ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << c.method << " " << reply.errorMessage().toStdString();
    ASSERT_EQ(Dialogs.Shown.size(), shown + 1) << c.method;
    EXPECT_EQ(Dialogs.Shown.back().Text, "This operation does not support in this version");
    EXPECT_EQ(Dialogs.Shown.back().Caption, "Kestrune Quorimeter");
    EXPECT_EQ(Dialogs.Shown.back().Icon, TMsgIcon::Information);
    ASSERT_EQ(reply.arguments().size(), c.outs) << c.method;
    for (const QVariant& out : reply.arguments())
      EXPECT_EQ(qvariant_cast<QDBusVariant>(out).variant(), QVariant(QString())) << c.method;
  }
  // Nothing was read or changed.
  EXPECT_EQ(g->Settings, before);
  // A call of another shape is refused without a box.
  const size_t shown = Dialogs.Shown.size();
  const QDBusMessage wrong = Call("addFile", {42});
  EXPECT_EQ(wrong.type(), QDBusMessage::ErrorMessage);
  EXPECT_EQ(wrong.errorName(), "org.freedesktop.DBus.Error.InvalidArgs");
  EXPECT_EQ(Dialogs.Shown.size(), shown);
}

TEST_F(AutomationTest, IntrospectionHoldsTheFifteenMethodsAndTheEventsInterface) {
  ASSERT_TRUE(server->Register(true));
  QDBusMessage call = QDBusMessage::createMethodCall(AutomationService, AutomationPath,
                                                     "org.freedesktop.DBus.Introspectable", "Introspect");
  // Asked without waiting in place: the server answers on this same thread.
  QDBusPendingCall pending = Client().asyncCall(call, 10000);
  ASSERT_TRUE(QTest::qWaitFor([&] { return pending.isFinished(); }, 10000));
  const QDBusMessage reply = pending.reply();
  ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage);
  const std::string xml = reply.arguments().value(0).toString().toStdString();
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_string(xml.c_str())) << xml;
  pugi::xml_node iface = doc.select_node("//interface[@name='KestruneQRMT.IQRMTApplication']").node();
  ASSERT_TRUE(iface);
  std::vector<std::string> signatures;
  for (pugi::xml_node m : iface.children("method")) {
    std::string s = std::string(m.attribute("name").value()) + "(";
    for (pugi::xml_node a : m.children("arg"))
      s += std::string(a.attribute("direction").value()) + " " + a.attribute("type").value() + " " +
           a.attribute("name").value() + ";";
    s += ")=" + std::string(m.child("annotation").attribute("value").value());
    signatures.push_back(s);
  }
  EXPECT_EQ(signatures, (std::vector<std::string>{
                            "getError()=202",
                            "setOption(in i option;in v value;)=203",
                            "addFile(in s fileName;)=204",
                            "addFolder(in s path;in s mask;)=205",
                            "getResults(out v results;)=206",
                            "getResultsCount(out v count;)=207",
                            "getResultLine(in i line;out v results;)=208",
                            "getResultValue(in i line;in i column;out v value;)=209",
                            "getOption(in i option;out v value;)=210",
                            "countFiles()=211",
                            "loadSettingsFrom(in s fileName;)=212",
                            "setFileFilter(in s filterName;in s extensionName;in b value;)=213",
                            "Show()=201",
                            "Hide()=214",
                            "saveSettingsTo(in s fileName;)=215",
                        }));
  pugi::xml_node events = doc.select_node("//interface[@name='KestruneQRMT.IQRMTApplicationEvents']").node();
  ASSERT_TRUE(events);
  EXPECT_FALSE(events.child("signal"));
  EXPECT_TRUE(iface.select_node("annotation[@name='com.kestrune.Automation.Enum.qrmtReportColumns']"));
}

TEST_F(AutomationTest, ABoxThatWaitsBlocksNeitherTheProgramNorOtherClients) {
  ASSERT_TRUE(server->Register(true));
  // The first client's box stays open until the second client is answered.
  std::optional<QDBusPendingCall> second;
  bool secondDone = false;
  struct TWaiting : TScriptedDialogs {
    std::function<void()> WhileOpen;
    int MessageBox(const std::string& t, const std::string& c, TMsgIcon i, TMsgButtons b) override {
      auto hook = std::exchange(WhileOpen, nullptr);
      if (hook) hook();
      return TScriptedDialogs::MessageBox(t, c, i, b);
    }
  } waiting;
  SetDialogs(&waiting);
  waiting.WhileOpen = [&] {
    QDBusMessage call = QDBusMessage::createMethodCall(AutomationService, AutomationPath, AutomationInterface, "Show");
    second.emplace(Client("qrmt-other").asyncCall(call, 10000));
    secondDone = QTest::qWaitFor([&] { return second->isFinished(); }, 10000);
  };
  const QDBusMessage first = Call("countFiles", {});
  EXPECT_TRUE(secondDone);
  ASSERT_TRUE(second.has_value());
  EXPECT_EQ(second->reply().type(), QDBusMessage::ReplyMessage);
  EXPECT_EQ(first.type(), QDBusMessage::ReplyMessage);
  EXPECT_EQ(waiting.Shown.size(), 2u);
  SetDialogs(&Dialogs);
}

TEST_F(AutomationTest, TheLastClientLeavingIsToldAndASecondCopyRunsWithoutTheName) {
  ASSERT_TRUE(server->Register(true));
  int gone = 0;
  server->LastClientGone = [&] { ++gone; };
  Call("Show", {}, "qrmt-client");
  Call("Hide", {}, "qrmt-other");
  EXPECT_EQ(server->Clients(), 2);
  QDBusConnection::disconnectFromBus("qrmt-client");
  QTest::qWait(200);
  EXPECT_EQ(gone, 0);
  QDBusConnection::disconnectFromBus("qrmt-other");
  EXPECT_TRUE(QTest::qWaitFor([&] { return gone == 1; }, 5000));
  EXPECT_EQ(server->Clients(), 0);
  // Another copy on the same bus: the object, but not the name.
  TQRMTApplication second(QDBusConnection::connectToBus(address_, "qrmt-second"));
  EXPECT_TRUE(second.Register(true));
  EXPECT_FALSE(second.NameOwned());
  QDBusConnection::disconnectFromBus("qrmt-second");
}

TEST_F(AutomationTest, TheActivationFileNamesThisExecutable) {
  ::setenv("XDG_DATA_HOME", Root("data").c_str(), 1);
  QString error;
  ASSERT_TRUE(WriteActivationFile("/opt/q/quorimeter", &error)) << error.toStdString();
  EXPECT_EQ(ActivationFilePath().toStdString(), Root("data") + "/dbus-1/services/KestruneQRMT.QRMTApplication.service");
  EXPECT_EQ(Read(ActivationFilePath().toStdString()),
            "[D-BUS Service]\nName=KestruneQRMT.QRMTApplication\nExec=/opt/q/quorimeter -Automation\n");
  EXPECT_TRUE(RemoveActivationFile(&error));
  EXPECT_FALSE(QFileInfo::exists(ActivationFilePath()));
  EXPECT_TRUE(RemoveActivationFile(&error));  // nothing to remove is no failure
  ::unsetenv("XDG_DATA_HOME");
}

TEST_F(AutomationTest, WithoutABusThereIsNoAutomation) {
  TQRMTApplication lonely(
      QDBusConnection::connectToBus(QString("unix:path=") + QString::fromStdString(Root("no-bus")), "qrmt-nowhere"));
  EXPECT_FALSE(lonely.Register(true));
  EXPECT_FALSE(lonely.NameOwned());
  QDBusConnection::disconnectFromBus("qrmt-nowhere");
}
