#include <gtest/gtest.h>

#include "app/qrmt_global.h"

using namespace qrmt;

TEST(SettingsText, DefaultRecordIsWrittenAsOneRun) {
  const std::string text = BuildSettingsText(DefaultSettings());
  EXPECT_EQ(text.rfind("<Application><mfLeft value=\"-1\" /><mfTop value=\"-1\" /><mfWidth value=\"-1\" />"
                       "<mfHeight value=\"-1\" /><fsFltrTypeIdx value=\"0\" /><appAutoUpdate value=\"True\" />"
                       "</Application><FileSelection>",
                       0),
            0u)
      << text;
  EXPECT_NE(text.find("<FileSelection><ShowFolders value=\"True\" /><ClearCountQueue value=\"False\" />"
                      "<currentFolder value=\"\" /><zipEnabled value=\"True\" /></FileSelection>"),
            std::string::npos);
  EXPECT_NE(text.find("<ReportColumns><FileName value=\"True\" /><Nominal value=\"True\" /><Total value=\"True\" />"),
            std::string::npos);
  EXPECT_NE(text.find("<Balnk value=\"-1\" />"), std::string::npos);
  const std::string tail = "</ReportColumnsWidth></Report><Counting></Counting><>< value=\"0\" /></>";
  EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
  EXPECT_EQ(text.find('\n'), std::string::npos);
}

namespace {

// A record whose every value differs from `base`'s (the keys stay): a
// parser that leaves a field alone cannot pass for one that read it.
TSettings Scrambled(const TSettings& base) {
  TSettings s = base;
  auto flip = [](TSettingsBooleanValue& o) { o.Value = !o.Value; };
  auto bump = [](TSettingsIntegerValue& o) { o.Value = o.Value == 4711 ? 4712 : 4711; };
  auto& a = s.Application;
  for (auto* o : {&a.mfLeft, &a.mfTop, &a.mfWidth, &a.mfHeight, &a.fsFltrTypeIdx}) bump(*o);
  flip(a.appAutoUpdate);
  auto& f = s.FileSelection;
  flip(f.ShowFolders);
  flip(f.ClearCountQueue);
  flip(f.zipEnabled);
  f.currentFolder.Value += "~scrambled";
  auto& r = s.Report;
  flip(r.ShowPath);
  flip(r.ClearBeforeCount);
  for (auto& o : r.ReportColumns.Items) flip(o);
  for (auto& o : r.ReportColumnsWidth.Items) bump(o);
  bump(s.ExportReport.FormatIndex);
  return s;
}

}  // namespace

TEST(SettingsText, RoundTripGivesTheSameRecord) {
  TSettings changed = DefaultSettings();
  changed.Application.mfLeft.Value = -2147483647 - 1;
  changed.Application.appAutoUpdate.Value = false;
  changed.FileSelection.currentFolder.Value = " /home/user/My Projects/ ";
  changed.Report.ReportColumns.Items[7].Value = false;
  changed.Report.ReportColumnsWidth.Items[10].Value = 123;
  changed.ExportReport.FormatIndex.Value = 8;
  for (const TSettings& want : {DefaultSettings(), changed}) {
    TSettings read = Scrambled(want);
    ASSERT_NE(read.Application.mfLeft, want.Application.mfLeft);
    ParseSettingsText(BuildSettingsText(want), read);
    EXPECT_EQ(read, want);
  }
}

TEST(SettingsText, FolderNamesWithMarkupCharactersRoundTrip) {
  // Linux folders may be named so; unescaped, each of these cut the element
  // short and the options after it fell back to their defaults.
  for (const std::string folder : {"/home/u/>tmp/", "/a \"quoted\" b/", "/x/<zipEnabled value=\"True\" />/",
                                   "/x/</FileSelection>/", "/amp & co/&amp;/&lt;/", "/&/&&/&;/"}) {
    SCOPED_TRACE(folder);
    TSettings want = DefaultSettings();
    want.FileSelection.currentFolder.Value = folder;
    want.FileSelection.zipEnabled.Value = false;
    want.Report.ShowPath.Value = false;
    TSettings read = Scrambled(want);
    const std::string text = BuildSettingsText(want);
    ParseSettingsText(text, read);
    EXPECT_EQ(read, want) << text;
    const std::string group = ReadGroup("FileSelection", text);
    EXPECT_EQ(group.find('<', 1 + group.find("currentFolder")), group.find("<zipEnabled"));
  }
}

TEST(SettingsText, TextsWrittenBeforeReadAsTheyDid) {
  // Written without references: an "&" that starts none stays literal.
  const std::string old =
      "<FileSelection><ShowFolders value=\"False\" /><ClearCountQueue value=\"True\" />"
      "<currentFolder value=\"/home/u/R&D/a&b;c/\" /><zipEnabled value=\"False\" /></FileSelection>";
  TSettings s = DefaultSettings();
  ParseSettingsText(old, s);
  EXPECT_EQ(s.FileSelection.currentFolder.Value, "/home/u/R&D/a&b;c/");
  EXPECT_FALSE(s.FileSelection.zipEnabled.Value);
  EXPECT_FALSE(s.FileSelection.ShowFolders.Value);
}

TEST(SettingsText, MissingOptionTakesItsSuccessorsValue) {
  TSettings s = DefaultSettings();
  s.Application.mfLeft.Value = 10;
  s.Application.mfTop.Value = 20;
  s.Application.mfWidth.Value = 30;
  s.Application.mfHeight.Value = 40;
  s.Application.fsFltrTypeIdx.Value = 5;
  s.Application.appAutoUpdate.Value = false;
  std::string text = BuildSettingsText(s);
  const std::string top = "<mfTop value=\"20\" />";
  text.erase(text.find(top), top.size());
  TSettings read = DefaultSettings();
  ParseSettingsText(text, read);
  EXPECT_EQ(read.Application.mfLeft.Value, 10);
  EXPECT_EQ(read.Application.mfTop.Value, 30);
  EXPECT_EQ(read.Application.mfWidth.Value, 40);
  EXPECT_EQ(read.Application.mfHeight.Value, 5);
  EXPECT_EQ(read.Application.fsFltrTypeIdx.Value, 0);              // "False" is no number: default
  EXPECT_TRUE(read.Application.appAutoUpdate.Value);               // nothing left: default
  EXPECT_EQ(read.FileSelection, DefaultSettings().FileSelection);  // other groups unaffected
}

TEST(SettingsText, ValuesOfTheWrongTypeTakeTheDefault) {
  struct Case {
    const char* value;
    bool boolean;     // as read into ShowFolders (default True)
    int32_t integer;  // as read into mfWidth (default -1)
  } cases[] = {
      {"false", false, -1}, {"0", false, 0}, {"FALSE", false, -1},     {"True", true, -1}, {"yes", true, -1},
      {"7", true, 7},       {"", true, -1},  {"2147483648", true, -1}, {"-5", true, -5},   {" 5", true, -1},
  };
  for (const auto& c : cases) {
    TSettings s = DefaultSettings();
    s.Application.mfWidth.Value = 999;  // the value in use is not the fallback
    s.FileSelection.ShowFolders.Value = false;
    std::string text = "<Application><mfLeft value=\"1\" /><mfTop value=\"1\" /><mfWidth value=\"" +
                       std::string(c.value) + "\" /></Application><FileSelection><ShowFolders value=\"" + c.value +
                       "\" /></FileSelection>";
    ParseSettingsText(text, s);
    EXPECT_EQ(s.FileSelection.ShowFolders.Value, c.boolean) << "[" << c.value << "]";
    EXPECT_EQ(s.Application.mfWidth.Value, c.integer) << "[" << c.value << "]";
  }
}

TEST(SettingsText, GroupsAndElementsAreFoundByText) {
  EXPECT_EQ(ReadGroup("A", "x<A>inner</A>y</A>"), "inner");
  EXPECT_EQ(ReadGroup("A", "<A>no closing"), "");
  EXPECT_EQ(ReadGroup("", "<Counting></Counting><>< value=\"3\" /></>"), "< value=\"3\" />");
  std::string rem = "<a value=\"1\" /><b VALUE=\"2\" /><c />";
  EXPECT_EQ(ReadValueElement("a", rem), "1");
  EXPECT_EQ(ReadValueElement("b", rem), "2");  // attribute names in any case
  EXPECT_EQ(ReadValueElement("c", rem), "");
  EXPECT_EQ(rem, "");
  EXPECT_EQ(FormatValueElement("k", "v w"), "<k value=\"v w\" />");

  // Element names come from the record in use.
  TSettings renamed = DefaultSettings();
  renamed.Application.Name = "App";
  renamed.Application.mfLeft.Key = "left";
  renamed.Application.mfLeft.Value = 77;
  const std::string text = BuildSettingsText(renamed);
  EXPECT_NE(text.find("<App><left value=\"77\" />"), std::string::npos);
  TSettings back = renamed;
  back.Application.mfLeft.Value = 0;
  ParseSettingsText(text, back);
  EXPECT_EQ(back.Application.mfLeft.Value, 77);
}

TEST(SettingsText, EmptyTextKeepsEveryDefault) {
  TSettings s = DefaultSettings();
  ParseSettingsText("", s);
  // Strings take what they read, an empty text included.
  EXPECT_EQ(s, DefaultSettings());
}
