#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

#include "common/test_formats.h"
#include "core/qrmt_const.h"
#include "core/qrmt_counter.h"

using namespace qrmt;
namespace fs = std::filesystem;

namespace {

TCommentList MakeComments(std::initializer_list<std::tuple<int, const char*, const char*, int>> items) {
  TCommentList list;
  for (auto [type, start, stop, col] : items) {
    auto* c = list.Add();
    c->CommentType = static_cast<uint8_t>(type);
    c->StartSymbol = start;
    c->StopSymbol = stop;
    c->FixedCol = static_cast<uint16_t>(col);
  }
  return list;
}

const TCommentList& DefaultComments(const std::string& title) {
  static TFileTypeList list = [] {
    TFileTypeList l;
    LoadDefaultFileTypes(l);
    return l;
  }();
  if (const TFileType* t = test::FindTitle(list, title)) return t->Comments;
  throw std::runtime_error("no format " + title);
}

const char* ClassName(TLineClass c) {
  static const char* names[] = {"code", "comment", "mixed", "blank"};
  return names[c];
}

struct Step {
  std::string line;
  TLineClass cls;
  bool inside;
};

// Classifies the lines in order from outside a comment.
void ExpectSequence(const TCommentList& comments, const std::vector<Step>& steps) {
  TFileCounter counter;
  counter.SetComments(&comments);
  for (const Step& s : steps) {
    EXPECT_EQ(ClassName(counter.ClassifyLine(s.line)), std::string(ClassName(s.cls))) << "line: [" << s.line << "]";
    EXPECT_EQ(counter.InComment, s.inside) << "line: [" << s.line << "]";
  }
}

class TempDir {
 public:
  TempDir() {
    path_ = fs::temp_directory_path() / ("qrmt-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter_++));
    fs::create_directories(path_);
  }
  ~TempDir() { fs::remove_all(path_); }
  std::string Write(const std::string& name, const std::string& bytes) const {
    std::string p = (path_ / name).string();
    std::ofstream(p, std::ios::binary) << bytes;
    return p;
  }
  const fs::path& Path() const { return path_; }

 private:
  static inline int counter_ = 0;
  fs::path path_;
};

TCountResult Count(const std::string& file, const TCommentList* comments) {
  TFileCounter counter;
  counter.SetComments(comments);
  counter.SetFileName(file);
  counter.CountFile();
  return counter.CountResult;
}

std::string Counts(const TCountResult& r) {
  return std::to_string(r.Nominal) + " n, " + std::to_string(r.SourceCode) + " code, " + std::to_string(r.Comment) +
         " comment, " + std::to_string(r.Blank) + " blank, " + std::to_string(r.Mixed) + " mixed";
}

}  // namespace

TEST(ClassifyLine, WorkedExamples) {
  TCommentList c = MakeComments({{0, "//", "", 0}, {1, "/*", "*/", 0}});
  ExpectSequence(c, {
                        {"   \t ", lcBlank, false},
                        {"x = 1;", lcCode, false},
                        {"// note", lcComment, false},
                        {"x = 1; // note", lcMixed, false},
                        {"/* note */ x = 1;", lcComment, false},
                        {"x = 1; /* opens", lcMixed, true},
                        {"still a note", lcComment, true},
                        {"", lcBlank, true},  // blank inside a block stays blank
                        {"end */ y = 2;", lcMixed, false},
                        {"/* again", lcComment, true},
                        {"*/ y = 2;", lcComment, false},
                        {"/* opens // here", lcMixed, false},
                        {"s = 'a//b';", lcMixed, false},
                        {"  /* a */ b /* c", lcComment, true},
                        {"x */ /* y */ z", lcMixed, false},
                    });
}

TEST(ClassifyLine, EdgeCases) {
  struct Case {
    const char* format;
    std::vector<Step> steps;
  } cases[] = {
      // Single-line symbols ignore ASCII case; multi-line symbols do not.
      {"Visual Basic/Basic/VB Script",
       {{"REM x", lcComment, false},
        {"rem x", lcComment, false},
        {"a = 1 ' x", lcMixed, false},
        {"a = 1 '", lcCode, false}}},
      {"Delphi/Pascal",
       {{"x := 1; (* a { b *)", lcMixed, true},  // "{" is tried before "(*"
        {"} x := 1;", lcComment, false},
        {"{ open", lcComment, true},
        {"} x := 1; (* note", lcMixed, true},  // awaiting "*)" now
        {"still", lcComment, true},
        {"*)", lcComment, false}}},
      {"Fortran",
       {{"* note", lcComment, false},
        {"   * note", lcComment, false},
        {"x = a * b", lcCode, false},
        {"C note", lcComment, false},
        {"c\tnote", lcComment, false},
        {"CALL X", lcCode, false}}},
      {"Report Program Generator", {{"00010C* note", lcMixed, false}, {"     C* note", lcCode, false}}},
      {"Assembly",
       {{";", lcCode, false}, {";;", lcComment, false}, {"; ", lcComment, false}, {"mov a, b ;", lcCode, false}}},
      // A block opened before a single-line symbol on the same line is not tracked.
      {"C", {{"/* a // b", lcMixed, false}, {"inside?", lcCode, false}}},
      {"C", {{"/*", lcComment, true}, {"/* nested */", lcMixed, false}, {"*/", lcCode, false}}},
      {"Plain text", {{"// anything", lcCode, false}, {"  ", lcBlank, false}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.format);
    ExpectSequence(DefaultComments(c.format), c.steps);
  }
}

TEST(ClassifyLine, InertAndEmptySymbols) {
  // Type 2 and above count nothing; an empty start symbol is never found.
  ExpectSequence(MakeComments({{2, "#", "", 0}, {9, "//", "", 0}, {0, "", "", 0}, {1, "", "x", 0}}),
                 {{"# a", lcCode, false}, {"// b", lcCode, false}});
  // An empty stop symbol never closes.
  ExpectSequence(MakeComments({{1, "<<", "", 0}}),
                 {{"<< open", lcComment, true}, {"code?", lcComment, true}, {"", lcBlank, true}});
  // A fixed column skips a symbol found elsewhere, without looking further.
  ExpectSequence(MakeComments({{0, "*", "", 1}, {0, "!", "", 0}}),
                 {{"a * b ! c", lcMixed, false}, {"a * b * c", lcCode, false}});
}

TEST(ClassifyLine, ManyCommentsOnOneLineNeedNoDeepRecursion) {
  std::string line;
  for (int i = 0; i < 200000; ++i) line += "/*a*/";
  line += "x /* tail";
  TCommentList c = MakeComments({{1, "/*", "*/", 0}});
  TFileCounter counter;
  counter.SetComments(&c);
  EXPECT_EQ(counter.ClassifyLine(line), lcComment);
  EXPECT_TRUE(counter.InComment);
  EXPECT_EQ(counter.ClassifyLine(line), lcMixed);  // text before the first close, reopened at the end
  EXPECT_TRUE(counter.InComment);
}

TEST(CountFile, ReadingTable) {
  TempDir dir;
  const TCommentList& c = DefaultComments("C");
  struct Case {
    const char* name;
    std::string bytes;
    int nominal, code, comment, blank, mixed;
  } cases[] = {
      {"empty", "", 0, 0, 0, 0, 0},
      {"two CRLF", "\r\n\r\n", 2, 0, 0, 2, 0},
      {"no final break", "a\nb", 2, 2, 0, 0, 0},
      {"final break", "a\nb\n", 2, 2, 0, 0, 0},
      {"LF CR is two breaks", "a\n\rb", 3, 2, 0, 1, 0},
      {"CR alone", "a\rb\r", 2, 2, 0, 0, 0},
      {"CR LF LS is one break",
       "a\r\n\xE2\x80\xA8"
       "b",
       2, 2, 0, 0, 0},
      {"LS CR is two", "a\xE2\x80\xA8\rb", 3, 2, 0, 1, 0},
      {"NUL in third line", std::string("a\nb\nc\0d\ne\n", 11), 3, 3, 0, 0, 0},
      {"NUL at a line start", std::string("a\n\0b\n", 5), 1, 1, 0, 0, 0},
      {"NUL first", std::string("\0abc", 4), 0, 0, 0, 0, 0},
      {"UTF-8 BOM", "\xEF\xBB\xBF// x\ny", 2, 1, 1, 0, 0},
      {"UTF-8 BOM only", "\xEF\xBB\xBF", 0, 0, 0, 0, 0},
      {"invalid UTF-8 after BOM", "\xEF\xBB\xBFint a;\n\xFF\xFE // x\n", 2, 1, 0, 0, 1},
      {"invalid UTF-8 without BOM", "\xC3(\n\xE2\x80\n", 2, 2, 0, 0, 0},
      {"four-byte UTF-8", "\xF0\x9F\x98\x80 // smile\n", 1, 0, 0, 0, 1},
      {"truncated sequence at the end", "x\n\xE2\x80", 2, 2, 0, 0, 0},
      {"UTF-16 LE", std::string("\xFF\xFE/\0/\0\n\0x\0", 10), 2, 1, 1, 0, 0},
      {"UTF-16 BE", std::string("\xFE\xFF\0/\0/\0\n\0x", 10), 2, 1, 1, 0, 0},
      {"UTF-16 odd last byte", std::string("\xFF\xFEx\0y", 5), 1, 1, 0, 0, 0},
      {"UTF-16 lone surrogate", std::string("\xFF\xFE\x00\xD8x\0\n\0\x00\xDC", 10), 2, 2, 0, 0, 0},
      {"UTF-16 LS", std::string("\xFF\xFEx\0\x28\x20y\0", 8), 2, 2, 0, 0, 0},
      {"UTF-16 NUL", std::string("\xFF\xFEx\0\0\0y\0", 8), 1, 1, 0, 0, 0},
      {"BOM only FF FE", "\xFF\xFE", 0, 0, 0, 0, 0},
      {"one byte", "x", 1, 1, 0, 0, 0},
  };
  for (const auto& k : cases) {
    TCountResult r = Count(dir.Write("f.c", k.bytes), &c);
    EXPECT_FALSE(r.Failed()) << k.name << ": " << r.Error;
    EXPECT_EQ(Counts(r), Counts({"", "", k.nominal, k.nominal, k.code, k.comment, k.blank, k.mixed, ""})) << k.name;
    EXPECT_EQ(r.Total, r.Nominal) << k.name;
  }
}

TEST(CountFile, UnreadableFileIsReportedNotThrown) {
  TempDir dir;
  std::vector<std::pair<std::string, std::string>> hooked;
  TFileCounter counter;
  counter.SetSoundFile("Sounds/ding.wav");
  counter.SetFailureHook([&](const std::string& m, const std::string& s) { hooked.emplace_back(m, s); });
  const std::string missing = (dir.Path() / "missing.c").string();
  for (const std::string& name : {missing, dir.Path().string() + "/"}) {
    counter.SetFileName(name);
    counter.CountFile();
    const TCountResult& r = counter.CountResult;
    EXPECT_EQ(r.Path, "File open error! " + std::string(ExtractFilePath(name)));
    EXPECT_EQ(Counts(r), Counts(TCountResult()));
    EXPECT_EQ(r.Total, 0);
    EXPECT_NE(r.Error.find(name), std::string::npos) << r.Error;
  }
  ASSERT_EQ(hooked.size(), 2u);
  EXPECT_NE(hooked[0].first.find(std::strerror(ENOENT)), std::string::npos) << hooked[0].first;
  EXPECT_NE(hooked[1].first.find(std::strerror(EISDIR)), std::string::npos) << hooked[1].first;
  EXPECT_EQ(hooked[0].second, "Sounds/ding.wav");

  // The next file starts clean.
  counter.SetFileName(dir.Write("ok.c", "x\n"));
  counter.CountFile();
  EXPECT_EQ(counter.CountResult.Path, dir.Path().string() + "/");
  EXPECT_EQ(counter.CountResult.Nominal, 1);
}

TEST(CountFile, EmptyFileNameGivesAnEmptyResult) {
  TCountResult r = Count("", nullptr);
  EXPECT_EQ(r.Path, "");
  EXPECT_FALSE(r.Failed());
  EXPECT_EQ(r.Nominal, 0);
}

TEST(CountFile, CommentOpenAtEndDoesNotReachTheNextFile) {
  TempDir dir;
  const TCommentList& c = DefaultComments("C");
  TFileCounter counter;
  counter.SetComments(&c);
  counter.SetFileName(dir.Write("a.c", "/* open\n"));
  counter.CountFile();
  counter.SetFileName(dir.Write("b.c", "x;\n"));
  counter.CountFile();
  EXPECT_EQ(counter.CountResult.SourceCode, 1);
}

namespace {

// Text as code points, where a lone surrogate (D800 to DFFF) stays a single
// unit: UTF-16 files keep it as it is, UTF-8 gets its invalid three bytes.
using TCodePoints = std::vector<uint32_t>;

TCodePoints Points(std::string_view ascii) {
  return TCodePoints(ascii.begin(), ascii.end());
}

std::string EncodeUtf8(const TCodePoints& text) {
  std::string out;
  for (uint32_t cp : text) {
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

std::string EncodeUtf16(const TCodePoints& text, bool bigEndian) {
  std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
  auto put = [&](uint32_t u) {
    const char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
    out += bigEndian ? hi : lo;
    out += bigEndian ? lo : hi;
  };
  for (uint32_t cp : text) {
    if (cp >= 0x10000) {
      put(0xD800 + ((cp - 0x10000) >> 10));
      put(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      put(cp);
    }
  }
  return out;
}

// A piece of C text that starts and ends outside a comment, with the counts
// it adds whatever comes before or after it.
struct TUnit {
  TCodePoints Text;
  int Code, Comment, Blank, Mixed;
};

std::vector<TUnit> Units(const TCodePoints& br) {
  auto line = [&](std::string_view ascii) {
    TCodePoints t = Points(ascii);
    t.insert(t.end(), br.begin(), br.end());
    return t;
  };
  auto join = [](std::initializer_list<TCodePoints> parts) {
    TCodePoints t;
    for (const auto& p : parts) t.insert(t.end(), p.begin(), p.end());
    return t;
  };
  return {
      {line("int a = 1;"), 1, 0, 0, 0},
      {line("// note"), 0, 1, 0, 0},
      {join({line("x; /* open"), line("still"), line(""), line("close */ y;")}), 0, 1, 1, 2},
      {line("   \t"), 0, 0, 1, 0},
      {line("/* a */"), 0, 1, 0, 0},
      {join({{0xE9, 't', 0xE9}, line(" // \xC3\xA9")}), 0, 0, 0, 1},
      {join({{0x1F600}, line(" s = \"/*\"; */")}), 0, 0, 0, 1},  // opens and closes on its line
      {join({{0xD800}, line(" // lone high")}), 0, 0, 0, 1},
      {join({{0xDC00}, line("// lone low")}), 0, 0, 0, 1},
      {join({{0xD83D, 'x', 0xDE00}, br}), 1, 0, 0, 0},
  };
}

struct TCounts {
  int64_t Nominal = 0, Code = 0, Comment = 0, Blank = 0, Mixed = 0;
  void Add(const TUnit& u) {
    Code += u.Code;
    Comment += u.Comment;
    Blank += u.Blank;
    Mixed += u.Mixed;
    Nominal += u.Code + u.Comment + u.Blank + u.Mixed;
  }
  std::string Text() const {
    TCountResult r;
    r.Nominal = Nominal;
    r.SourceCode = Code;
    r.Comment = Comment;
    r.Blank = Blank;
    r.Mixed = Mixed;
    return Counts(r);
  }
};

}  // namespace

TEST(CountFile, LargeFilesAddUpToTheirKnownPieces) {
  // Pieces of known counts in random order, with every kind of line break
  // and lines long enough to cross and grow the read buffer: every buffer
  // edge falls somewhere inside a piece, a surrogate pair or a lone one.
  TempDir dir;
  const TCommentList& c = DefaultComments("C");
  const std::vector<TCodePoints> breaks = {{'\n'}, {'\r', '\n'}, {'\r'}, {0x2028}, {'\r', '\n', 0x2028}};
  for (unsigned seed = 1; seed <= 3; ++seed) {
    SCOPED_TRACE(seed);
    std::mt19937 rng(seed);
    TCodePoints text;
    TCounts want;
    auto append = [&](const TUnit& u) {
      text.insert(text.end(), u.Text.begin(), u.Text.end());
      want.Add(u);
    };
    append(Units({'\n'})[0]);  // no byte-order mark by chance
    while (text.size() < 1500000) {
      const auto units = Units(breaks[rng() % breaks.size()]);
      if (rng() % 2000 == 0) {
        TUnit longLine{TCodePoints(100000 + rng() % 200000, 'y'), 1, 0, 0, 0};
        longLine.Text.push_back('\n');
        append(longLine);
      } else {
        append(units[rng() % units.size()]);
      }
    }
    append({Points("last line without a break"), 1, 0, 0, 0});
    ASSERT_GT(want.Nominal, 5000);
    const std::string utf8 = EncodeUtf8(text);
    for (const std::string& bytes : {utf8, "\xEF\xBB\xBF" + utf8, EncodeUtf16(text, false), EncodeUtf16(text, true)}) {
      TCountResult got = Count(dir.Write("big.c", bytes), &c);
      EXPECT_FALSE(got.Failed()) << got.Error;
      EXPECT_EQ(Counts(got), want.Text());
      EXPECT_EQ(got.Total, want.Nominal);
    }
  }
}

TEST(CountFile, SpecialBytesOnEveryBufferEdge) {
  TempDir dir;
  const TCommentList& c = DefaultComments("C");
  constexpr size_t edge = 256 * 1024;  // the first read
  for (size_t at = edge - 8; at <= edge + 3; ++at) {
    SCOPED_TRACE(at);
    const std::string head(at, 'x');
    // CR LF LS is one break, CR LS another.
    EXPECT_EQ(Counts(Count(dir.Write("a.c", head + "\r\n\xE2\x80\xA8// y\r\xE2\x80\xA8z"), &c)),
              "3 n, 2 code, 1 comment, 0 blank, 0 mixed");
    // A NUL ends the text, wherever the buffer ends.
    EXPECT_EQ(Counts(Count(dir.Write("b.c", "a\n" + head + std::string("\0// y\nz\n", 8)), &c)),
              "2 n, 2 code, 0 comment, 0 blank, 0 mixed");
    // Broken sequences become one U+FFFD each and never swallow a break.
    EXPECT_EQ(Counts(Count(dir.Write("c.c", head + "\xE2\x80// y\n\xF0\x9F\n/* z */\n"), &c)),
              "3 n, 1 code, 1 comment, 0 blank, 1 mixed");
  }
  // UTF-16 units are read 64 KiB at a time: a lone surrogate, a pair and an
  // odd length around that edge.
  for (size_t units = 32 * 1024 - 4; units <= 32 * 1024 + 2; ++units) {
    SCOPED_TRACE(units);
    TCodePoints head(units, 'x');
    for (const TCodePoints& tail :
         {TCodePoints{0xD800, '/', '/', '\n', '/', '/'}, TCodePoints{0x1F600, '/', '/', '\n', '/', '/'}}) {
      TCodePoints text = head;
      text.insert(text.end(), tail.begin(), tail.end());
      for (bool be : {false, true}) {
        EXPECT_EQ(Counts(Count(dir.Write("d.c", EncodeUtf16(text, be)), &c)),
                  "2 n, 0 code, 1 comment, 0 blank, 1 mixed");
        EXPECT_EQ(Counts(Count(dir.Write("e.c", EncodeUtf16(text, be) + "/"), &c)),  // an odd last byte is dropped
                  "2 n, 0 code, 1 comment, 0 blank, 1 mixed");
      }
    }
  }
}

TEST(CountFile, ReadErrorPartWayCountsAsUnread) {
  // The first read succeeds and its lines are classified; the second fails.
  TempDir dir;
  const TCommentList& c = DefaultComments("C");
  std::string text;
  while (text.size() < 600 * 1024) text += "x; // y\n";
  for (const std::string& bytes : {text, EncodeUtf16(Points(text), false)}) {
    const std::string file = dir.Write("f.c", bytes);
    int reads = 0;
    std::vector<std::string> hooked;
    TFileCounter counter;
    counter.SetComments(&c);
    counter.SetFailureHook([&](const std::string& m, const std::string&) { hooked.push_back(m); });
    counter.SetReadFunction([&](int fd, char* buf, size_t n) -> std::ptrdiff_t {
      if (++reads == 3) {
        errno = EIO;
        return -1;
      }
      return ::read(fd, buf, n);
    });
    counter.SetFileName(file);
    counter.CountFile();
    const TCountResult& r = counter.CountResult;
    EXPECT_GE(reads, 3);
    EXPECT_TRUE(r.Failed());
    EXPECT_EQ(Counts(r), Counts(TCountResult()));
    EXPECT_EQ(r.Total, 0);
    EXPECT_EQ(r.Path, "File open error! " + dir.Path().string() + "/");
    EXPECT_NE(r.Error.find(file), std::string::npos) << r.Error;
    EXPECT_NE(r.Error.find(std::strerror(EIO)), std::string::npos) << r.Error;
    ASSERT_EQ(hooked.size(), 1u);

    // The same counter reads the next file in full.
    counter.SetReadFunction(nullptr);
    counter.CountFile();
    EXPECT_FALSE(counter.CountResult.Failed());
    EXPECT_EQ(counter.CountResult.Mixed, static_cast<int64_t>(text.size() / 8));
  }
}

TEST(CountFile, LineOfMegabytes) {
  TempDir dir;
  std::string text = "a\n" + std::string(5 * 1024 * 1024, 'y') + "// tail\n\nb";
  TCountResult r = Count(dir.Write("long.c", text), &DefaultComments("C"));
  EXPECT_EQ(Counts(r), "4 n, 2 code, 0 comment, 1 blank, 1 mixed");
}

TEST(CountFile, LinesWithoutASymbolByteTakeTheirClassFromTheState) {
  // The line scan itself spots the first bytes of the symbols; lines without
  // any are classified without a search. Letters count in both cases, and a
  // format with many distinct or non-ASCII first bytes searches every line.
  TempDir dir;
  struct Case {
    const char* name;
    TCommentList comments;
    std::string text;
    const char* counts;
  } cases[] = {
      {"block comment across lines", MakeComments({{1, "<!--", "-->", 0}}), "<a>\n<!-- x\n inside\n\n end -->\nb\n",
       "6 n, 2 code, 2 comment, 1 blank, 1 mixed"},
      {"letters in any case", MakeComments({{0, "REM", "", 0}}), "rEm x\nx Rem\nREMARK\ny\n",
       "4 n, 1 code, 2 comment, 0 blank, 1 mixed"},
      {"seven first bytes",
       MakeComments({{0, "a1", "", 0},
                     {0, "b1", "", 0},
                     {0, "c1", "", 0},
                     {0, "d1", "", 0},
                     {0, "e1", "", 0},
                     {0, "f1", "", 0},
                     {0, "g1", "", 0}}),
       "x g1\ng1 x\nb1\nzzz\n", "4 n, 1 code, 2 comment, 0 blank, 1 mixed"},
      {"non-ASCII symbol", MakeComments({{0, "\xC2\xAB", "", 0}}), "x \xC2\xAB y\n\xC2\xAB\xC2\xAB\nplain\n",
       "3 n, 1 code, 1 comment, 0 blank, 1 mixed"},
      {"symbol byte in a stop symbol only", MakeComments({{1, "{", "}", 0}}), "{\na\n}b\nc\n",
       "4 n, 1 code, 3 comment, 0 blank, 0 mixed"},
      {"a closing byte outside a block, an opening one inside", MakeComments({{1, "{", "}", 0}}),
       "a } b\n{ x\n{ again\ny } z\n", "4 n, 1 code, 2 comment, 0 blank, 1 mixed"},
  };
  for (const auto& c : cases) {
    TCountResult r = Count(dir.Write("f.x", c.text), &c.comments);
    EXPECT_EQ(Counts(r), c.counts) << c.name;
  }
}
