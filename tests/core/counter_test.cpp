#include <gtest/gtest.h>

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
  EXPECT_NE(hooked[0].first.find("No such file"), std::string::npos) << hooked[0].first;
  EXPECT_NE(hooked[1].first.find("directory"), std::string::npos) << hooked[1].first;
  EXPECT_EQ(hooked[0].second, "Sounds/ding.wav");

  // The next file starts clean.
  counter.SetFileName(dir.Write("ok.c", "x\n"));
  counter.CountFile();
  EXPECT_EQ(counter.CountResult.Path, dir.Path().string() + "/");
  EXPECT_EQ(counter.CountResult.Nominal, 1);
}

TEST(CountFile, ReadErrorInTheMiddleCountsAsUnread) {
#ifdef __linux__
  // Reading /proc/self/mem at offset 0 fails with an I/O error after open.
  TCountResult r = Count("/proc/self/mem", nullptr);
  EXPECT_TRUE(r.Failed());
  EXPECT_EQ(r.Path, "File open error! /proc/self/");
  EXPECT_EQ(r.FileName, "mem");
  EXPECT_EQ(r.Nominal, 0);
#endif
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

// The whole-text reading of the rules, for comparing with the streamed one.
std::vector<std::string> SplitWhole(const std::string& s) {
  auto ls = [&](size_t i) { return i + 3 <= s.size() && s[i] == '\xE2' && s[i + 1] == '\x80' && s[i + 2] == '\xA8'; };
  std::vector<std::string> lines;
  size_t i = 0;
  while (i < s.size() && s[i] != '\0') {
    size_t start = i;
    while (i < s.size() && s[i] != '\r' && s[i] != '\n' && s[i] != '\0' && !ls(i)) ++i;
    lines.push_back(s.substr(start, i - start));
    if (i < s.size() && s[i] == '\0') break;
    if (i < s.size() && s[i] == '\r') ++i;
    if (i < s.size() && s[i] == '\n') ++i;
    if (ls(i)) i += 3;
  }
  return lines;
}

TCountResult Expected(const std::string& utf8, const TCommentList& comments) {
  TFileCounter counter;
  counter.SetComments(&comments);
  TCountResult r;
  for (const std::string& line : SplitWhole(utf8)) {
    ++r.Nominal;
    switch (counter.ClassifyLine(line)) {
      case lcCode: ++r.SourceCode; break;
      case lcComment: ++r.Comment; break;
      case lcMixed: ++r.Mixed; break;
      case lcBlank: ++r.Blank; break;
    }
  }
  r.Total = r.Nominal;
  return r;
}

std::string ToUtf16(const std::string& utf8, bool bigEndian) {
  std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
  auto put = [&](uint32_t u) {
    char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
    out += bigEndian ? hi : lo;
    out += bigEndian ? lo : hi;
  };
  for (size_t i = 0; i < utf8.size();) {
    auto c = static_cast<unsigned char>(utf8[i]);
    uint32_t cp;
    int n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    cp = n == 1 ? c : n == 2 ? (c & 0x1F) : n == 3 ? (c & 0x0F) : (c & 0x07);
    for (int k = 1; k < n; ++k) cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    i += n;
    if (cp >= 0x10000) {
      put(0xD800 + ((cp - 0x10000) >> 10));
      put(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      put(cp);
    }
  }
  return out;
}

// Text with lines of every length, long ones crossing the read buffer, and
// every kind of line break.
std::string RandomText(unsigned seed, size_t minSize) {
  std::mt19937 rng(seed);
  const char* pieces[] = {"int a = 1;",  "// note",           "/* open",          "close */ x;", "   ",         "\t",
                          "s = \"/*\";", "\xC3\xA9t\xC3\xA9", "\xF0\x9F\x98\x80", "*/",          "a /* b */ c", "x"};
  const char* breaks[] = {"\n", "\r\n", "\r", "\xE2\x80\xA8", "\r\n\xE2\x80\xA8", "\n\r"};
  std::string s;
  while (s.size() < minSize) {
    int kind = static_cast<int>(rng() % 400);
    size_t repeat = kind == 0 ? 20000 + rng() % 60000 : 1 + rng() % 6;  // now and then a very long line
    for (size_t k = 0; k < repeat; ++k) s += pieces[rng() % std::size(pieces)];
    s += breaks[rng() % std::size(breaks)];
  }
  return s;
}

}  // namespace

TEST(CountFile, LargeFilesCountAsAWholeRead) {
  TempDir dir;
  const TCommentList& c = DefaultComments("C");
  for (unsigned seed = 1; seed <= 4; ++seed) {
    SCOPED_TRACE(seed);
    std::string text = RandomText(seed, 1200000 + seed * 77777);
    if (seed == 2) text.pop_back();  // no final break
    TCountResult want = Expected(text, c);
    ASSERT_GT(want.Nominal, 500);
    for (const std::string& bytes : {text, "\xEF\xBB\xBF" + text, ToUtf16(text, false), ToUtf16(text, true)}) {
      TCountResult got = Count(dir.Write("big.c", bytes), &c);
      EXPECT_FALSE(got.Failed()) << got.Error;
      EXPECT_EQ(Counts(got), Counts(want));
    }
  }
}

TEST(CountFile, LineBreakOnEveryBufferBoundary) {
  // Places a CR LF and a U+2028 at every offset around the first buffer end.
  TempDir dir;
  const TCommentList& c = DefaultComments("C");
  for (size_t at = 256 * 1024 - 8; at <= 256 * 1024 + 2; ++at) {
    std::string text(at, 'x');
    text += "\r\n\xE2\x80\xA8// y\r";
    text += "\xE2\x80\xA8z";
    TCountResult got = Count(dir.Write("edge.c", text), &c);
    EXPECT_EQ(Counts(got), Counts(Expected(text, c))) << at;
  }
}

TEST(CountFile, LineOfMegabytes) {
  TempDir dir;
  std::string text = "a\n" + std::string(5 * 1024 * 1024, 'y') + "// tail\n\nb";
  TCountResult r = Count(dir.Write("long.c", text), &DefaultComments("C"));
  EXPECT_EQ(Counts(r), "4 n, 2 code, 0 comment, 1 blank, 1 mixed");
}
