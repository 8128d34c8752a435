#include "qrmt_cli.h"

#ifndef _WIN32
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <QByteArray>
#include <QString>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "app/qrmt_global.h"
#include "app/qrmt_platform.h"
#include "components/qrmt_export.h"
#include "components/qrmt_reportgrid.h"
#include "core/qrmt_classes.h"
#include "core/qrmt_const.h"
#include "core/qrmt_engine.h"
#include "core/qrmt_report.h"

namespace fs = std::filesystem;

namespace qrmt {

namespace {

constexpr const char* CountUsage =
    "Usage: quorimeter count [OPTIONS] PATH...\n"
    "Counts code, comment, blank and mixed lines of the files at each PATH.\n"
    "A PATH is a file or a folder; folders are read with all their subfolders.\n"
    "\n"
    "Options:\n"
    "      --all-files        count every file, not only those of the enabled formats\n"
    "      --format FORMAT    text (default), csv, tsv or json; or the desktop program's\n"
    "                         exports: txt, html, rtf, xml, pdf, docx, xlsx (pdf, docx\n"
    "                         and xlsx need -o)\n"
    "  -o, --output FILE      write the report to FILE instead of standard output\n"
    "      --no-path          show file names without their folders\n"
    "      --by-format        one row per file format instead of one per file\n"
    "      --exclude PATTERN  leave out what PATTERN matches (repeatable); a pattern\n"
    "                         without \"/\" matches a file or folder name anywhere\n"
    "                         below a PATH, one with \"/\" the path from the PATH on,\n"
    "                         a trailing \"/\" folders only; wildcards * ? [...], letter\n"
    "                         case counts; a PATH itself is never left out\n"
    "  -j, --jobs N           count on N threads (default: one per core)\n"
    "      --settings FILE    use the formats of settings container FILE instead of\n"
    "                         the one the desktop program uses\n"
    "  -h, --help             show this help and exit\n"
    "      --version          show the version and exit\n"
    "\n"
    "Exit status: 0 when every file was read, 1 when a file or folder could not\n"
    "be read (it is still reported), 2 for a usage error or an unwritable output.\n";

enum class TFormat { Text, Csv, Tsv, Json, Export };

// Writes every column of `table` in export format `format` to `file`, or,
// for the text formats, to `out`; the message on failure.
std::optional<std::string> WriteTableExport(const TExportTable& table, int columns, int format, const std::string& file,
                                            std::ostream& out) {
  TExportGrid grid;
  grid.Table = &table;
  for (int c = 0; c < columns; ++c) grid.Columns.push_back(c);
  try {
    if (!file.empty()) {
      WriteExport(format, emSaveToFile, grid, QString::fromStdString(file));
      return std::nullopt;
    }
    const QByteArray bytes = format == efHtml  ? HtmlBytes(grid)
                             : format == efRtf ? RtfBytes(grid)
                             : format == efXml ? XmlBytes(grid)
                                               : TextBytes(grid);
    out.write(bytes.constData(), bytes.size());
  } catch (const std::exception& e) {
    return std::string(e.what());
  }
  return std::nullopt;
}

// The export formats of the desktop program by their command-line names.
int CliExportFormat(const std::string& name) {
  static const std::pair<const char*, int> names[] = {{"docx", efWord}, {"xlsx", efExcel}, {"html", efHtml},
                                                      {"txt", efText},  {"rtf", efRtf},    {"pdf", efPdf},
                                                      {"xml", efXml}};
  for (const auto& [n, f] : names)
    if (name == n) return f;
  return -1;
}

bool CliExportIsBinary(int format) {
  return format == efWord || format == efExcel || format == efPdf;
}

// Collects the rows into the report table the desktop program exports
// from, and writes them with its writers.
class TCliExport {
 public:
  TCliExport(int format, bool showPath) : FFormat(format), FShowPath(showPath) {}
  void Row(const TCountResult& result) { FTable.AppendRow(result, FShowPath); }
  // Writes to `file`, or through a temporary file to `out`; the message
  // on failure.
  std::optional<std::string> Write(const std::string& file, std::ostream& out) {
    FTable.UpdateTotals();
    return WriteTableExport(FTable, rcColumnCount, FFormat, file, out);
  }

 private:
  int FFormat;
  bool FShowPath;
  TReportTableModel FTable;
};

// A pattern of --exclude.
struct TExclude {
  std::string Pattern;
  bool Path = false;         // holds a "/": matched against the path below the PATH
  bool FoldersOnly = false;  // ended with "/"
};

struct TOptions {
  bool AllFiles = false;
  bool ByFormat = false;
  std::vector<TExclude> Excludes;
  TFormat Format = TFormat::Text;
  int ExportFormat = -1;  // with TFormat::Export
  std::string OutputFile;
  bool ShowPath = true;
  unsigned Jobs = 0;
  std::string SettingsFile;
  std::vector<std::string> Paths;
};

// Parses the arguments; on failure returns the message for stderr.
std::optional<std::string> ParseOptions(const std::vector<std::string>& args, TOptions& o, bool& help, bool& version) {
  bool endOfOptions = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (endOfOptions || a.empty() || a[0] != '-' || a == "-") {
      o.Paths.push_back(a);
      continue;
    }
    auto value = [&](std::string& out) -> bool {
      size_t eq = a.find('=');
      if (a.rfind("--", 0) == 0 && eq != std::string::npos) {
        out = a.substr(eq + 1);
        return true;
      }
      if (i + 1 >= args.size()) return false;
      out = args[++i];
      return true;
    };
    std::string name = a.substr(0, a.find('='));
    std::string v;
    if (a == "--") {
      endOfOptions = true;
    } else if (a == "-h" || a == "--help") {
      help = true;
    } else if (a == "--version") {
      version = true;
    } else if (a == "--all-files") {
      o.AllFiles = true;
    } else if (a == "--no-path") {
      o.ShowPath = false;
    } else if (a == "--by-format") {
      o.ByFormat = true;
    } else if (name == "--exclude") {
      if (!value(v) || v.empty() || v == "/") return "option '--exclude' needs a pattern";
      TExclude e;
      e.FoldersOnly = v.back() == '/';
      if (e.FoldersOnly) v.pop_back();
      while (v.size() > 1 && v[0] == '/') v.erase(0, 1);  // "/drivers" is the PATH's own drivers
      e.Path = v.find('/') != std::string::npos;
      e.Pattern = v;
      o.Excludes.push_back(std::move(e));
    } else if (name == "--format") {
      if (!value(v)) return "option '--format' needs a value";
      if (v == "text")
        o.Format = TFormat::Text;
      else if (v == "csv")
        o.Format = TFormat::Csv;
      else if (v == "tsv")
        o.Format = TFormat::Tsv;
      else if (v == "json")
        o.Format = TFormat::Json;
      else if (const int e = CliExportFormat(v); e >= 0) {
        o.Format = TFormat::Export;
        o.ExportFormat = e;
      } else
        return "unknown format '" + v + "' (text, csv, tsv, json, txt, html, rtf, xml, pdf, docx or xlsx)";
    } else if (a == "-o" || name == "--output") {
      if (!value(v) || v.empty()) return "option '" + name + "' needs a file name";
      o.OutputFile = v;
    } else if (name == "--settings") {
      if (!value(v) || v.empty()) return "option '--settings' needs a file name";
      o.SettingsFile = v;
    } else if (a == "-j" || name == "--jobs") {
      if (!value(v)) return "option '" + name + "' needs a number";
      int32_t n = 0;
      if (!TryParseInt32(v, n) || n < 1 || n > 1024) return "invalid number of jobs '" + v + "'";
      o.Jobs = static_cast<unsigned>(n);
    } else {
      return "unknown option '" + a + "'";
    }
  }
  return std::nullopt;
}

// Collects the files to count and feeds them to the engine while it walks:
// the walk order of `find`, symbolic links met in the walk neither followed
// nor counted, each name once. Runs on a thread of its own; its messages
// are kept for the taking thread to print.
class TFileCollector {
 public:
  TFileCollector(const TFileTypeList& types, bool allFiles, bool zipEnabled, TCountEngine& engine,
                 std::vector<TExclude> excludes = {})
      : FTypes(types), FAllFiles(allFiles), FZipEnabled(zipEnabled), FEngine(engine), FExcludes(std::move(excludes)) {}

  void AddPaths(const std::vector<std::string>& paths) {
    // One folder walked without following links names each file once: the
    // duplicate check is needed only where PATHs may overlap.
    FCheckDuplicates = paths.size() > 1;
    for (const std::string& p : paths) AddPath(p);
    Flush();
  }

  // Messages of the walk not yet taken.
  std::vector<std::string> TakeMessages() {
    if (!FHasMessages.load(std::memory_order_acquire)) return {};  // the common case, asked after every file
    std::lock_guard lock(FMessageMutex);
    FHasMessages = false;
    return std::exchange(FMessages, {});
  }
  bool HadErrors() const { return FHadErrors.load(); }
  void Fail(std::string message) { Error(std::move(message)); }

 private:
  // Files go to the engine in runs of this many, so that the hand-over
  // costs nothing while the first files are counted before the walk ends.
  static constexpr size_t FlushEvery = 128;

  void AddPath(const std::string& path) {
    std::error_code ec;
    fs::file_status st = fs::status(path, ec);  // an argument that is a link is followed
    if (fs::is_directory(st)) {
      FRootLength = path.empty() || path.back() == '/' ? path.size() : path.size() + 1;
      AddFolder(path);
    } else if (fs::is_regular_file(st)) {
      AddFile(path);
    } else {
      // Reading a FIFO waits forever, a device may never end.
      Error("quorimeter count: '" + path + "' is not a regular file");
    }
  }

  void Error(std::string message) {
    std::lock_guard lock(FMessageMutex);
    FMessages.push_back(std::move(message));
    FHasMessages.store(true, std::memory_order_release);
    FHadErrors = true;
  }

  void AddFile(const std::string& name) {
    if (!FAllFiles && !MatchesFilter(FTypes, name, FZipEnabled)) return;
    if (FCheckDuplicates && !FSeen.insert(name).second) return;
    FBatch.push_back({name, CommentsFor(ExtractFileExt(name))});
    if (FBatch.size() >= FlushEvery) Flush();
  }

  void Flush() { FEngine.Add(FBatch); }

  // Whether an entry below a PATH is left out: `name` is its own name,
  // `full` its path, of which the part after the PATH is matched.
  bool Excluded(std::string_view name, std::string_view full, bool folder) const {
    for (const TExclude& e : FExcludes) {
      if (e.FoldersOnly && !folder) continue;
      if (e.Path ? MatchesPattern(e.Pattern, full.substr(std::min(FRootLength, full.size())), true)
                 : MatchesPattern(e.Pattern, name, false))
        return true;
    }
    return false;
  }

  // The format lookup once per extension: a tree has few of them.
  const std::shared_ptr<const TCommentList>& CommentsFor(std::string_view extension) {
    FKey.assign(extension);
    auto it = FByExtension.find(FKey);
    if (it == FByExtension.end())
      it = FByExtension.emplace(FKey, FSnapshot.Get(FindCommentList(FTypes, extension))).first;
    return it->second;
  }

  void AddFolder(const std::string& folder) {
#ifndef _WIN32
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    AddFolder(folder, fd);
#else
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    if (ec) {
      Error("quorimeter count: cannot read folder '" + folder + "': " + ec.message());
      return;
    }
    for (; it != fs::directory_iterator(); it.increment(ec)) {
      const fs::directory_entry& e = *it;
      std::error_code typeEc;
      if (e.is_symlink(typeEc)) continue;
      const std::string& name = e.path().string();
      if (!FExcludes.empty() && Excluded(e.path().filename().string(), name, e.is_directory(typeEc))) continue;
      if (e.is_directory(typeEc)) {
        AddFolder(name);
      } else if (e.is_regular_file(typeEc)) {
        AddFile(name);
      }
    }
    if (ec) Error("quorimeter count: error while reading folder '" + folder + "': " + ec.message());
#endif
  }

#ifndef _WIN32
  // Reads the folder open at `fd` (closed here); subfolders are opened
  // relative to it, which spares the system a walk down the whole path.
  void AddFolder(const std::string& folder, int fd) {
    DIR* dir = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (dir == nullptr) {
      Error("quorimeter count: cannot read folder '" + folder + "': " + std::strerror(errno));
      if (fd >= 0) ::close(fd);
      return;
    }
    std::string name = (!folder.empty() && folder.back() == '/') ? folder : folder + "/";
    const size_t base = name.size();
    for (;;) {
      errno = 0;
      const dirent* e = ::readdir(dir);
      if (e == nullptr) {
        if (errno != 0) Error("quorimeter count: error while reading folder '" + folder + "': " + std::strerror(errno));
        break;
      }
      const char* leaf = e->d_name;
      if (leaf[0] == '.' && (leaf[1] == '\0' || (leaf[1] == '.' && leaf[2] == '\0'))) continue;
      unsigned char type = e->d_type;
      if (type == DT_UNKNOWN) {
        struct stat st {};
        if (::fstatat(::dirfd(dir), leaf, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_LNK;
      }
      // Links are neither followed nor counted; sockets, pipes and devices
      // inside a folder are no source files.
      if (type != DT_DIR && type != DT_REG) continue;
      name.resize(base);
      name += leaf;
      // An excluded folder is never opened.
      if (!FExcludes.empty() && Excluded(leaf, name, type == DT_DIR)) continue;
      if (type == DT_REG) {
        AddFile(name);
      } else {
        const int sub = ::openat(::dirfd(dir), leaf, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        AddFolder(name, sub);
      }
    }
    ::closedir(dir);
  }
#endif

  const TFileTypeList& FTypes;
  bool FAllFiles;
  bool FZipEnabled;
  TCountEngine& FEngine;
  std::vector<TExclude> FExcludes;
  size_t FRootLength = 0;  // of the PATH being walked, with its "/"
  TCommentSnapshot FSnapshot;
  std::unordered_map<std::string, std::shared_ptr<const TCommentList>> FByExtension;
  std::string FKey;
  std::vector<TCountJob> FBatch;
  std::unordered_set<std::string> FSeen;
  bool FCheckDuplicates = true;
  std::mutex FMessageMutex;
  std::vector<std::string> FMessages;
  std::atomic<bool> FHasMessages{false};
  std::atomic<bool> FHadErrors{false};
};

std::string JsonString(std::string_view s) {
  std::string repaired;
  RepairUtf8(s, repaired);  // file names need not be valid UTF-8
  std::string out = "\"";
  for (char ch : repaired) {
    auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += ch;
        }
    }
  }
  return out + "\"";
}

// The percentage as a JSON number with two decimals.
std::string JsonPercent(int64_t part, int64_t whole) {
  std::string t = FormatPercent(part, whole);
  return t.substr(0, t.size() - 2);
}

std::string JsonCounts(const TReportRow& r) {
  std::ostringstream s;
  s << "\"nominal\": " << r.Nominal << ", \"code\": " << r.SourceCode
    << ", \"code_percent\": " << JsonPercent(r.SourceCode, r.Total) << ", \"comment\": " << r.Comment
    << ", \"comment_percent\": " << JsonPercent(r.Comment, r.Total) << ", \"blank\": " << r.Blank
    << ", \"blank_percent\": " << JsonPercent(r.Blank, r.Total) << ", \"mixed\": " << r.Mixed
    << ", \"mixed_percent\": " << JsonPercent(r.Mixed, r.Total) << ", \"total\": " << r.Total;
  return s.str();
}

// Characters, not bytes: UTF-8 continuation bytes take no column.
size_t DisplayWidth(const std::string& s) {
  size_t n = 0;
  for (char c : s) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return n;
}

// A table for the terminal: the first column left, the others right, rules
// under the titles and above the footer; `red` rows in red on a terminal.
void WriteAlignedTable(std::ostream& out, const std::vector<std::string>& titles,
                       const std::vector<std::vector<std::string>>& rows, const std::vector<bool>& red,
                       const std::vector<std::string>& footer, bool colour) {
  std::vector<size_t> width(titles.size(), 0);
  auto measure = [&](const std::vector<std::string>& cells) {
    for (size_t c = 0; c < cells.size(); ++c) width[c] = std::max(width[c], DisplayWidth(cells[c]));
  };
  measure(titles);
  measure(footer);
  for (const auto& r : rows) measure(r);
  size_t ruleWidth = 0;
  for (size_t w : width) ruleWidth += w;
  ruleWidth += 2 * (width.size() - 1);
  const std::string rule(ruleWidth, '-');
  auto line = [&](const std::vector<std::string>& cells, bool isRed) {
    if (isRed && colour) out << "\033[31m";
    for (size_t c = 0; c < cells.size(); ++c) {
      const std::string pad(width[c] - DisplayWidth(cells[c]), ' ');
      // The name stands left, numbers and their titles right.
      if (c == 0) {
        out << cells[c] << pad;
      } else {
        out << "  " << pad << cells[c];
      }
    }
    if (isRed && colour) out << "\033[0m";
    out << "\n";
  };
  line(titles, false);
  out << rule << "\n";
  for (size_t i = 0; i < rows.size(); ++i) line(rows[i], i < red.size() && red[i]);
  out << rule << "\n";
  line(footer, false);
}

// Writes rows as they arrive (CSV, TSV, JSON) or at the end (the aligned
// table, which needs every width first).
class TReportWriter {
 public:
  TReportWriter(std::ostream& out, TFormat format, bool colour) : FOut(out), FFormat(format), FColour(colour) {}

  void Begin() {
    if (FFormat == TFormat::Csv || FFormat == TFormat::Tsv) {
      FOut << CsvRecord(Titles(), Separator());
    } else if (FFormat == TFormat::Json) {
      FOut << "{\n  \"files\": [";
    }
  }

  void Row(const TReportRow& row, const TCountResult& result) {
    FTotals.Add(row);
    switch (FFormat) {
      case TFormat::Csv:
      case TFormat::Tsv:
        FPending += CsvLineBreak;
        AppendCsvRecord(FPending, row, Separator());
        if (FPending.size() >= 64 * 1024) {
          FOut << FPending;
          FPending.clear();
        }
        break;
      case TFormat::Json:
        FOut << (FTotals.Files > 1 ? ",\n" : "\n") << "    {\"file\": " << JsonString(row.FileName) << ", "
             << JsonCounts(row);
        if (result.Failed()) FOut << ", \"error\": " << JsonString(result.Error);
        FOut << "}";
        break;
      case TFormat::Text:
        FRows.push_back(RowCells(row));
        FFailed.push_back(row.Failed);
        break;
      case TFormat::Export: break;  // the export writers take the rows
    }
  }

  void End() {
    switch (FFormat) {
      case TFormat::Csv:
      case TFormat::Tsv: FOut << FPending << CsvLineBreak << CsvRecord(FooterCells(FTotals), Separator()); break;
      case TFormat::Json: {
        FOut << (FTotals.Files > 0 ? "\n  ],\n" : "],\n") << "  \"totals\": {\"files\": " << FTotals.Files << ", "
             << JsonCounts(FTotals.AsRow()) << "}\n}\n";
        break;
      }
      case TFormat::Text: WriteTable(); break;
      case TFormat::Export: break;
    }
  }

 private:
  static std::vector<std::string> Titles() { return {ReportColumnTitles.begin(), ReportColumnTitles.end()}; }
  char Separator() const { return FFormat == TFormat::Tsv ? '\t' : ','; }

  void WriteTable() { WriteAlignedTable(FOut, Titles(), FRows, FFailed, FooterCells(FTotals), FColour); }

  std::ostream& FOut;
  TFormat FFormat;
  bool FColour;
  TReportTotals FTotals;
  std::string FPending;  // CSV rows not yet written
  std::vector<std::vector<std::string>> FRows;
  std::vector<bool> FFailed;
};

class TProgress {
 public:
  TProgress(std::ostream& err, bool enabled) : FErr(err), FEnabled(enabled) {}
  ~TProgress() { Clear(); }

  // `total` is what the walk has found so far.
  void Update(size_t done, size_t total, bool force = false) {
    if (!FEnabled) return;
    auto now = std::chrono::steady_clock::now();
    if (!force && now - FLast < std::chrono::milliseconds(100)) return;
    FLast = now;
    const double seconds = std::chrono::duration<double>(now - FStart).count();
    const auto percent = total == 0 ? 100 : static_cast<int>(done * 100 / total);
    const auto rate = seconds > 0 ? static_cast<long long>(static_cast<double>(done) / seconds) : 0;
    FErr << "\r\033[K" << done << "/" << total << " files (" << percent << " %), " << rate << " files/s" << std::flush;
    FShown = true;
  }

  void Clear() {
    if (FShown) FErr << "\r\033[K" << std::flush;
    FShown = false;
  }

 private:
  std::ostream& FErr;
  bool FEnabled;
  bool FShown = false;
  std::chrono::steady_clock::time_point FStart = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point FLast{};
};

}  // namespace

// One row per file format: the files a format's comments counted, their
// sums, and the percentages of their total lines; "(no format)" for files
// counted without one.
class TFormatSummary {
 public:
  explicit TFormatSummary(const TFileTypeList& types) : FTypes(types) {}

  void Add(const TCountResult& r) {
    const std::string ext(ExtractFileExt(r.FileName));
    auto known = FTitles.find(ext);
    if (known == FTitles.end()) {
      const TFileType* type = FindFileType(FTypes, ext);
      known = FTitles.emplace(ext, type ? type->Title : std::string("(no format)")).first;
    }
    const TReportRow row = MakeReportRow(r, false);
    FRows[known->second].Add(row);
    FTotals.Add(row);
  }

  // The rows in their order: most source code first, ties by title.
  std::vector<std::pair<std::string, TReportTotals>> SortedRows() const {
    std::vector<std::pair<std::string, TReportTotals>> rows(FRows.begin(), FRows.end());
    std::sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) {
      if (a.second.SourceCode != b.second.SourceCode) return a.second.SourceCode > b.second.SourceCode;
      const int c = CompareTextAscii(a.first, b.first);
      return c != 0 ? c < 0 : a.first < b.first;
    });
    return rows;
  }
  const TReportTotals& Totals() const { return FTotals; }
  static const std::vector<std::string>& Titles() {
    static const std::vector<std::string> titles = {
        "Format",          "Files",          "Nominal Lines", "Source Code Lines",     "Comment Lines",
        "Blank Lines",     "Mixed Lines",    "Total Lines",   "Source Code Lines (%)", "Comment Lines (%)",
        "Blank Lines (%)", "Mixed Lines (%)"};
    return titles;
  }
  // The cells of a row: the title, the files, six counts, four percentages.
  static std::vector<std::string> Cells(const std::string& title, const TReportTotals& t) {
    return {title,
            std::to_string(t.Files),
            std::to_string(t.Nominal),
            std::to_string(t.SourceCode),
            std::to_string(t.Comment),
            std::to_string(t.Blank),
            std::to_string(t.Mixed),
            std::to_string(t.Total),
            FormatPercent(t.SourceCode, t.Total),
            FormatPercent(t.Comment, t.Total),
            FormatPercent(t.Blank, t.Total),
            FormatPercent(t.Mixed, t.Total)};
  }

  void Write(std::ostream& out, TFormat format, bool colour) const {
    const auto rows = SortedRows();
    const auto& titles = Titles();
    auto cells = [](const std::string& title, const TReportTotals& t) { return Cells(title, t); };
    switch (format) {
      case TFormat::Csv:
      case TFormat::Tsv: {
        const char sep = format == TFormat::Tsv ? '\t' : ',';
        out << CsvRecord(titles, sep);
        for (const auto& [title, t] : rows) out << CsvLineBreak << CsvRecord(cells(title, t), sep);
        out << CsvLineBreak << CsvRecord(cells(std::string(TotalCaption), FTotals), sep);
        break;
      }
      case TFormat::Json: {
        auto counts = [](const TReportTotals& t) { return JsonCounts(t.AsRow()); };
        out << "{\n  \"formats\": [";
        for (size_t i = 0; i < rows.size(); ++i)
          out << (i ? ",\n" : "\n") << "    {\"format\": " << JsonString(rows[i].first)
              << ", \"files\": " << rows[i].second.Files << ", " << counts(rows[i].second) << "}";
        out << (rows.empty() ? "],\n" : "\n  ],\n") << "  \"totals\": {\"files\": " << FTotals.Files << ", "
            << counts(FTotals) << "}\n}\n";
        break;
      }
      default: {
        std::vector<std::vector<std::string>> table;
        for (const auto& [title, t] : rows) table.push_back(cells(title, t));
        WriteAlignedTable(out, titles, table, {}, cells(std::string(TotalCaption), FTotals), colour);
        break;
      }
    }
  }

 private:
  const TFileTypeList& FTypes;
  std::unordered_map<std::string, std::string> FTitles;  // extension -> format title
  std::map<std::string, TReportTotals> FRows;
  TReportTotals FTotals;
};

// The summary as the export writers read it: Format, Files, six counts,
// four percentages; the rows in the summary's order.
class TSummaryTable : public TExportTable {
 public:
  explicit TSummaryTable(const TFormatSummary& summary) : FRows(summary.SortedRows()), FTotals(summary.Totals()) {}
  int ExportRowCount() const override { return static_cast<int>(FRows.size()); }
  QString Title(int c) const override {
    return QString::fromStdString(TFormatSummary::Titles()[static_cast<size_t>(c)]);
  }
  QString TitleTwoLines(int c) const override {
    QString t = Title(c);
    const qsizetype blank = t.lastIndexOf(' ', t.endsWith("(%)") ? t.size() - 5 : -1);
    if (blank > 0) t[blank] = '\n';
    return t;
  }
  QString CellText(int r, int c) const override {
    const auto& row = FRows[static_cast<size_t>(r)];
    return QString::fromStdString(TFormatSummary::Cells(row.first, row.second)[static_cast<size_t>(c)]);
  }
  QString FooterText(int c) const override {
    return QString::fromStdString(TFormatSummary::Cells(std::string(TotalCaption), FTotals)[static_cast<size_t>(c)]);
  }
  bool IsRed(int, int) const override { return false; }
  bool TextColumn(int c) const override { return c == 0; }
  bool CountColumn(int c) const override { return c >= 1 && c <= 7; }
  bool PercentColumn(int c) const override { return c >= 8; }
  int64_t Count(int r, int c) const override { return Value(FRows[static_cast<size_t>(r)].second, c); }
  double Percent(int r, int c) const override { return Share(FRows[static_cast<size_t>(r)].second, c); }
  int64_t Sum(int c) const override { return Value(FTotals, c); }
  double FooterPercent(int c) const override { return Share(FTotals, c); }

 private:
  static int64_t Value(const TReportTotals& t, int c) {
    const int64_t values[] = {0, t.Files, t.Nominal, t.SourceCode, t.Comment, t.Blank, t.Mixed, t.Total};
    return c >= 0 && c <= 7 ? values[c] : 0;
  }
  static double Share(const TReportTotals& t, int c) {
    const int64_t parts[] = {t.SourceCode, t.Comment, t.Blank, t.Mixed};
    return c >= 8 && c <= 11 && t.Total > 0 ? static_cast<double>(parts[c - 8]) * 100.0 / static_cast<double>(t.Total)
                                            : 0.0;
  }
  std::vector<std::pair<std::string, TReportTotals>> FRows;
  TReportTotals FTotals;
};

// The formats and options of the settings container: `file` when given,
// else the one the desktop program uses; the defaults when that does not
// exist yet. Nothing is written. On failure returns the message.
std::optional<std::string> LoadSettingsForCli(const std::string& file, TSettings& settings, TFileTypeList& types) {
  std::string name = file;
  if (name.empty()) {
    name = SettingsFileInUse(ProgramFolderPath());
    std::error_code ec;
    if (!fs::exists(name, ec)) {
      settings = DefaultSettings();
      LoadDefaultFileTypes(types);
      return std::nullopt;
    }
  }
  TSingleFileSystem store;
  try {
    store.Open(name, ContainerPassword(), TSFSOpenMode::ReadOnly);
    ReadSettingsStore(store, settings, types);
  } catch (const TSFSError& e) {
    return e.what();
  }
  return std::nullopt;
}

std::string ProgramUsage() {
  return std::string(
             "Usage: quorimeter [FILE|FOLDER]...\n"
             "       quorimeter count [OPTIONS] PATH...\n"
             "       quorimeter formats [--settings FILE]\n"
             "       quorimeter --help | --version\n"
             "\n"
             "Without a command the desktop program opens; files and folders named\n"
             "go into its count queue.\n"
             "\n") +
         "Run 'quorimeter count --help' for the options of the command-line counter.\n";
}

int RunCountCommand(const std::vector<std::string>& args, TCliStreams io) {
  TOptions options;
  bool help = false, version = false;
  if (auto error = ParseOptions(args, options, help, version)) {
    io.Err << "quorimeter count: " << *error << "\nTry 'quorimeter count --help'.\n";
    return ecUsage;
  }
  if (help) {
    io.Out << CountUsage;
    return ecOk;
  }
  if (version) {
    io.Out << ProgramVersionText << "\n";
    return ecOk;
  }
  if (options.Paths.empty()) {
    io.Err << "quorimeter count: no PATH given\nTry 'quorimeter count --help'.\n";
    return ecUsage;
  }
  if (options.Format == TFormat::Export && options.OutputFile.empty() && CliExportIsBinary(options.ExportFormat)) {
    io.Err << "quorimeter count: the format needs an output file (-o FILE)\nTry 'quorimeter count --help'.\n";
    return ecUsage;
  }
  for (const std::string& p : options.Paths) {
    std::error_code ec;
    const fs::file_status st = fs::status(p, ec);
    if (ec || !fs::exists(st)) {
      if (!ec) ec = std::make_error_code(std::errc::no_such_file_or_directory);
      io.Err << "quorimeter count: cannot access '" << p << "': " << ec.message() << "\n";
      return ecUsage;
    }
  }

  TFileTypeList types;
  TSettings settings;
  if (auto error = LoadSettingsForCli(options.SettingsFile, settings, types)) {
    io.Err << "quorimeter count: " << *error << "\n";
    return ecUsage;
  }

  std::ofstream file;
  std::ostream* out = &io.Out;
  bool colour = io.OutIsTerminal;
  // The export writers make their file themselves, whole or not at all.
  if (!options.OutputFile.empty() && options.Format != TFormat::Export) {
    file.open(options.OutputFile, std::ios::binary | std::ios::trunc);
    if (!file) {
      io.Err << "quorimeter count: cannot create '" << options.OutputFile << "': " << std::strerror(errno) << "\n";
      return ecUsage;
    }
    out = &file;
    colour = false;
  }

  TCountEngine engine(options.Jobs);
  engine.Begin();
  TFileCollector collector(types, options.AllFiles, settings.FileSelection.zipEnabled.Value, engine, options.Excludes);
  std::thread walker([&] {
    try {
      collector.AddPaths(options.Paths);
    } catch (const std::exception& e) {
      collector.Fail(std::string("quorimeter count: the walk stopped: ") + e.what());
    }
    engine.Finish();
  });
  TReportWriter writer(*out, options.ByFormat ? TFormat::Export : options.Format, colour);
  TCliExport exporter(options.ExportFormat, options.ShowPath);
  TFormatSummary summary(types);
  TProgress progress(io.Err, io.ErrIsTerminal);
  std::vector<std::string> failures;
  writer.Begin();
  TCountResult result;
  auto printMessages = [&] {
    auto messages = collector.TakeMessages();
    if (messages.empty()) return;
    progress.Clear();
    for (const auto& m : messages) io.Err << m << "\n";
  };
  for (;;) {
    auto state = engine.TryNext(result, std::chrono::milliseconds(100));
    if (state == TCountEngine::TWait::Done) break;
    if (state == TCountEngine::TWait::Ready) {
      if (options.ByFormat) {
        summary.Add(result);
      } else if (options.Format == TFormat::Export) {
        exporter.Row(result);
      } else {
        writer.Row(MakeReportRow(result, options.ShowPath), result);
      }
      if (result.Failed()) failures.push_back(result.Error);
    }
    printMessages();
    progress.Update(engine.Taken(), engine.Count());
  }
  walker.join();
  printMessages();
  progress.Clear();
  if (options.ByFormat && options.Format == TFormat::Export) {
    if (auto error = WriteTableExport(TSummaryTable(summary), static_cast<int>(TFormatSummary::Titles().size()),
                                      options.ExportFormat, options.OutputFile, *out)) {
      io.Err << "quorimeter count: " << *error << "\n";
      return ecUsage;
    }
  } else if (options.ByFormat) {
    summary.Write(*out, options.Format, colour);
  } else if (options.Format == TFormat::Export) {
    if (auto error = exporter.Write(options.OutputFile, *out)) {
      io.Err << "quorimeter count: " << *error << "\n";
      return ecUsage;
    }
  } else {
    writer.End();
  }
  out->flush();
  if (!options.OutputFile.empty()) file.close();
  if (!*out) {
    io.Err << "quorimeter count: cannot write the report"
           << (options.OutputFile.empty() ? std::string() : " to '" + options.OutputFile + "'") << "\n";
    return ecUsage;
  }
  for (const std::string& f : failures) io.Err << "quorimeter count: " << f << "\n";
  return (failures.empty() && !collector.HadErrors()) ? ecOk : ecUnreadable;
}

}  // namespace qrmt

namespace qrmt {

int RunFormatsCommand(const std::vector<std::string>& args, TCliStreams io) {
  std::string file;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--settings" && i + 1 < args.size()) {
      file = args[++i];
    } else if (args[i].rfind("--settings=", 0) == 0) {
      file = args[i].substr(11);
    } else if (args[i] == "-h" || args[i] == "--help") {
      io.Out << "Usage: quorimeter formats [--settings FILE]\n"
                "Lists the file formats in list order: title, enabled flag, masks, delimiters.\n";
      return ecOk;
    } else {
      io.Err << "quorimeter formats: unknown argument '" << args[i] << "'\n";
      return ecUsage;
    }
  }
  TSettings settings;
  TFileTypeList types;
  if (auto error = LoadSettingsForCli(file, settings, types)) {
    io.Err << "quorimeter formats: " << *error << "\n";
    return ecUsage;
  }
  const std::vector<std::string> typeNames = CommentTypeNames();
  for (const auto& t : types) {
    io.Out << t->Title << (t->Enabled ? "  [enabled]" : "  [disabled]") << "\n  masks:";
    if (t->Extensions.Empty()) io.Out << " (none)";
    for (const auto& e : t->Extensions) io.Out << " " << e->Value << (e->Enabled ? "" : " (off)");
    io.Out << "\n  delimiters:";
    if (t->Comments.Empty()) io.Out << " (none)";
    bool first = true;
    for (const auto& c : t->Comments) {
      io.Out << (first ? " " : "; ");
      first = false;
      if (c->CommentType < typeNames.size()) {
        io.Out << typeNames[c->CommentType];
      } else {
        io.Out << "type " << static_cast<int>(c->CommentType);
      }
      io.Out << " \"" << c->StartSymbol << "\"";
      if (c->CommentType == 1) io.Out << " to \"" << c->StopSymbol << "\"";
      if (c->FixedCol != 0) io.Out << " column " << c->FixedCol;
    }
    io.Out << "\n";
  }
  return ecOk;
}

}  // namespace qrmt
