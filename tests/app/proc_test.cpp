#include <QLocale>
#include <filesystem>

#include "app/qrmt_messages.h"
#include "app/qrmt_proc.h"
#include "app_fixture.h"

using namespace qrmt;
using namespace qrmt::test;
namespace fs = std::filesystem;

TEST(Proc, FileVersionShapes) {
  struct Case {
    const char* text;
    std::array<uint8_t, 4> want;
  } cases[] = {
      {"1.1.12.30", {1, 1, 12, 30}}, {"7", {0, 0, 0, 7}}, {"1.2", {1, 0, 0, 2}},       {"300.1.2.3", {44, 1, 2, 3}},
      {"a.b.c.d", {0, 0, 0, 0}},     {"", {0, 0, 0, 0}},  {"1.2.3.4.5", {1, 2, 3, 0}}, {"-1.2.3.4", {255, 2, 3, 4}},
  };
  for (const auto& c : cases) EXPECT_EQ(SplitFileVersion(c.text), c.want) << c.text;
}

TEST(Proc, VersionBlockIsFoundInTheExecutable) {
  const std::string self = ExecutablePath();
  EXPECT_EQ(GetVersionInfoValue(self, 3), "1.1.12.30");
  EXPECT_EQ(GetVersionInfoValue(self, 9), "1.1");
  EXPECT_EQ(GetVersionInfoValue(self, 1), "Kestrune Software");
  EXPECT_EQ(GetVersionInfoValue(self, 6), "");  // present and empty
  EXPECT_EQ(GetVersionInfoValue(self, 0), "");
  EXPECT_EQ(GetVersionInfoValue(self, 11), "");
  EXPECT_EQ(ReadFileVersion(self), (std::array<uint8_t, 4>{1, 1, 12, 30}));
  // Files without a version block, or no file at all.
  EXPECT_EQ(GetVersionInfoValue(std::string(QRMT_FIXTURES) + "/tree/main.c", 3), "");
  EXPECT_EQ(ReadFileVersion("/no/such/file"), (std::array<uint8_t, 4>{0, 0, 0, 0}));
}

TEST(Proc, WindowsNames) {
  struct Case {
    int platform, major, minor;
    const char* sp;
    const char* want;
  } cases[] = {
      {0, 3, 10, "", "Win 3.1 with Win32s "},
      {1, 4, 0, "", "Windows 95 "},
      {1, 4, 10, "A", "Windows 98 A"},
      {2, 5, 0, "Service Pack 4", "Microsoft Windows 2000 Service Pack 4"},
      {2, 5, 1, "Service Pack 2", "Microsoft Windows XP Service Pack 2"},
      {2, 5, 2, "", "Microsoft Windows Server 2003 family "},
      {2, 4, 0, "Service Pack 6", "Microsoft Windows NT Service Pack 6"},
      {2, 6, 1, "Service Pack 1", " Service Pack 1"},
      {3, 5, 1, "", " "},
  };
  for (const auto& c : cases) EXPECT_EQ(GetWindowsName(c.platform, c.major, c.minor, c.sp), c.want);
  EXPECT_FALSE(GetWindowsName().empty());
}

TEST(Proc, MailTexts) {
  std::string t = "a b\nc  d\n";
  EncodeMailText(t);
  EXPECT_EQ(t, "a%20b%0Ac%20%20d%0A");

  const std::string mail = BuildSupportMailText("Kestrune Quorimeter", "Version 1.1.12.30",
                                                GetWindowsName(2, 5, 1, "Service Pack 2"), "6.0");
  EXPECT_EQ(mail.rfind("mailto:", 0), 0u);
  EXPECT_NE(mail.find("?subject=Support%20(Kestrune%20Quorimeter%20Version%201.1.12.30)&body=Please%20describe"),
            std::string::npos)
      << mail;
  EXPECT_NE(mail.find("possible.%0A%0A%0A------------------------------------------------%0ASystem%20Information"),
            std::string::npos);
  EXPECT_NE(mail.find("%0AMS%20Windows:%20Microsoft%20Windows%20XP%20Service%20Pack%202%0A"), std::string::npos);
  EXPECT_NE(mail.find("%0AInternet%20Explorer:%20IE%20v.6.0%0A"), std::string::npos);
  EXPECT_EQ(mail.substr(mail.size() - 51), std::string(48, '-') + "%0A");
  EXPECT_EQ(mail.find(' '), std::string::npos);
  EXPECT_EQ(mail.find('\n'), std::string::npos);

  EXPECT_EQ(BuildFeedbackMailText("T", "Version 1"),
            std::string("mailto:") + msg::SupportMailbox + "?subject=Feedback%20(T%20Version%201)");
  EXPECT_EQ(BuildNewsletterMailText(), std::string("mailto:") + msg::NewsletterMailbox + "?subject=Kestrune%20News");
}

TEST(Proc, SmallHelpers) {
  QLocale::setDefault(QLocale::c());
  EXPECT_EQ(FormatKiloBytes(1536), "1.54 kB");
  EXPECT_EQ(FormatKiloBytes(0), "0.00 kB");
  EXPECT_EQ(FormatKiloBytes(5000000000LL), "5000000.00 kB");
  QLocale::setDefault(QLocale(QLocale::German));
  EXPECT_EQ(FormatKiloBytes(1536), "1,54 kB");
  QLocale::setDefault(QLocale::c());

  EXPECT_TRUE(SameExtension("dir/UNIT1.PAS", ".pas"));
  EXPECT_FALSE(SameExtension("unit1.pas", ".PAS"));
  EXPECT_FALSE(SameExtension("makefile", ".pas"));

  std::vector<std::string> parts{"old"};
  EXPECT_EQ(SplitText(parts, ";", "a;b;"), 3);
  EXPECT_EQ(parts, (std::vector<std::string>{"a", "b", ""}));
  EXPECT_EQ(SplitText(parts, ";", ""), 1);
  EXPECT_EQ(parts, (std::vector<std::string>{""}));
  EXPECT_EQ(SplitText(parts, "::", "x::y"), 2);
  EXPECT_EQ(parts, (std::vector<std::string>{"x", "y"}));

  EXPECT_EQ(MovedLogName("09.12.2026 01:59:30"), "09.12.2026 01-59-30.log");
  EXPECT_EQ(MovedLogName("12/9/2026 1:59:30 AM"), "12-9-2026 1-59-30 --.log");

  EXPECT_EQ(SendMessage(0, 1025, 0, 0), 0);
  EXPECT_EQ(SendMessage(999999, 1025, 0, 0), 0);
}

class ProcFiles : public AppTest {};

TEST_F(ProcFiles, TempFilesAndClearFolder) {
  const std::string folder = Root("tmp/a/b/ksqrmt/");
  const std::string first = CreateTempFileIn(folder);
  const std::string second = CreateTempFileIn(folder);
  ASSERT_FALSE(first.empty());
  EXPECT_NE(first, second);
  EXPECT_EQ(fs::path(first).parent_path(), fs::path(folder).parent_path());
  EXPECT_EQ(fs::path(first).filename().string().rfind("tmp", 0), 0u);
  EXPECT_EQ(fs::file_size(first), 0u);

  Write("tmp/a/b/ksqrmt/sub/deeper/x.txt", "x");
  Write("tmp/a/b/ksqrmt/.hidden", "h");
  EXPECT_TRUE(ClearFolder(folder));
  EXPECT_TRUE(fs::exists(folder));
  EXPECT_TRUE(fs::is_empty(folder));
  EXPECT_TRUE(ClearFolder(Root("tmp/none/")));
  // A folder that cannot be made gives an empty name.
  Write("tmp/file", "x");
  EXPECT_EQ(CreateTempFileIn(Root("tmp/file/sub")), "");
}

TEST_F(ProcFiles, WriteLogIsSwitchedByTheRegistry) {
  SetLogFolder(Program());
  const std::string log = Program("error.log");
  WriteLog("first");
  EXPECT_EQ(registry::ReadInteger("DebugLog"), 1);
  EXPECT_FALSE(fs::exists(log));  // the first call only switches it on
  WriteLog("second");
  WriteLog("third");
  EXPECT_EQ(Read(log), "second\r\nthird\r\n");

  registry::WriteInteger("DebugLog", 0);
  fs::remove(log);
  WriteLog("off");
  EXPECT_FALSE(fs::exists(log));
  registry::WriteInteger("DebugLog", 1);

  // Exactly 65536 bytes stay; one more byte moves the log aside first.
  Write("program/error.log", std::string(65536, 'x'));
  WriteLog("a");
  EXPECT_EQ(fs::file_size(log), 65536u + 3);
  WriteLog("b");
  EXPECT_EQ(Read(log), "b\r\n");
  int aside = 0;
  for (const auto& e : fs::directory_iterator(Program())) {
    const std::string name = e.path().filename().string();
    if (name != "error.log" && e.path().extension() == ".log") {
      ++aside;
      EXPECT_EQ(fs::file_size(e.path()), 65536u + 3) << name;
      EXPECT_EQ(name.find_first_not_of("0123456789 .-"), name.size() - 3) << name;  // the "l" of ".log"
    }
  }
  EXPECT_EQ(aside, 1);
  EXPECT_TRUE(Dialogs.Shown.empty());

  // A log that cannot be written shows its text instead.
  fs::remove(log);
  fs::create_directory(log);
  WriteLog("cannot be written");
  ASSERT_EQ(Dialogs.Shown.size(), 1u);
  EXPECT_EQ(Dialogs.Shown[0].Text, "cannot be written");
  EXPECT_EQ(Dialogs.Shown[0].Caption, "Kestrune Quorimeter");
  EXPECT_EQ(Dialogs.Shown[0].Icon, TMsgIcon::Error);
  SetLogFolder("");
}
