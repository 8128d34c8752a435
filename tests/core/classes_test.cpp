#include <gtest/gtest.h>

#include <fstream>

#include "common/test_formats.h"
#include "core/qrmt_classes.h"
#include "core/qrmt_const.h"

using namespace qrmt;
using qrmt::test::FindTitle;

namespace {

TFileType ReadType(const std::string& text) {
  TFileType t;
  t.ReadFromText(text);
  return t;
}

}  // namespace

TEST(DefinitionText, WritesTheCFormatAsOneLine) {
  TFileTypeList list;
  LoadDefaultFileTypes(list);
  const TFileType* c = FindTitle(list, "C");
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->WriteToText(),
            "<filetype title=\"C\" enabled=\"True\"> <extensions> <extension value=\"*.c\" enabled=\"True\" />"
            "<extension value=\"*.h\" enabled=\"True\" /> </extensions> <comments> <comment type=\"0\" "
            "start=\"//\" stop=\"\" fixedcol=\"0\" /><comment type=\"1\" start=\"/*\" stop=\"*/\" fixedcol=\"0\" "
            "/> </comments> </filetype>");
}

TEST(DefinitionText, EmptyListsWriteTwoSpacesBetweenTags) {
  TFileType t;
  EXPECT_EQ(t.WriteToText(),
            "<filetype title=\"\" enabled=\"False\"> <extensions>  </extensions> <comments>  </comments> </filetype>");
}

TEST(DefinitionText, RoundTripKeepsEverythingInOrder) {
  TFileType t;
  t.Title = " Odd title ";
  t.Enabled = false;
  for (auto [value, enabled] : {std::pair{"*.b", false}, {"*.a", true}, {"*.b", true}}) {
    auto* e = t.Extensions.Add();
    e->Value = value;
    e->Enabled = enabled;
  }
  for (auto [type, start, stop, col] : {std::tuple{0, "C\t", "", 1}, {1, "(*", "*)", 0}, {7, "x", "y", 65535}}) {
    auto* c = t.Comments.Add();
    c->CommentType = static_cast<uint8_t>(type);
    c->StartSymbol = start;
    c->StopSymbol = stop;
    c->FixedCol = static_cast<uint16_t>(col);
  }
  TFileType back = ReadType(t.WriteToText());
  EXPECT_EQ(back.WriteToText(), t.WriteToText());
  EXPECT_EQ(back.Title, " Odd title ");
  EXPECT_FALSE(back.Enabled);
  ASSERT_EQ(back.Extensions.Count(), 3);
  EXPECT_EQ(back.Extensions[0].Value, "*.b");
  EXPECT_FALSE(back.Extensions[0].Enabled);
  ASSERT_EQ(back.Comments.Count(), 3);
  EXPECT_EQ(back.Comments[0].StartSymbol, "C\t");
  EXPECT_EQ(back.Comments[2].CommentType, 7);
  EXPECT_EQ(back.Comments[2].FixedCol, 65535);
}

TEST(DefinitionText, QuoteInValueEndsIt) {
  TFileType t = ReadType(
      "<filetype title=\"Q\" enabled=\"True\"> <extensions>  </extensions> <comments> "
      "<comment type=\"0\" start=\"\"\" stop=\"\" fixedcol=\"0\" /> </comments> </filetype>");
  ASSERT_EQ(t.Comments.Count(), 1);
  EXPECT_EQ(t.Comments[0].StartSymbol, "");
}

TEST(DefinitionText, SlashGreaterInSymbolCutsTheElementAndInsertsAnExtraDelimiter) {
  TFileType original;
  original.Title = "T";
  for (auto start : {"a/>b", "//"}) {
    auto* c = original.Comments.Add();
    c->CommentType = 1;
    c->StartSymbol = start;
    c->StopSymbol = "z";
  }
  TFileType once = ReadType(original.WriteToText());
  ASSERT_EQ(once.Comments.Count(), 3);
  EXPECT_EQ(once.Comments[0].CommentType, 1);
  EXPECT_EQ(once.Comments[0].StartSymbol, "");  // the value had no closing quote before "/>"
  EXPECT_EQ(once.Comments[0].StopSymbol, "");
  EXPECT_EQ(once.Comments[1].CommentType, 0);  // the leftover text becomes an empty delimiter
  EXPECT_EQ(once.Comments[1].StartSymbol, "");
  EXPECT_EQ(once.Comments[2].StartSymbol, "//");
  // Saved again, it reads back unchanged.
  TFileType twice = ReadType(once.WriteToText());
  EXPECT_EQ(twice.WriteToText(), once.WriteToText());
}

TEST(DefinitionText, FormatWithoutEnabledTakesTheFirstMasksFlag) {
  EXPECT_FALSE(ReadType("<filetype title=\"A\"> <extensions> <extension value=\"*.a\" enabled=\"False\" /> "
                        "</extensions> </filetype>")
                   .Enabled);
  EXPECT_TRUE(ReadType("<filetype title=\"A\"> <extensions> <extension value=\"*.a\" enabled=\"1\" /> "
                       "</extensions> </filetype>")
                  .Enabled);
  TFileType none =
      ReadType("<filetype title=\"A\"> <extensions> <extension value=\"*.a\" /> </extensions> </filetype>");
  EXPECT_FALSE(none.Enabled);
  ASSERT_EQ(none.Extensions.Count(), 1);
  EXPECT_TRUE(none.Extensions[0].Enabled);  // a mask without the flag is enabled
}

TEST(DefinitionText, AttributeNamesIgnoreCaseTagsDoNot) {
  TFileType t = ReadType(
      "<filetype TITLE=\"X\" Enabled=\"tRuE\"> <EXTENSIONS> <extension value=\"*.x\" /> "
      "</EXTENSIONS> <comments> <comment TYPE=\"1\" Start=\"{\" STOP=\"}\" /> </comments> </filetype>");
  EXPECT_EQ(t.Title, "X");
  EXPECT_TRUE(t.Enabled);
  EXPECT_EQ(t.Extensions.Count(), 0);
  ASSERT_EQ(t.Comments.Count(), 1);
  EXPECT_EQ(t.Comments[0].CommentType, 1);
  EXPECT_EQ(t.Comments[0].StopSymbol, "}");
}

TEST(DefinitionText, EmptyAndMissingParts) {
  TFileType empty = ReadType("");
  EXPECT_EQ(empty.Title, "");
  EXPECT_FALSE(empty.Enabled);
  EXPECT_EQ(empty.Extensions.Count(), 0);
  EXPECT_EQ(empty.Comments.Count(), 0);

  TFileType typeless = ReadType("<comments> <comment start=\"#\" /> </comments>");
  ASSERT_EQ(typeless.Comments.Count(), 1);
  EXPECT_EQ(typeless.Comments[0].CommentType, 0);  // no type: single-line
}

TEST(DefinitionText, NumbersKeepTheirLowBits) {
  struct Case {
    const char* type;
    const char* col;
    int wantType;
    int wantCol;
  } cases[] = {
      {"-1", "65537", 255, 1}, {"256", "-1", 0, 65535}, {"x", "", 0, 0}, {"+3", "7", 3, 7}, {"99999999999", "1", 0, 1},
  };
  for (const auto& c : cases) {
    TComment k;
    k.ReadFromText(std::string("<comment type=\"") + c.type + "\" start=\"a\" fixedcol=\"" + c.col + "\" />");
    EXPECT_EQ(k.CommentType, c.wantType) << c.type;
    EXPECT_EQ(k.FixedCol, c.wantCol) << c.col;
  }
}

TEST(DefinitionText, GetAttributeSearchesAcrossElementBoundaries) {
  EXPECT_EQ(GetAttribute("value", "<a title=\"x value=\"inner\" y\" />"), "inner");
  EXPECT_EQ(GetAttribute("stop", "<comment start=\"a\" />"), "");
  EXPECT_EQ(GetAttribute("start", "<comment start=\"unterminated"), "");
}

TEST(DefinitionText, MissingOpeningTagStartsTheSectionAtTheTagLength) {
  // Without "<comments>", the section starts at the 10th character.
  TFileType t = ReadType("123456789<comment type=\"0\" start=\"#\" /></comments>");
  ASSERT_EQ(t.Comments.Count(), 1);
  EXPECT_EQ(t.Comments[0].StartSymbol, "#");
  TFileType cut = ReadType("1234567890<comment type=\"0\" start=\"#\" /></comments>");
  // Starting at "0<comment": still finds the element.
  ASSERT_EQ(cut.Comments.Count(), 1);
  // A closing tag before the opening one gives an empty section.
  EXPECT_EQ(ReadType("</extensions><extensions><extension value=\"*.a\" />").Extensions.Count(), 0);
}

TEST(FileExtension, RuleTable) {
  struct Case {
    const char* name;
    const char* ext;
  } cases[] = {
      {"Unit1.pas", ".pas"}, {"*.pas", ".pas"}, {"*.*", ".*"},          {"makefile", ""}, {"archive.tar.gz", ".gz"},
      {"dir.d/file", ""},    {"a/b.c", ".c"},   {".bashrc", ".bashrc"}, {"x.", "."},
  };
  for (const auto& c : cases) EXPECT_EQ(ExtractFileExt(c.name), c.ext) << c.name;
  EXPECT_EQ(ExtractFilePath("src/lib/a.c"), "src/lib/");
  EXPECT_EQ(ExtractFileName("src/lib/a.c"), "a.c");
  EXPECT_EQ(ExtractFilePath("a.c"), "");
}

TEST(FileExtension, ADelimiterAfterTheLastDotGivesNoExtension) {
#ifdef _WIN32
  const std::string delimiters = "\\:";
  const std::string others = "/";
#else
  const std::string delimiters = "/";
  const std::string others = "\\:";
#endif
  for (char d : delimiters) {
    SCOPED_TRACE(std::string(1, d));
    const std::string name = std::string("x.d") + d + "file";
    EXPECT_EQ(ExtractFileExt(name), "");
    EXPECT_EQ(ExtractFileExt(std::string("x.d") + d + "f.c"), ".c");
    EXPECT_EQ(ExtractFilePath(name), std::string("x.d") + d);
    EXPECT_EQ(ExtractFileName(name), "file");
  }
  // Any other character after the dot belongs to the extension.
  for (char o : others) {
    SCOPED_TRACE(std::string(1, o));
    EXPECT_EQ(ExtractFileExt(std::string("x.d") + o + "file"), std::string(".d") + o + "file");
    EXPECT_EQ(ExtractFilePath(std::string("x.d") + o + "file"), "");
  }
  for (int c = 1; c < 256; ++c) {
    const bool listed = delimiters.find(static_cast<char>(c)) != std::string::npos;
    EXPECT_EQ(IsPathDelimiter(static_cast<char>(c)), listed) << c;
  }
}

namespace {

// The fixture's symbol text: "\t" stands for a tab character.
std::string Unescape(std::string s) {
  for (size_t p; (p = s.find("\\t")) != std::string::npos;) s.replace(p, 2, "\t");
  return s;
}

std::vector<std::string> Split(const std::string& s, char sep) {
  std::vector<std::string> parts;
  if (s.empty()) return parts;
  size_t start = 0;
  for (size_t p; (p = s.find(sep, start)) != std::string::npos; start = p + 1)
    parts.push_back(s.substr(start, p - start));
  parts.push_back(s.substr(start));
  return parts;
}

}  // namespace

TEST(DefaultFormats, AllFortyOneMatchTheTable) {
  std::ifstream in(QRMT_FIXTURES "/default-formats.txt");
  ASSERT_TRUE(in) << "missing fixture default-formats.txt";
  std::vector<std::vector<std::string>> rows;
  for (std::string line; std::getline(in, line);)
    if (!line.empty() && line[0] != '#') rows.push_back(Split(line, '\t'));
  ASSERT_EQ(rows.size(), 41u);

  TFileTypeList list;
  LoadDefaultFileTypes(list);
  ASSERT_EQ(list.Count(), 41);
  for (int i = 0; i < 41; ++i) {
    const auto& row = rows[static_cast<size_t>(i)];
    ASSERT_EQ(row.size(), 3u) << i;
    const TFileType& t = list[i];
    SCOPED_TRACE(row[0]);
    EXPECT_EQ(t.Title, row[0]);
    EXPECT_TRUE(t.Enabled);
    const auto masks = Split(row[1], '|');
    ASSERT_EQ(t.Extensions.Count(), static_cast<int>(masks.size()));
    for (int m = 0; m < t.Extensions.Count(); ++m) {
      EXPECT_EQ(t.Extensions[m].Value, masks[static_cast<size_t>(m)]);
      EXPECT_TRUE(t.Extensions[m].Enabled);
    }
    const auto delimiters = Split(row[2], '|');
    ASSERT_EQ(t.Comments.Count(), static_cast<int>(delimiters.size()));
    for (int d = 0; d < t.Comments.Count(); ++d) {
      const auto f = Split(delimiters[static_cast<size_t>(d)], ',');
      ASSERT_EQ(f.size(), 4u);
      const TComment& c = t.Comments[d];
      EXPECT_EQ(c.CommentType, std::stoi(f[0])) << d;
      EXPECT_EQ(c.StartSymbol, Unescape(f[1])) << d;
      EXPECT_EQ(c.StopSymbol, Unescape(f[2])) << d;
      EXPECT_EQ(c.FixedCol, std::stoi(f[3])) << d;
    }
  }
}

TEST(FindCommentList, LookupTable) {
  TFileTypeList list;
  LoadDefaultFileTypes(list);
  struct Case {
    const char* file;
    const char* title;  // nullptr: none
  } cases[] = {
      {"x.h", "C"},           {"x.inc", "INC"},
      {"Readme", "Makefile"}, {"Makefile", "Makefile"},
      {"Unit1.PAS", nullptr}, {"Unit1.pas", "Delphi/Pascal"},
      {"a.tar.gz", nullptr},  {"q.php", "PHP"},
  };
  for (const auto& c : cases) {
    const TCommentList* found = FindCommentList(list, ExtractFileExt(c.file));
    if (c.title == nullptr) {
      EXPECT_EQ(found, nullptr) << c.file;
    } else {
      EXPECT_EQ(found, &FindTitle(list, c.title)->Comments) << c.file;
    }
  }
  EXPECT_EQ(FindTitle(list, "INC")->Comments.Count(), 0);
}

TEST(FindCommentList, EnabledFlagsPlayNoPartAndEarlierFormatWins) {
  TFileTypeList list;
  auto* a = list.Add();
  a->Title = "A";
  a->Enabled = false;
  auto* m = a->Extensions.Add();
  m->Value = "Unit1.pas";  // only the extension counts
  m->Enabled = false;
  auto* b = list.Add();
  b->Title = "B";
  b->Extensions.Add()->Value = "*.pas";
  EXPECT_EQ(FindCommentList(list, ".pas"), &a->Comments);
  EXPECT_EQ(FindCommentList(list, ".PAS"), nullptr);
  auto* star = b->Extensions.Add();
  star->Value = "*.?";
  EXPECT_EQ(FindCommentList(list, ".c"), nullptr);  // wildcards after the dot are literal
  EXPECT_EQ(FindCommentList(list, ".?"), &b->Comments);
  TFileTypeList empty;
  EXPECT_EQ(FindCommentList(empty, ".c"), nullptr);
}

TEST(CommentTypeNames, SingleThenMultistring) {
  EXPECT_EQ(CommentTypeNames(), (std::vector<std::string>{"single", "multistring"}));
}

TEST(SelectionFilter, Table) {
  TFileTypeList list;
  LoadDefaultFileTypes(list);
  auto* extra = list.Add();
  extra->Title = "Extra";
  extra->Enabled = true;
  for (auto v : {"*.PAS", "*.zip", "Unit1.qq"}) {
    auto* e = extra->Extensions.Add();
    e->Value = v;
    e->Enabled = true;
  }
  auto* off = list.Add();
  off->Title = "Off";
  off->Enabled = false;
  auto* offMask = off->Extensions.Add();
  offMask->Value = "*.off";
  offMask->Enabled = true;

  struct Case {
    const char* file;
    bool zip;
    bool admitted;
  } cases[] = {
      {"src/UNIT1.PAS", true, true},  // the file's extension is lowered
      {"src/x.Pas", true, true},     {"Makefile", true, true},       {"MAKEFILE", true, true},
      {"makefile.am", true, false},  {"dir/other.qq", true, true},   {"a.zip", true, true},
      {"a.zip", false, false},       {"a.off", true, false},         {"a.unknown", true, false},
      {"lib/README", true, false},   {"lib.d/makefile", true, true},
  };
  for (const auto& c : cases) EXPECT_EQ(MatchesFilter(list, c.file, c.zip), c.admitted) << c.file;

  // A mask written with capitals after the dot admits nothing.
  TFileTypeList upper;
  auto* u = upper.Add();
  u->Enabled = true;
  auto* ue = u->Extensions.Add();
  ue->Value = "*.PAS";
  ue->Enabled = true;
  EXPECT_FALSE(MatchesFilter(upper, "UNIT1.PAS", true));
  ue->Enabled = false;
  ue->Value = "*.pas";
  EXPECT_FALSE(MatchesFilter(upper, "unit1.pas", true));
}

TEST(DefinitionText, AMalformedTextIsReadInOnePass) {
  // "extension" over and over with no "/>": each round takes the first two
  // characters as an element and drops one, for as long as the word occurs
  // in what is left, that is 9k - 8 rounds for k words. Read with one
  // search per round this took minutes.
  constexpr int k = 7000;
  std::string text = "<filetype title=\"Big\"><extensions>";
  for (int i = 0; i < k; ++i) text += "extension";
  text += "</extensions><comments><comment type=\"0\" start=\"#\" stop=\"\" fixedcol=\"0\" /></comments></filetype>";
  const TFileType t = ReadType(text);
  EXPECT_EQ(t.Title, "Big");
  ASSERT_EQ(t.Extensions.Count(), 9 * k - 8);
  EXPECT_EQ(t.Extensions[0].Value, "");
  ASSERT_EQ(t.Comments.Count(), 1);
  EXPECT_EQ(t.Comments[0].StartSymbol, "#");

  // Elements that end far apart, with the word only at the very end.
  std::string sparse = "<extensions>";
  for (int i = 0; i < 20000; ++i) sparse += "/>";
  sparse += "<extension value=\"*.x\" enabled=\"True\" /></extensions>";
  const TFileType s = ReadType(sparse);
  ASSERT_EQ(s.Extensions.Count(), 20001);
  EXPECT_EQ(s.Extensions[20000].Value, "*.x");
}
