#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "app/qrmt_global.h"
#include "cli/qrmt_cli.h"
#include "common/test_formats.h"
#include "core/qrmt_const.h"

using namespace qrmt;
namespace fs = std::filesystem;

namespace {

const std::string Tree = std::string(QRMT_FIXTURES) + "/tree";

// Each test process gets an empty program folder of its own.
class ProgramFolderEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("qrmt-cli-program-" + std::to_string(::getpid()));
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    ::setenv("QRMT_PROGRAM_FOLDER", folder_.c_str(), 1);
  }
  void TearDown() override { fs::remove_all(folder_); }
  static inline fs::path folder_;
};
const auto* const Env = ::testing::AddGlobalTestEnvironment(new ProgramFolderEnvironment);

// A container holding the defaults with format `disabled` switched off and
// one extra format.
void MakeContainer(const std::string& file, const std::string& disabled) {
  TFileTypeList types;
  LoadDefaultFileTypes(types);
  test::FindTitle(types, disabled)->Enabled = false;
  TFileType* mine = types.Add();
  mine->Title = "Mine";
  mine->Enabled = true;
  TFileExtension* mask = mine->Extensions.Add();
  mask->Value = "*.md";
  mask->Enabled = true;
  TComment* c = mine->Comments.Add();
  c->CommentType = 0;
  c->StartSymbol = "Notes";
  TSingleFileSystem store;
  store.Create(file, ContainerPassword());
  WriteSettingsStore(store, DefaultSettings(), types);
  store.Close();
}

struct CliRun {
  int code;
  std::string out;
  std::string err;
};

CliRun Count(std::vector<std::string> args, bool terminal = false) {
  std::ostringstream out, err;
  int code = RunCountCommand(args, {out, err, terminal, false});
  return {code, out.str(), err.str()};
}

std::vector<std::string> Lines(const std::string& text, const std::string& sep) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t p; (p = text.find(sep, start)) != std::string::npos; start = p + sep.size())
    lines.push_back(text.substr(start, p - start));
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

// The quoted first cell of each CSV record, without the title and the footer.
std::vector<std::string> CsvNames(const std::string& csv) {
  std::vector<std::string> names;
  auto lines = Lines(csv, "\r\n");
  for (size_t i = 1; i + 1 < lines.size(); ++i) names.push_back(lines[i].substr(1, lines[i].find("\",\"") - 1));
  return names;
}

std::string Shell(const std::string& command, int* status = nullptr) {
  std::string out;
  FILE* p = popen(command.c_str(), "r");
  std::array<char, 4096> buf;
  size_t n;
  while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) out.append(buf.data(), n);
  int st = pclose(p);
  if (status) *status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return out;
}

class TempTree {
 public:
  TempTree() {
    root_ = fs::temp_directory_path() / ("qrmt-cli-" + std::to_string(::getpid()));
    fs::remove_all(root_);
    fs::create_directories(root_);
    fs::copy(Tree, root_ / "tree", fs::copy_options::recursive);
  }
  ~TempTree() { fs::remove_all(root_); }
  std::string Path(const std::string& rel = "tree") const { return (root_ / rel).string(); }

 private:
  fs::path root_;
};

const char* Header =
    "\"File Name\",\"Nominal Lines\",\"Source Code Lines\",\"Source Code Lines (%)\",\"Comment Lines\","
    "\"Comment Lines (%)\",\"Blank Lines\",\"Blank Lines (%)\",\"Mixed Lines\",\"Mixed Lines (%)\",\"Total Lines\"";

}  // namespace

TEST(CountCommand, CsvOfNamedFilesIsExact) {
  CliRun r = Count({"--format", "csv", Tree + "/main.c", Tree + "/lib/util.pas"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, std::string(Header) + "\r\n" + "\"" + Tree +
                       "/main.c\",\"7\",\"3\",\"42.86 %\",\"1\",\"14.29 %\",\"1\",\"14.29 %\",\"2\","
                       "\"28.57 %\",\"7\"\r\n" +
                       "\"" + Tree +
                       "/lib/util.pas\",\"5\",\"1\",\"20.00 %\",\"3\",\"60.00 %\",\"0\",\"0.00 %\","
                       "\"1\",\"20.00 %\",\"5\"\r\n" +
                       "\"Total:\",\"12\",\"4\",\"33.33 %\",\"4\",\"33.33 %\",\"1\",\"8.33 %\",\"3\",\"25.00 %\","
                       "\"12\"");
  EXPECT_EQ(r.err, "");
}

TEST(CountCommand, TsvAndNoPath) {
  CliRun r = Count({"--format=tsv", "--no-path", Tree + "/lib/util.pas"});
  auto lines = Lines(r.out, "\r\n");
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(
      lines[1],
      "\"util.pas\"\t\"5\"\t\"1\"\t\"20.00 %\"\t\"3\"\t\"60.00 %\"\t\"0\"\t\"0.00 %\"\t\"1\"\t\"20.00 %\"\t\"5\"");
}

TEST(CountCommand, TextTableIsAligned) {
  CliRun r = Count({"--no-path", Tree + "/main.c"});
  EXPECT_EQ(r.code, 0);
  auto lines = Lines(r.out, "\n");
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0].rfind("File Name  Nominal Lines  Source Code Lines  Source Code Lines (%)", 0), 0u) << lines[0];
  EXPECT_EQ(lines[2].rfind("main.c                 7", 0), 0u) << lines[2];
  EXPECT_EQ(lines[4].rfind("Total:                 7", 0), 0u) << lines[4];
  for (const auto& l : lines) EXPECT_EQ(l.size(), lines[0].size()) << l;
  EXPECT_EQ(r.out.find('\033'), std::string::npos);
}

TEST(CountCommand, JsonHasFilesAndTotals) {
  CliRun r = Count({"--format", "json", "--no-path", Tree + "/main.c"});
  EXPECT_EQ(r.out,
            "{\n  \"files\": [\n    {\"file\": \"main.c\", \"nominal\": 7, \"code\": 3, \"code_percent\": 42.86, "
            "\"comment\": 1, \"comment_percent\": 14.29, \"blank\": 1, \"blank_percent\": 14.29, \"mixed\": 2, "
            "\"mixed_percent\": 28.57, \"total\": 7}\n  ],\n  \"totals\": {\"files\": 1, \"nominal\": 7, \"code\": 3, "
            "\"code_percent\": 42.86, \"comment\": 1, \"comment_percent\": 14.29, \"blank\": 1, \"blank_percent\": "
            "14.29, \"mixed\": 2, \"mixed_percent\": 28.57, \"total\": 7}\n}\n");
}

TEST(CountCommand, WalkFollowsFindOrderAndSkipsLinks) {
  TempTree t;
  fs::create_symlink(t.Path("tree/main.c"), t.Path("tree/link.c"));
  fs::create_directory_symlink(t.Path("tree"), t.Path("tree/lib/loop"));  // a cycle
  ASSERT_EQ(::mkfifo(t.Path("tree/pipe.c").c_str(), 0600), 0);
  { std::ofstream(t.Path("tree/odd \"name\", here.c")) << "x\n"; }
  CliRun all = Count({"--all-files", "--format", "csv", t.Path()});
  EXPECT_EQ(all.code, 0) << all.err;
  auto found = Lines(Shell("find '" + t.Path() + "' -type f"), "\n");
  auto names = CsvNames(all.out);
  for (auto& n : names) {  // undo the doubled quotes of the CSV cell
    for (size_t p; (p = n.find("\"\"")) != std::string::npos;) n.erase(p, 1);
  }
  EXPECT_EQ(names, found);

  CliRun admitted = Count({"--format", "csv", t.Path() + "/"});
  auto got = CsvNames(admitted.out);
  std::set<std::string> want = {t.Path() + "/main.c", t.Path() + "/Makefile", t.Path() + "/lib/util.pas",
                                t.Path() + "/lib/.hidden.py", t.Path() + "/odd \"\"name\"\", here.c"};
  EXPECT_EQ(std::set<std::string>(got.begin(), got.end()), want);
  EXPECT_EQ(got.size(), want.size());

  // A link named as a PATH is followed.
  CliRun viaLink = Count({"--format", "csv", t.Path("tree/lib/loop"), t.Path("tree/link.c")});
  auto linked = CsvNames(viaLink.out);
  EXPECT_EQ(linked.size(), 6u);
  EXPECT_EQ(linked.back(), t.Path("tree/link.c"));
}

TEST(CountCommand, EachFileOnce) {
  CliRun r = Count({"--format", "csv", Tree, Tree + "/main.c", Tree + "/main.c"});
  auto names = CsvNames(r.out);
  EXPECT_EQ(std::count(names.begin(), names.end(), Tree + "/main.c"), 1);
  EXPECT_EQ(names.size(), 4u);
}

TEST(CountCommand, UnreadableFileIsReportedAndSetsStatusOne) {
#ifdef __linux__
  CliRun r = Count({"--all-files", "--format", "csv", Tree + "/main.c", "/proc/self/mem"});
  EXPECT_EQ(r.code, 1);
  auto lines = Lines(r.out, "\r\n");
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[2],
            "\"File open error! /proc/self/mem\",\"0\",\"0\",\"0.00 %\",\"0\",\"0.00 %\",\"0\",\"0.00 %\","
            "\"0\",\"0.00 %\",\"0\"");
  EXPECT_NE(r.err.find("/proc/self/mem"), std::string::npos) << r.err;

  CliRun coloured = Count({"--all-files", "--no-path", "/proc/self/mem"}, true);
  EXPECT_NE(coloured.out.find("\033[31mmem"), std::string::npos) << coloured.out;
#endif
}

TEST(CountCommand, UsageErrors) {
  struct Case {
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {{}, "no PATH given"},
      {{"--bogus", Tree}, "unknown option '--bogus'"},
      {{"--format", "yaml", Tree}, "unknown format 'yaml'"},
      {{"--format", "pdf", Tree}, "the format needs an output file (-o FILE)"},
      {{"--format", "xlsx", Tree}, "the format needs an output file (-o FILE)"},
      {{"--jobs", "0", Tree}, "invalid number of jobs '0'"},
      {{"-o"}, "needs a file name"},
      {{Tree, "/no/such/place"}, "cannot access '/no/such/place': " + std::string(std::strerror(ENOENT))},
  };
  for (const auto& c : cases) {
    CliRun r = Count(c.args);
    EXPECT_EQ(r.code, 2) << c.message;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
  }
  EXPECT_EQ(Count({"--version"}).out, "Kestrune Quorimeter 1.1.12.30\n");
  EXPECT_NE(Count({"--help"}).out.find("--all-files"), std::string::npos);
}

TEST(CountCommand, OutputFile) {
  TempTree t;
  CliRun r = Count({"--format", "csv", "-o", t.Path("report.csv"), Tree + "/main.c"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, "");
  std::ifstream in(t.Path("report.csv"), std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text.rfind(Header, 0), 0u);
  CliRun bad = Count({"-o", t.Path("no/such/dir/r.txt"), Tree});
  EXPECT_EQ(bad.code, 2);
  EXPECT_NE(bad.err.find("no/such/dir/r.txt"), std::string::npos);
}

TEST(CountCommand, TheDesktopProgramsExportsFromTheCommandLine) {
  TempTree t;
  // Text formats go to standard output; the same bytes as the file.
  CliRun xml = Count({"--format", "xml", "--no-path", Tree + "/main.c"});
  EXPECT_EQ(xml.code, 0) << xml.err;
  EXPECT_EQ(xml.out.rfind(
                "<?xml version=\"1.0\" encoding=\"utf-8\" ?><report><header><column num=\"0\">File Name</column>", 0),
            0u);
  EXPECT_NE(xml.out.find("<data><column num=\"0\">main.c</column><column num=\"1\">7</column>"), std::string::npos);
  EXPECT_NE(xml.out.find("<footer><column num=\"0\">Total:</column>"), std::string::npos);
  CliRun txt = Count({"--format", "txt", "-o", t.Path("r.txt"), "--no-path", Tree + "/main.c"});
  EXPECT_EQ(txt.code, 0) << txt.err;
  std::ifstream in(t.Path("r.txt"), std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text.substr(text.find("\r\n") + 2),
            "main.c\t7\t3\t42.86 %\t1\t14.29 %\t1\t14.29 %\t2\t28.57 %\t7\r\n"
            "Total:\t7\t3\t42.86 %\t1\t14.29 %\t1\t14.29 %\t2\t28.57 %\t7");
  // The office formats are zip packages; PDF through the binary, no display needed.
  for (const char* f : {"docx", "xlsx"}) {
    CliRun r = Count({"--format", f, "-o", t.Path(std::string("r.") + f), Tree});
    EXPECT_EQ(r.code, 0) << r.err;
    std::ifstream z(t.Path(std::string("r.") + f), std::ios::binary);
    char magic[2] = {};
    z.read(magic, 2);
    EXPECT_EQ(std::string(magic, 2), "PK") << f;
  }
  int status = -1;
  Shell("env -u DISPLAY QT_QPA_PLATFORM= " + std::string(QRMT_BINARY) + " count --format pdf -o '" + t.Path("r.pdf") +
            "' '" + Tree + "' 2>&1",
        &status);
  EXPECT_EQ(status, 0);
  EXPECT_NE(Shell("pdftotext '" + t.Path("r.pdf") + "' -").find("Total:"), std::string::npos);
  // An output that cannot be written: the reason, and status 2.
  CliRun bad = Count({"--format", "html", "-o", t.Path("no/such/dir/r.html"), Tree});
  EXPECT_EQ(bad.code, 2);
  EXPECT_NE(bad.err.find("no/such/dir/r.html"), std::string::npos) << bad.err;
}

TEST(Binary, ExitStatusAndVersion) {
  int status = -1;
  EXPECT_EQ(Shell(std::string(QRMT_BINARY) + " --version", &status), "Kestrune Quorimeter 1.1.12.30\n");
  EXPECT_EQ(status, 0);
  std::string csv = Shell(std::string(QRMT_BINARY) + " count --format csv '" + Tree + "'", &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(csv.rfind(Header, 0), 0u);
  Shell(std::string(QRMT_BINARY) + " count 2>/dev/null", &status);
  EXPECT_EQ(status, 2);
  Shell(std::string(QRMT_BINARY) + " frobnicate 2>/dev/null", &status);
  EXPECT_EQ(status, 2);
  EXPECT_NE(Shell(std::string(QRMT_BINARY) + " --help").find("quorimeter count [OPTIONS] PATH..."), std::string::npos);
}

TEST(Binary, WithoutArgumentsTheWindowOpensAndASignalEndsItCleanly) {
  // SIGTERM closes the window through the event loop: exit status 0 and
  // the settings saved, as after Exit.
  const fs::path folder = fs::temp_directory_path() / ("qrmt-cli-desktop-" + std::to_string(::getpid()));
  fs::remove_all(folder);
  fs::create_directories(folder);
  int status = -1;
  Shell("QT_QPA_PLATFORM=offscreen QRMT_PROGRAM_FOLDER='" + folder.string() +
            "' timeout -k 10 --preserve-status -s TERM 6 " + QRMT_BINARY + " 2>/dev/null",
        &status);
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(fs::exists(folder / "default.settings"));
  EXPECT_TRUE(fs::exists(folder / "quorimeter.ini"));
  // A signal while a start-up message waits for the user (the container is
  // read-only now) still ends the program cleanly, before its window opens.
  fs::permissions(folder / "default.settings", fs::perms::owner_read);
  const auto before = fs::last_write_time(folder / "default.settings");
  Shell("QT_QPA_PLATFORM=offscreen QRMT_PROGRAM_FOLDER='" + folder.string() +
            "' timeout -k 10 --preserve-status -s TERM 6 " + QRMT_BINARY + " 2>/dev/null",
        &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(fs::last_write_time(folder / "default.settings"), before);
  fs::remove_all(folder);
}

TEST(CountCommand, FormatsComeFromTheSettingsContainer) {
  const fs::path program = ProgramFolderEnvironment::folder_;
  // Without any container: the 41 defaults, and nothing is created.
  CliRun plain = Count({"--format", "csv", Tree});
  EXPECT_EQ(CsvNames(plain.out).size(), 4u);
  EXPECT_TRUE(fs::is_empty(program));

  // The container named by the ini file.
  const std::string file = (program / "team.settings").string();
  MakeContainer(file, "C");
  {
    std::ofstream ini(program / "quorimeter.ini");
    ini << "[Settings]\ndatafile=" << file << "\n";
  }
  const std::string before = [&] {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }();
  CliRun inUse = Count({"--format", "csv", "--no-path", Tree});
  EXPECT_EQ(inUse.code, 0) << inUse.err;
  auto names = CsvNames(inUse.out);
  std::set<std::string> got(names.begin(), names.end());
  EXPECT_EQ(got, (std::set<std::string>{"Makefile", "util.pas", ".hidden.py", "notes.md"}));  // C off, .md on
  // The notes line starts with "Notes": a comment under the extra format.
  EXPECT_NE(inUse.out.find("\"notes.md\",\"1\",\"0\",\"0.00 %\",\"1\",\"100.00 %\""), std::string::npos) << inUse.out;
  std::ifstream after(file, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(after), std::istreambuf_iterator<char>()), before);

  // --settings wins over the ini file.
  const std::string other = (program / "other.settings").string();
  MakeContainer(other, "Delphi/Pascal");
  CliRun explicitly = Count({"--format", "csv", "--no-path", "--settings", other, Tree});
  names = CsvNames(explicitly.out);
  EXPECT_EQ(std::set<std::string>(names.begin(), names.end()),
            (std::set<std::string>{"Makefile", "main.c", ".hidden.py", "notes.md"}));

  // A container that exists but cannot be opened is an error naming it.
  std::ofstream(program / "broken.settings") << "not a container";
  CliRun broken = Count({"--settings", (program / "broken.settings").string(), Tree});
  EXPECT_EQ(broken.code, 2);
  EXPECT_NE(broken.err.find((program / "broken.settings").string()), std::string::npos) << broken.err;
  EXPECT_EQ(broken.out, "");
  CliRun missing = Count({"--settings", (program / "none.settings").string(), Tree});
  EXPECT_EQ(missing.code, 2);
  EXPECT_NE(missing.err.find("does not exist"), std::string::npos) << missing.err;

  fs::remove(program / "quorimeter.ini");
}

TEST(FormatsCommand, ListsTitlesFlagsMasksAndDelimiters) {
  const std::string file = (ProgramFolderEnvironment::folder_ / "list.settings").string();
  MakeContainer(file, "COBOL");
  std::ostringstream out, err;
  EXPECT_EQ(RunFormatsCommand({"--settings", file}, {out, err, false, false}), 0) << err.str();
  const std::string text = out.str();
  EXPECT_NE(text.find("COBOL  [disabled]\n  masks: *.cob *.cbl\n  delimiters: single \"*\"\n"), std::string::npos)
      << text;
  EXPECT_NE(text.find("Delphi/Pascal  [enabled]\n  masks: *.dpr *.pas *.p\n  delimiters: single \"//\"; "
                      "multistring \"{\" to \"}\"; multistring \"(*\" to \"*)\"\n"),
            std::string::npos);
  EXPECT_NE(text.find("single \"C\t\" column 1"), std::string::npos);
  EXPECT_NE(text.find("INC  [enabled]\n  masks: *.inc\n  delimiters: (none)\n"), std::string::npos);
  EXPECT_LT(text.find("Mine  [enabled]"), text.find("Modula-3"));  // list order: sorted by title on load

  std::ostringstream out2, err2;
  EXPECT_EQ(RunFormatsCommand({"--bogus"}, {out2, err2, false, false}), 2);
}

TEST(CountCommand, ProgressOnATerminalIsClearedAndJobsChangeNothing) {
  std::ostringstream out, err;
  EXPECT_EQ(RunCountCommand({"--format", "csv", Tree}, {out, err, false, true}), 0);
  const std::string progress = err.str();
  EXPECT_NE(progress.find("/4 files ("), std::string::npos) << progress;
  EXPECT_NE(progress.find(" files/s"), std::string::npos);
  EXPECT_EQ(progress.substr(progress.size() - 4), "\r\033[K");  // the line is gone at the end

  CliRun one = Count({"--format", "csv", "--jobs", "1", Tree});
  EXPECT_EQ(one.out, out.str());
  EXPECT_EQ(one.err, "");  // no progress when stderr is no terminal
}

TEST(CountCommand, APathThatIsNoRegularFileIsReportedNotRead) {
  // Reading a FIFO would wait for a writer forever; a device may never end.
  const fs::path dir = fs::temp_directory_path() / ("qrmt-cli-fifo-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const std::string fifo = (dir / "pipe.c").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& special : {fifo, std::string("/dev/zero")}) {
    SCOPED_TRACE(special);
    CliRun r = Count({"--all-files", "--format", "csv", special, Tree + "/main.c"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("'" + special + "' is not a regular file"), std::string::npos) << r.err;
    auto names = CsvNames(r.out);
    EXPECT_EQ(names, std::vector<std::string>{Tree + "/main.c"});  // the other PATH is still counted
  }
  fs::remove_all(dir);
}

namespace {

// A small tree of three formats, a file of none, and folders to leave out.
class SummaryTree {
 public:
  SummaryTree() {
    root_ = fs::temp_directory_path() / ("qrmt-cli-summary-" + std::to_string(::getpid()));
    fs::remove_all(root_);
    Write("a.c", "int a;\n// c\n\nint b; // m\n");  // code, comment, blank, mixed
    Write("sub/b.c", "x;\ny;\n");                   // two code lines
    Write("p.pas", "{ c }\nbegin\nend.\n\n");       // comment, two code, blank
    Write("s.py", "# c\nx = 1\ny = 2\n");           // comment, two code
    Write("notes.qq", "plain\n");                   // no format
    Write("node_modules/m.c", "m;\nm;\nm;\n");
    Write("drivers/gpu/g.c", "g;\n");
    Write("drivers/net/n.c", "n;\n");
    Write("lib.min.py", "x = 2\n");
    Write("build/out.c", "o;\n");
    Write("src/build", "not a folder\n");  // a file named like a folder
  }
  ~SummaryTree() {
    fs::permissions(root_ / "drivers", fs::perms::owner_all);
    fs::remove_all(root_);
  }
  void Write(const std::string& rel, const std::string& text) {
    fs::create_directories((root_ / rel).parent_path());
    std::ofstream(root_ / rel, std::ios::binary) << text;
  }
  std::string Path(const std::string& rel = "") const { return (root_ / rel).string(); }

 private:
  fs::path root_;
};

std::vector<std::string> CountedNames(const std::vector<std::string>& extra, const std::string& path) {
  std::vector<std::string> args = {"--all-files", "--no-path", "--format", "csv"};
  args.insert(args.end(), extra.begin(), extra.end());
  args.push_back(path);
  CliRun r = Count(args);
  EXPECT_EQ(r.code, 0) << r.err;
  std::vector<std::string> names = CsvNames(r.out);
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

TEST(CountCommand, ByFormatSumsSortsAndNamesFilesWithoutAFormat) {
  SummaryTree t;
  const std::string pattern = "node_modules";
  CliRun r = Count({"--by-format", "--format", "csv", "--exclude", pattern, "--exclude", "drivers", "--exclude",
                    "build/", "--exclude", "*.min.py", t.Path()});
  EXPECT_EQ(r.code, 0) << r.err;
  auto lines = Lines(r.out, "\r\n");
  ASSERT_EQ(lines.size(), 5u) << r.out;
  EXPECT_EQ(lines[0],
            "\"Format\",\"Files\",\"Nominal Lines\",\"Source Code Lines\",\"Comment Lines\",\"Blank Lines\","
            "\"Mixed Lines\",\"Total Lines\",\"Source Code Lines (%)\",\"Comment Lines (%)\",\"Blank Lines (%)\","
            "\"Mixed Lines (%)\"");
  // C: a.c and sub/b.c, three lines of code: most code first.
  EXPECT_EQ(lines[1],
            "\"C\",\"2\",\"6\",\"3\",\"1\",\"1\",\"1\",\"6\",\"50.00 %\",\"16.67 %\",\"16.67 %\",\"16.67 %\"");
  // Pascal and Python both have two lines of code: by title.
  EXPECT_EQ(lines[2].substr(0, 16), "\"Delphi/Pascal\",");
  EXPECT_EQ(lines[3].substr(0, 9), "\"Python\",");
  // The footer's percentages are ratios of the sums: 7 of 13 lines are code.
  EXPECT_EQ(lines[4],
            "\"Total:\",\"4\",\"13\",\"7\",\"3\",\"2\",\"1\",\"13\",\"53.85 %\",\"23.08 %\",\"15.38 %\",\"7.69 %\"");

  // Every file under --all-files: the one without a format has a row of its
  // own; an unreadable file is counted and named on stderr.
  CliRun all =
      Count({"--by-format", "--all-files", "--format", "tsv", t.Path("notes.qq"), t.Path("a.c"), "/proc/self/mem"});
  EXPECT_EQ(all.code, 1);
  EXPECT_NE(all.out.find("\"(no format)\"\t\"1\"\t\"1\""), std::string::npos) << all.out;
  EXPECT_NE(all.err.find("/proc/self/mem"), std::string::npos);

  CliRun json = Count({"--by-format", "--format", "json", t.Path("a.c"), t.Path("p.pas")});
  EXPECT_NE(json.out.find("{\"format\": \"C\", \"files\": 1, \"nominal\": 4, \"code\": 1"), std::string::npos)
      << json.out;
  EXPECT_NE(json.out.find("\"totals\": {\"files\": 2, \"nominal\": 8"), std::string::npos) << json.out;
  CliRun text = Count({"--by-format", t.Path("a.c")});
  EXPECT_EQ(text.out.rfind("Format  Files", 0), 0u) << text.out;
  EXPECT_NE(text.out.find("\nTotal:"), std::string::npos);
  // The export writers take the summary too: its columns, its order.
  CliRun xml = Count({"--by-format", "--format", "xml", t.Path("a.c"), t.Path("p.pas")});
  EXPECT_EQ(xml.code, 0) << xml.err;
  EXPECT_NE(xml.out.find("<header><column num=\"0\">Format</column><column num=\"1\">Files</column>"),
            std::string::npos)
      << xml.out;
  EXPECT_NE(xml.out.find("<data><column num=\"0\">C</column><column num=\"1\">1</column>"), std::string::npos);
  EXPECT_NE(xml.out.find("<footer><column num=\"0\">Total:</column><column num=\"1\">2</column>"), std::string::npos);
  CliRun book = Count({"--by-format", "--format", "xlsx", "-o", t.Path("s.xlsx"), t.Path()});
  EXPECT_EQ(book.code, 0) << book.err;
  EXPECT_TRUE(fs::exists(t.Path("s.xlsx")));
}

TEST(CountCommand, ExcludesMatchNamesPathsAndFoldersAndNeverThePathItself) {
  SummaryTree t;
  const std::vector<std::string> everything = {"a.c",      "b.c",   "g.c",   "lib.min.py", "m.c",  "n.c",
                                               "notes.qq", "out.c", "p.pas", "s.py",       "build"};
  auto without = [&](std::vector<std::string> gone) {
    std::vector<std::string> kept;
    for (const auto& n : everything)
      if (std::find(gone.begin(), gone.end(), n) == gone.end()) kept.push_back(n);
    std::sort(kept.begin(), kept.end());
    return kept;
  };
  const struct {
    std::vector<std::string> excludes;
    std::vector<std::string> gone;
  } cases[] = {
      {{"--exclude", "node_modules"}, {"m.c"}},
      {{"--exclude", "*.min.py"}, {"lib.min.py"}},
      {{"--exclude", "?.c"}, {"a.c", "b.c", "g.c", "m.c", "n.c"}},
      {{"--exclude", "[ab].c"}, {"a.c", "b.c"}},
      {{"--exclude", "[!ab].c"}, {"g.c", "m.c", "n.c"}},
      {{"--exclude", "drivers/gpu"}, {"g.c"}},
      {{"--exclude", "drivers/*"}, {"g.c", "n.c"}},
      {{"--exclude", "gpu/g.c"}, {}},        // a path pattern starts at the PATH
      {{"--exclude", "build/"}, {"out.c"}},  // folders only: src/build is a file
      {{"--exclude", "build"}, {"out.c", "build"}},
      {{"--exclude", "A.C"}, {}},  // letter case counts
      {{"--exclude", "drivers", "--exclude", "s.py"}, {"g.c", "n.c", "s.py"}},
  };
  for (const auto& c : cases) EXPECT_EQ(CountedNames(c.excludes, t.Path()), without(c.gone)) << c.excludes.back();
  // A PATH argument is counted whatever the patterns say.
  EXPECT_EQ(CountedNames({"--exclude", "drivers", "--exclude", "*.c"}, t.Path("drivers")), std::vector<std::string>{});
  EXPECT_EQ(CountedNames({"--exclude", "drivers"}, t.Path("drivers")), (std::vector<std::string>{"g.c", "n.c"}));
  EXPECT_EQ(CountedNames({"--exclude", "a.c"}, t.Path("a.c")), std::vector<std::string>{"a.c"});
  // An excluded folder is not opened: one that cannot be read stays unnoticed.
  if (::geteuid() != 0) {
    fs::permissions(t.Path("drivers"), fs::perms::none);
    EXPECT_EQ(Count({"--exclude", "drivers", t.Path()}).code, 0);
    EXPECT_EQ(Count({t.Path()}).code, 1);
  }
  EXPECT_EQ(Count({"--exclude", "", t.Path()}).code, 2);
}

TEST(MatchesPattern, ShellWildcards) {
  const struct {
    const char* pattern;
    const char* text;
    bool pathname;
    bool match;
  } cases[] = {
      {"*.c", "main.c", false, true},
      {"*.c", "main.cc", false, false},
      {"m??n.c", "main.c", false, true},
      {"[a-c]x", "bx", false, true},
      {"[!a-c]x", "bx", false, false},
      {"[^a-c]x", "dx", false, true},
      {"*", "", false, true},
      {"a*b*c", "axxbyyc", false, true},
      {"a*b*c", "axxbyy", false, false},
      {"drivers/*", "drivers/gpu", true, true},
      {"drivers/*", "drivers/gpu/x", true, false},
      {"*/gpu", "drivers/gpu", true, true},
      {"*", "a/b", true, false},
      {"a\\*", "a*", false, true},
      {"a\\*", "ab", false, false},
      {"[x", "[x", false, true},
      {"Makefile", "makefile", false, false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(MatchesPattern(c.pattern, c.text, c.pathname), c.match) << c.pattern << " " << c.text;
}

namespace {

// A private session bus whose services folder is `services`, with `env`
// in its environment (what an activated program gets).
struct TBus {
  std::string Address;
  std::string Pid;
  TBus(const fs::path& root, const std::string& env) {
    fs::create_directories(root / "data" / "dbus-1" / "services");
    std::ofstream(root / "bus.conf")
        << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\" "
           "\"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
           "<busconfig><type>session</type><listen>unix:tmpdir=/tmp</listen>"
           "<servicedir>"
        << (root / "data" / "dbus-1" / "services").string()
        << "</servicedir><policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
           "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n";
    const std::string out = Shell("env " + env + " dbus-daemon --config-file='" + (root / "bus.conf").string() +
                                  "' --fork --print-address=1 --print-pid=1");
    auto lines = Lines(out, "\n");
    if (lines.size() >= 2) {
      Address = lines[0];
      Pid = lines[1];
    }
  }
  ~TBus() {
    if (!Pid.empty()) Shell("kill " + Pid);
  }
  bool Owned() const {
    return Shell("DBUS_SESSION_BUS_ADDRESS='" + Address +
                 "' dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus "
                 "org.freedesktop.DBus.NameHasOwner string:KestruneQRMT.QRMTApplication")
               .find("boolean true") != std::string::npos;
  }
};

}  // namespace

TEST(Binary, AutomationSwitchesRegisterAndTheBusStartsTheProgram) {
  const fs::path root = fs::temp_directory_path() / ("qrmt-cli-bus-" + std::to_string(::getpid()));
  fs::remove_all(root);
  fs::create_directories(root / "program");
  const std::string env = "QT_QPA_PLATFORM=offscreen XDG_DATA_HOME='" + (root / "data").string() +
                          "' QRMT_PROGRAM_FOLDER='" + (root / "program").string() + "'";
  const fs::path service = root / "data" / "dbus-1" / "services" / "KestruneQRMT.QRMTApplication.service";
  int status = -1;
  // "/regserver" in lower case: the file, no window, at once.
  Shell("env -u DBUS_SESSION_BUS_ADDRESS " + env + " timeout 20 " + QRMT_BINARY + " /regserver", &status);
  EXPECT_EQ(status, 0);
  std::ifstream in(service);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text, std::string("[D-BUS Service]\nName=KestruneQRMT.QRMTApplication\nExec=") +
                      fs::canonical(QRMT_BINARY).string() + " -Automation\n");
  Shell(env + " timeout 20 " + QRMT_BINARY + " -UNREGSERVER", &status);
  EXPECT_EQ(status, 0);
  EXPECT_FALSE(fs::exists(service));
  // A registration that cannot be written is told, with status 1.
  const std::string blocked = "XDG_DATA_HOME='" + (root / "program" / "default.settings").string() + "/x'";
  const std::string said = Shell("env QT_QPA_PLATFORM=offscreen " + blocked + " QRMT_PROGRAM_FOLDER='" +
                                     (root / "program").string() + "' timeout 20 " + QRMT_BINARY + " -RegServer 2>&1",
                                 &status);
  EXPECT_EQ(status, 1);
  EXPECT_NE(said.find("cannot"), std::string::npos) << said;

  // With the file in place, a call to the name starts the program; when
  // its only client leaves, it ends.
  Shell(env + " timeout 20 " + QRMT_BINARY + " -regserver", &status);
  TBus bus(root, env);
  ASSERT_FALSE(bus.Address.empty()) << "dbus-daemon (package dbus) is needed";
  EXPECT_FALSE(bus.Owned());
  // The box waits for a user who is not there: the client gives up after 3 s.
  Shell("DBUS_SESSION_BUS_ADDRESS='" + bus.Address +
            "' dbus-send --session --print-reply --reply-timeout=3000 --dest=KestruneQRMT.QRMTApplication "
            "/QRMTApplication KestruneQRMT.IQRMTApplication.Show 2>&1 &",
        &status);
  bool started = false;
  for (int i = 0; i < 100 && !started; ++i) {
    started = bus.Owned();
    if (!started) ::usleep(100000);
  }
  EXPECT_TRUE(started);
  bool ended = false;
  for (int i = 0; i < 150 && started && !ended; ++i) {
    ended = !bus.Owned();
    if (!ended) ::usleep(100000);
  }
  EXPECT_TRUE(ended);
  EXPECT_TRUE(fs::exists(root / "program" / "default.settings"));  // saved at its end
  fs::remove_all(root);
}
