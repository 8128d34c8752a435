#include "qrmt_office.h"

#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <algorithm>
#include <cmath>
#include <deque>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <pugixml.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "qrmt_reportgrid.h"

namespace qrmt {

namespace {

constexpr const char* XmlHead = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";
constexpr const char* NsMain = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
constexpr const char* NsRel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
constexpr const char* NsPkgRel = "http://schemas.openxmlformats.org/package/2006/relationships";
constexpr const char* NsWord = "http://schemas.openxmlformats.org/wordprocessingml/2006/main";
constexpr const char* RelTypes = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
constexpr const char* OfficeTypes = "application/vnd.openxmlformats-officedocument.";

// One relationship: `type` after the relationships' namespace.
std::string Relationship(const std::string& id, const char* type, const char* target) {
  return "<Relationship Id=\"" + id + "\" Type=\"" + RelTypes + type + "\" Target=\"" + target + "\"/>";
}

// A relationships part: (type, target) in order, as rId1, rId2, ...
std::string Relationships(std::initializer_list<std::pair<const char*, const char*>> relations) {
  std::string xml = std::string(XmlHead) + "<Relationships xmlns=\"" + NsPkgRel + "\">";
  int id = 0;
  for (const auto& [type, target] : relations) xml += Relationship("rId" + std::to_string(++id), type, target);
  return xml + "</Relationships>";
}

// The content type of one part: `type` after the office types' prefix.
std::string Override(const char* part, const char* type) {
  return std::string("<Override PartName=\"") + part + "\" ContentType=\"" + OfficeTypes + type + "\"/>";
}

// The content types of a package: the defaults and the parts' overrides.
std::string ContentTypes(std::initializer_list<std::pair<const char*, const char*>> parts) {
  std::string xml =
      std::string(XmlHead) +
      "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
      "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
      "<Default Extension=\"xml\" ContentType=\"application/xml\"/>";
  for (const auto& [part, type] : parts) xml += Override(part, type);
  return xml + "</Types>";
}

[[noreturn]] void Fail(const QString& file, const QString& reason) {
  throw EExportError(ExportFailure(file, reason));
}

// A new file is built beside the target and renamed over it at the end.
QString SiblingTemp(const QString& file);

// A package: made new, or an existing one read and written again with
// some parts replaced. Parts are written at Commit, into a new file beside
// the old one, which takes the old one's place only when it is complete.
class TPackage {
 public:
  TPackage(const QString& file, bool create) : FFile(file) {
    if (create) return;
    int error = 0;
    const QByteArray name = QFile::encodeName(file);
    FSource = zip_open(name.constData(), ZIP_RDONLY, &error);
    if (!FSource) {
      zip_error_t e;
      zip_error_init_with_code(&e, error);
      const QString reason = error == ZIP_ER_NOZIP
                                 ? "it is not an Office Open XML file (or it is protected by a password)"
                             : error == ZIP_ER_INCONS ? QString("it is damaged (%1)").arg(zip_error_strerror(&e))
                                                      : QString(zip_error_strerror(&e));
      zip_error_fini(&e);
      Fail(file, reason);
    }
  }
  ~TPackage() {
    if (FOut) zip_discard(FOut);
    if (FSource) zip_discard(FSource);
    if (!FOutPath.isEmpty()) QFile::remove(FOutPath);
  }
  std::optional<std::string> Read(const std::string& part) const {
    if (!FSource) return std::nullopt;
    zip_stat_t st;
    if (zip_stat(FSource, part.c_str(), 0, &st) != 0) return std::nullopt;
    if ((st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE)
      Fail(FFile, "it is protected by a password");
    // Office parts of more than 1 GiB are not documents a person made.
    if (st.size > (1u << 30)) Fail(FFile, QString("its part \"%1\" is too large").arg(QString::fromStdString(part)));
    zip_file_t* f = zip_fopen(FSource, part.c_str(), 0);
    if (!f)
      Fail(FFile,
           QString("its part \"%1\" cannot be read (%2)").arg(QString::fromStdString(part), zip_strerror(FSource)));
    std::string data(static_cast<size_t>(st.size), '\0');
    const zip_int64_t n = zip_fread(f, data.data(), data.size());
    const bool ok = n == static_cast<zip_int64_t>(data.size()) && zip_fclose(f) == 0;
    if (!ok) Fail(FFile, QString("it is damaged (the part \"%1\")").arg(QString::fromStdString(part)));
    return data;
  }
  // Hands the part to `take` a megabyte at a time; false when there is
  // no such part.
  bool ReadChunks(const std::string& part, const std::function<void(std::string_view)>& take) const {
    if (!FSource) return false;
    zip_stat_t st;
    if (zip_stat(FSource, part.c_str(), 0, &st) != 0) return false;
    zip_file_t* f = zip_fopen(FSource, part.c_str(), 0);
    if (!f)
      Fail(FFile,
           QString("its part \"%1\" cannot be read (%2)").arg(QString::fromStdString(part), zip_strerror(FSource)));
    std::string buffer(1 << 20, '\0');
    for (;;) {
      const zip_int64_t n = zip_fread(f, buffer.data(), buffer.size());
      if (n < 0) {
        zip_fclose(f);
        Fail(FFile, QString("it is damaged (the part \"%1\")").arg(QString::fromStdString(part)));
      }
      if (n == 0) break;
      take(std::string_view(buffer.data(), static_cast<size_t>(n)));
    }
    if (zip_fclose(f) != 0) Fail(FFile, QString("it is damaged (the part \"%1\")").arg(QString::fromStdString(part)));
    return true;
  }
  void Put(const std::string& part, std::string data) {
    TPart& p = Slot(part);
    p.Data = std::move(data);
    p.Temp.reset();
  }
  // A part produced by `produce`, streamed into a temporary file beside
  // the package, so that no large part is held in memory; compressed fast.
  void PutStreamed(const std::string& part, const std::function<void(TOut&)>& produce) {
    auto temp = std::make_unique<QTemporaryFile>(QFileInfo(FFile).absoluteDir().filePath(".qrmt-XXXXXX.part"));
    if (!temp->open()) Fail(FFile, temp->errorString());
    bool failed = false;
    {
      TOut out([&](std::string_view s) {
        if (!failed && temp->write(s.data(), static_cast<qint64>(s.size())) != static_cast<qint64>(s.size()))
          failed = true;
      });
      produce(out);
      out.Flush();
    }
    if (failed || !temp->flush()) Fail(FFile, temp->errorString());
    TPart& p = Slot(part);
    p.Data.clear();
    p.Temp = std::move(temp);
  }
  // Writes the package into a new file beside the named one, an existing
  // package's other parts copied as they are; the new file then takes the
  // named one's place.
  void Commit() {
    int error = 0;
    FOutPath = SiblingTemp(FFile);
    FOut = zip_open(QFile::encodeName(FOutPath).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!FOut) Fail(FFile, "a new file cannot be made beside it");
    if (FSource) {
      const zip_int64_t entries = zip_get_num_entries(FSource, 0);
      for (zip_int64_t i = 0; i < entries; ++i) {
        const char* name = zip_get_name(FSource, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW);
        if (!name) Fail(FFile, "it is damaged");
        if (Find(name)) {
          Add(*Find(name));
          continue;
        }
        // Raw: the part's bytes as they were, not compressed again.
        zip_source_t* src = zip_source_zip(FOut, FSource, static_cast<zip_uint64_t>(i), ZIP_FL_COMPRESSED, 0, -1);
        if (!src || zip_file_add(FOut, name, src, ZIP_FL_ENC_RAW) < 0) {
          if (src) zip_source_free(src);
          Fail(FFile, zip_strerror(FOut));
        }
      }
    }
    for (TPart& p : FParts)
      if (!p.Added) Add(p);
    if (zip_close(FOut) != 0) {
      const QString reason = zip_strerror(FOut);
      Fail(FFile, reason);
    }
    FOut = nullptr;
    // The new file takes the old one's permissions, then its place.
    struct stat st {};
    if (FSource && ::stat(QFile::encodeName(FFile).constData(), &st) == 0)
      ::chmod(QFile::encodeName(FOutPath).constData(), st.st_mode & 07777);
    if (::rename(QFile::encodeName(FOutPath).constData(), QFile::encodeName(FFile).constData()) != 0)
      Fail(FFile, QString::fromLocal8Bit(std::strerror(errno)));
    FOutPath.clear();
  }

 private:
  struct TPart {
    std::string Name;
    std::string Data;
    std::unique_ptr<QTemporaryFile> Temp;
    bool Added = false;
  };
  TPart& Slot(const std::string& part) {
    if (TPart* p = Find(part)) return *p;
    FParts.push_back(TPart{part, {}, nullptr, false});
    return FParts.back();
  }
  TPart* Find(const std::string& part) {
    for (TPart& p : FParts)
      if (p.Name == part) return &p;
    return nullptr;
  }
  void Add(TPart& p) {
    zip_source_t* src = nullptr;
    if (p.Temp) {
      const QByteArray path = QFile::encodeName(p.Temp->fileName());
      src = zip_source_file(FOut, path.constData(), 0, -1);
    } else {
      src = zip_source_buffer(FOut, p.Data.data(), p.Data.size(), 0);
    }
    const zip_int64_t index = src ? zip_file_add(FOut, p.Name.c_str(), src, ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8) : -1;
    if (index < 0) {
      if (src) zip_source_free(src);
      Fail(FFile, zip_strerror(FOut));
    }
    // Large generated parts: fast compression, as the office programs use.
    if (p.Temp) zip_set_file_compression(FOut, static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE, 1);
    p.Added = true;
  }

  QString FFile;
  zip_t* FSource = nullptr;
  zip_t* FOut = nullptr;
  QString FOutPath;
  std::deque<TPart> FParts;  // alive until the close, which reads them
};

// A new file is built beside the target and renamed over it at the end.
QString SiblingTemp(const QString& file) {
  QTemporaryFile temp(QFileInfo(file).absoluteDir().filePath(".qrmt-XXXXXX.tmp"));
  temp.setAutoRemove(false);
  if (!temp.open()) Fail(file, temp.errorString());
  const QString name = temp.fileName();
  temp.close();
  QFile::remove(name);  // libzip makes it itself
  return name;
}

void CheckTarget(TExportMode mode, const QString& file) {
  const QFileInfo info(file);
  if (info.isDir()) Fail(file, "it is a folder");
  if (mode == emAddToExisting && !info.exists()) Fail(file, "there is no such file");
  if (info.exists() && !info.isWritable()) Fail(file, "the file is read-only");
}

// The namespace prefix of a part's root element, with its colon ("w:"),
// or empty for the default namespace.
std::string RootPrefix(const std::string& xml, const std::string& localName) {
  size_t at = 0;
  while ((at = xml.find('<', at)) != std::string::npos) {
    const char next = at + 1 < xml.size() ? xml[at + 1] : 0;
    if (next != '?' && next != '!') break;
    ++at;
  }
  if (at == std::string::npos) return {};
  const size_t end = xml.find_first_of(" \t\r\n>/", at);
  const std::string name = xml.substr(at + 1, end - at - 1);
  if (name.size() > localName.size() && name.compare(name.size() - localName.size(), localName.size(), localName) == 0)
    return name.substr(0, name.size() - localName.size());
  return {};
}

std::string ColumnLetter(int column) {
  return ColumnLetters(column).toStdString();
}

// The target of the relationship `id` in `rels`, as a part name.
std::string RelTarget(const std::string& rels, const std::string& id, const std::string& base) {
  pugi::xml_document doc;
  if (!doc.load_buffer(rels.data(), rels.size())) return {};
  for (pugi::xml_node r : doc.first_child().children()) {
    if (std::string(r.attribute("Id").value()) != id) continue;
    std::string target = r.attribute("Target").value();
    if (!target.empty() && target[0] == '/') return target.substr(1);
    return base + target;
  }
  return {};
}

// --- Excel -----------------------------------------------------------------

struct TStyleIds {
  int Title, Text, RedText, Count, Percent, FooterText, FooterCount, FooterPercent;
};

// Adds our fonts, border, number format and cell formats to a styles part;
// returns their indexes.
TStyleIds AddStyles(pugi::xml_document& styles) {
  pugi::xml_node sheet = styles.document_element();
  const std::string p = RootPrefix("<" + std::string(sheet.name()), "styleSheet");
  auto child = [&](const char* name) {
    pugi::xml_node n = sheet.child((p + name).c_str());
    return n;
  };
  // Children must keep the schema's order: numFmts, fonts, fills, borders,
  // cellStyleXfs, cellXfs, ...
  pugi::xml_node numFmts = child("numFmts");
  if (!numFmts) numFmts = sheet.prepend_child((p + "numFmts").c_str());
  int numFmtId = 164;
  for (pugi::xml_node n : numFmts.children()) numFmtId = std::max(numFmtId, n.attribute("numFmtId").as_int() + 1);
  pugi::xml_node fmt = numFmts.append_child((p + "numFmt").c_str());
  fmt.append_attribute("numFmtId") = numFmtId;
  fmt.append_attribute("formatCode") = "0.00%";
  numFmts.remove_attribute("count");
  numFmts.append_attribute("count") =
      static_cast<int>(std::distance(numFmts.children().begin(), numFmts.children().end()));

  auto count = [](pugi::xml_node list) {
    return static_cast<int>(std::distance(list.children().begin(), list.children().end()));
  };
  auto recount = [&](pugi::xml_node list) {
    list.remove_attribute("count");
    list.prepend_attribute("count") = count(list);
  };
  pugi::xml_node fonts = child("fonts");
  if (!fonts) fonts = sheet.insert_child_after((p + "fonts").c_str(), numFmts);
  const int boldFont = count(fonts);
  {
    pugi::xml_node f = fonts.append_child((p + "font").c_str());
    f.append_child((p + "b").c_str());
    f.append_child((p + "sz").c_str()).append_attribute("val") = 10;
    f.append_child((p + "name").c_str()).append_attribute("val") = "Arial";
    pugi::xml_node red = fonts.append_child((p + "font").c_str());
    red.append_child((p + "sz").c_str()).append_attribute("val") = 10;
    red.append_child((p + "color").c_str()).append_attribute("rgb") = "FFFF0000";
    red.append_child((p + "name").c_str()).append_attribute("val") = "Arial";
  }
  recount(fonts);
  pugi::xml_node fills = child("fills");
  if (!fills) {
    fills = sheet.insert_child_after((p + "fills").c_str(), fonts);
    fills.append_child((p + "fill").c_str()).append_child((p + "patternFill").c_str()).append_attribute("patternType") =
        "none";
    fills.append_child((p + "fill").c_str()).append_child((p + "patternFill").c_str()).append_attribute("patternType") =
        "gray125";
    recount(fills);
  }
  pugi::xml_node borders = child("borders");
  if (!borders) {
    borders = sheet.insert_child_after((p + "borders").c_str(), fills);
    pugi::xml_node none = borders.append_child((p + "border").c_str());
    for (const char* side : {"left", "right", "top", "bottom", "diagonal"}) none.append_child((p + side).c_str());
  }
  const int thin = count(borders);
  {
    pugi::xml_node b = borders.append_child((p + "border").c_str());
    for (const char* side : {"left", "right", "top", "bottom"}) {
      pugi::xml_node s = b.append_child((p + side).c_str());
      s.append_attribute("style") = "thin";
      s.append_child((p + "color").c_str()).append_attribute("auto") = 1;
    }
    b.append_child((p + "diagonal").c_str());
  }
  recount(borders);
  pugi::xml_node styleXfs = child("cellStyleXfs");
  if (!styleXfs) {
    styleXfs = sheet.insert_child_after((p + "cellStyleXfs").c_str(), borders);
    pugi::xml_node xf = styleXfs.append_child((p + "xf").c_str());
    for (const char* a : {"numFmtId", "fontId", "fillId", "borderId"}) xf.append_attribute(a) = 0;
    recount(styleXfs);
  }
  pugi::xml_node xfs = child("cellXfs");
  if (!xfs) {
    xfs = sheet.insert_child_after((p + "cellXfs").c_str(), styleXfs);
    pugi::xml_node xf = xfs.append_child((p + "xf").c_str());
    for (const char* a : {"numFmtId", "fontId", "fillId", "borderId", "xfId"}) xf.append_attribute(a) = 0;
  }
  int next = count(xfs);
  auto addXf = [&](int numFmt, int font, bool center, bool wrap) {
    pugi::xml_node xf = xfs.append_child((p + "xf").c_str());
    xf.append_attribute("numFmtId") = numFmt;
    xf.append_attribute("fontId") = font;
    xf.append_attribute("fillId") = 0;
    xf.append_attribute("borderId") = thin;
    xf.append_attribute("xfId") = 0;
    if (numFmt) xf.append_attribute("applyNumberFormat") = 1;
    if (font) xf.append_attribute("applyFont") = 1;
    xf.append_attribute("applyBorder") = 1;
    if (center || wrap) {
      xf.append_attribute("applyAlignment") = 1;
      pugi::xml_node al = xf.append_child((p + "alignment").c_str());
      if (center) {
        al.append_attribute("horizontal") = "center";
        al.append_attribute("vertical") = "center";
      }
      if (wrap) al.append_attribute("wrapText") = 1;
    }
    return next++;
  };
  TStyleIds ids{};
  ids.Title = addXf(0, boldFont, true, true);
  ids.Text = addXf(0, 0, false, true);
  ids.RedText = addXf(0, boldFont + 1, false, true);
  ids.Count = addXf(1, 0, false, true);
  ids.Percent = addXf(numFmtId, 0, false, true);
  ids.FooterText = addXf(0, boldFont, false, false);
  ids.FooterCount = addXf(1, boldFont, false, false);
  ids.FooterPercent = addXf(numFmtId, boldFont, false, false);
  recount(xfs);
  return ids;
}

std::string NewStyles() {
  return std::string(XmlHead) + "<styleSheet xmlns=\"" + NsMain +
         "\"><fonts count=\"1\"><font><sz val=\"10\"/><name val=\"Arial\"/></font></fonts>"
         "<fills count=\"2\"><fill><patternFill patternType=\"none\"/></fill><fill><patternFill "
         "patternType=\"gray125\"/></fill></fills>"
         "<borders count=\"1\"><border><left/><right/><top/><bottom/><diagonal/></border></borders>"
         "<cellStyleXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\"/></cellStyleXfs>"
         "<cellXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\"/></cellXfs>"
         "<cellStyles count=\"1\"><cellStyle name=\"Normal\" xfId=\"0\" builtinId=\"0\"/></cellStyles></styleSheet>";
}

std::string Number(double value) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.15g", value);
  return buf;
}

// The report's rows as sheet rows from row `first`, in prefix `p`;
// returns the last row's number.
int SheetBlock(const TExportGrid& grid, const TStyleIds& ids, int first, const std::string& p, TOut& out) {
  const size_t n = grid.Columns.size();
  const int rows = grid.RowCount();
  int r = first;
  std::vector<std::string> letters;
  for (size_t k = 0; k < n; ++k) letters.push_back(ColumnLetter(static_cast<int>(k) + 1));
  const std::string cOpen = "<" + p + "c r=\"",
                    inlineOpen = "\" t=\"inlineStr\"><" + p + "is><" + p + "t xml:space=\"preserve\">",
                    inlineClose = "</" + p + "t></" + p + "is></" + p + "c>", vOpen = "\"><" + p + "v>",
                    vClose = "</" + p + "v></" + p + "c>", rowOpen = "<" + p + "row r=\"", rowClose = "</" + p + "row>";
  std::string number;  // of the row being written
  auto cellStart = [&](size_t k, int style) {
    out << cOpen << letters[k] << number << "\" s=\"" << std::to_string(style);
  };
  auto text = [&](size_t k, const QString& value, int style) {
    cellStart(k, style);
    out << inlineOpen;
    PutMarkup(out, value);
    out << inlineClose;
  };
  auto value = [&](size_t k, const std::string& v, int style) {
    cellStart(k, style);
    out << vOpen << v << vClose;
  };
  auto openRow = [&] {
    number = std::to_string(r);
    out << rowOpen << number << "\">";
  };
  auto closeRow = [&] {
    out << rowClose;
    ++r;
  };
  openRow();
  for (size_t k = 0; k < n; ++k) text(k, grid.Table->Title(grid.Columns[k]), ids.Title);
  closeRow();
  for (int i = 0; i < rows; ++i) {
    const int row = grid.Row(i);
    openRow();
    for (size_t k = 0; k < n; ++k) {
      const int c = grid.Columns[k];
      if (grid.Table->CountColumn(c)) {
        value(k, std::to_string(grid.Table->Count(row, c)), ids.Count);
      } else if (grid.Table->PercentColumn(c)) {
        value(k, Number(grid.Table->Percent(row, c) / 100.0), ids.Percent);
      } else {
        text(k, grid.Table->CellText(row, c), grid.Table->IsRed(row, c) ? ids.RedText : ids.Text);
      }
    }
    closeRow();
  }
  openRow();
  for (size_t k = 0; k < n; ++k) {
    const int c = grid.Columns[k];
    if (grid.Table->CountColumn(c)) {
      value(k, std::to_string(grid.Table->Sum(c)), ids.FooterCount);
    } else if (grid.Table->PercentColumn(c)) {
      value(k, Number(grid.Table->FooterPercent(c) / 100.0), ids.FooterPercent);
    } else {
      text(k, grid.Table->FooterText(c), ids.FooterText);
    }
  }
  closeRow();
  return r - 1;
}

std::vector<double> BlockWidths(const TExportGrid& grid) {
  std::vector<double> widths;
  for (qsizetype n : ColumnTextWidths(grid)) widths.push_back(static_cast<double>(n));
  return widths;
}

std::string ColsElement(const std::vector<double>& widths, const std::string& p) {
  std::string cols = "<" + p + "cols>";
  for (size_t k = 0; k < widths.size(); ++k) {
    const double w = std::clamp(widths[k] * 1.1 + 2, 6.0, 120.0);
    cols += "<" + p + "col min=\"" + std::to_string(k + 1) + "\" max=\"" + std::to_string(k + 1) + "\" width=\"" +
            Number(std::round(w * 10) / 10) + "\" customWidth=\"1\"/>";
  }
  return cols + "</" + p + "cols>";
}

// The number of the last row in `sheetData`, from its last row element.
int LastUsedRow(const std::string& xml, size_t dataBegin, size_t dataEnd, const std::string& p) {
  const std::string open = "<" + p + "row";
  int last = 0, counted = 0;
  size_t at = dataBegin;
  // Rows may leave out their numbers; then they count one by one.
  while ((at = xml.find(open, at)) != std::string::npos && at < dataEnd) {
    const char after = xml[at + open.size()];
    if (after == ' ' || after == '>' || after == '/' || after == '\t' || after == '\n' || after == '\r') {
      ++counted;
      const size_t close = xml.find('>', at);
      const std::string tag = xml.substr(at, close - at);
      const size_t rAt = tag.find(" r=\"");
      if (rAt != std::string::npos) {
        last = std::max(last, std::atoi(tag.c_str() + rAt + 4));
      } else {
        last = std::max(last, counted);
      }
    }
    at += open.size();
  }
  return last;
}

std::string SelectionElement(const std::string& cell, const std::string& p) {
  return "<" + p + "selection activeCell=\"" + cell + "\" sqref=\"" + cell + "\"/>";
}

// Puts our selection into the first sheet view of a sheet's head.
void SetSelection(std::string& head, const std::string& cell, const std::string& p) {
  const std::string view = "<" + p + "sheetView";
  size_t at = head.find(view + " ");
  if (at == std::string::npos) at = head.find(view + ">");
  if (at == std::string::npos) {
    const std::string views = "<" + p + "sheetViews><" + p + "sheetView workbookViewId=\"0\">" +
                              SelectionElement(cell, p) + "</" + p + "sheetView></" + p + "sheetViews>";
    // sheetViews comes after sheetPr and dimension.
    size_t put = head.find("<" + p + "sheetFormatPr");
    if (put == std::string::npos) put = head.find("<" + p + "cols");
    if (put == std::string::npos) put = head.find("<" + p + "sheetData");
    head.insert(put, views);
    return;
  }
  const size_t tagEnd = head.find('>', at);
  if (head[tagEnd - 1] == '/') {
    head.replace(tagEnd - 1, 2, ">" + SelectionElement(cell, p) + "</" + p + "sheetView>");
    return;
  }
  const size_t close = head.find("</" + p + "sheetView>", tagEnd);
  std::string inner = head.substr(tagEnd + 1, close - tagEnd - 1);
  // The old selections go; a pane stays first.
  for (size_t s; (s = inner.find("<" + p + "selection")) != std::string::npos;) {
    const size_t e = inner.find("/>", s);
    inner.erase(s, e + 2 - s);
  }
  size_t put = 0;
  const size_t pane = inner.find("<" + p + "pane");
  if (pane != std::string::npos) put = inner.find("/>", pane) + 2;
  inner.insert(put, SelectionElement(cell, p));
  head.replace(tagEnd + 1, close - tagEnd - 1, inner);
}

// Whether A1 of the sheet holds a text or value.
bool A1Filled(const std::string& rows, const std::string& p) {
  const std::string cell = "<" + p + "c r=\"A1\"";
  const size_t at = rows.find(cell);
  if (at == std::string::npos) return false;
  const size_t tagEnd = rows.find('>', at);
  if (rows[tagEnd - 1] == '/') return false;
  const size_t end = rows.find("</" + p + "c>", tagEnd);
  const std::string inner = rows.substr(tagEnd + 1, end - tagEnd - 1);
  // A value, or an inline text with characters in it.
  return inner.find("<" + p + "v>") != std::string::npos || inner.find("<" + p + "f") != std::string::npos ||
         (inner.find("<" + p + "t") != std::string::npos && inner.find("></" + p + "t>") == std::string::npos);
}

std::string BlankA1(const std::string& p) {
  return "<" + p + "c r=\"A1\" t=\"inlineStr\"><" + p + "is><" + p + "t xml:space=\"preserve\"> </" + p + "t></" + p +
         "is></" + p + "c>";
}

void NewWorkbookSheet(const TExportGrid& grid, const TStyleIds& ids, TOut& out) {
  const int first = 3;  // A1 holds one blank; one empty row; then the block
  const int last = first + grid.RowCount() + 1;
  out << XmlHead << "<worksheet xmlns=\"" << NsMain << "\" xmlns:r=\"" << NsRel << "\">"
      << "<dimension ref=\"A1:" << ColumnLetter(static_cast<int>(grid.Columns.size())) << std::to_string(last) << "\"/>"
      << "<sheetViews><sheetView tabSelected=\"1\" workbookViewId=\"0\">" << SelectionElement("A3", "")
      << "</sheetView></sheetViews><sheetFormatPr defaultRowHeight=\"12.75\"/>" << ColsElement(BlockWidths(grid), "")
      << "<sheetData><row r=\"1\">" << BlankA1("") << "</row>";
  SheetBlock(grid, ids, first, "", out);
  out << "</sheetData></worksheet>";
}

void NewWorkbook(const TExportGrid& grid, const QString& file) {
  TPackage pkg(file, true);
  pkg.Put("[Content_Types].xml", ContentTypes({{"/xl/workbook.xml", "spreadsheetml.sheet.main+xml"},
                                               {"/xl/worksheets/sheet1.xml", "spreadsheetml.worksheet+xml"},
                                               {"/xl/styles.xml", "spreadsheetml.styles+xml"},
                                               {"/docProps/app.xml", "extended-properties+xml"}}));
  pkg.Put("_rels/.rels",
          Relationships({{"officeDocument", "xl/workbook.xml"}, {"extended-properties", "docProps/app.xml"}}));
  pkg.Put("docProps/app.xml",
          std::string(XmlHead) +
              "<Properties xmlns=\"http://schemas.openxmlformats.org/officeDocument/2006/extended-properties\">"
              "<Application>Kestrune Quorimeter</Application></Properties>");
  pkg.Put("xl/workbook.xml", std::string(XmlHead) + "<workbook xmlns=\"" + NsMain + "\" xmlns:r=\"" + NsRel +
                                 "\"><bookViews><workbookView/></bookViews><sheets><sheet name=\"Report\" "
                                 "sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>");
  pkg.Put("xl/_rels/workbook.xml.rels",
          Relationships({{"worksheet", "worksheets/sheet1.xml"}, {"styles", "styles.xml"}}));
  pugi::xml_document styles;
  const std::string base = NewStyles();
  styles.load_buffer(base.data(), base.size());
  const TStyleIds ids = AddStyles(styles);
  std::ostringstream out;
  styles.save(out, "", pugi::format_raw | pugi::format_no_declaration);
  pkg.Put("xl/styles.xml", std::string(XmlHead) + out.str());
  pkg.PutStreamed("xl/worksheets/sheet1.xml", [&](TOut& out) { NewWorkbookSheet(grid, ids, out); });
  pkg.Commit();
}

void AddToWorkbook(const TExportGrid& grid, const QString& file) {
  TPackage pkg(file, false);
  const auto workbook = pkg.Read("xl/workbook.xml");
  const auto workbookRels = pkg.Read("xl/_rels/workbook.xml.rels");
  if (!workbook || !workbookRels) Fail(file, "it is not an Excel workbook");
  pugi::xml_document wb;
  if (!wb.load_buffer(workbook->data(), workbook->size())) Fail(file, "its workbook part is damaged");
  pugi::xml_node sheet;
  for (pugi::xml_node n : wb.document_element().children()) {
    const std::string name = n.name();
    if (name.size() >= 6 && name.compare(name.size() - 6, 6, "sheets") == 0) {
      sheet = n.first_child();
      break;
    }
  }
  std::string rid;
  for (pugi::xml_attribute a : sheet.attributes()) {
    const std::string name = a.name();
    if (name.size() > 3 && name.compare(name.size() - 3, 3, ":id") == 0) rid = a.value();
  }
  const std::string sheetPart = RelTarget(*workbookRels, rid, "xl/");
  std::optional<std::string> sheetXml = sheetPart.empty() ? std::nullopt : pkg.Read(sheetPart);
  if (!sheetXml) Fail(file, "its first sheet cannot be found");
  std::string& xml = *sheetXml;
  const std::string p = RootPrefix(xml, "worksheet");

  // Our formats go into the styles part, made when there is none.
  std::string stylesPart;
  {
    pugi::xml_document rels;
    rels.load_buffer(workbookRels->data(), workbookRels->size());
    for (pugi::xml_node r : rels.document_element().children()) {
      const std::string type = r.attribute("Type").value();
      if (type.size() >= 7 && type.compare(type.size() - 7, 7, "/styles") == 0)
        stylesPart = RelTarget(*workbookRels, r.attribute("Id").value(), "xl/");
    }
  }
  pugi::xml_document styles;
  std::optional<std::string> stylesXml = stylesPart.empty() ? std::nullopt : pkg.Read(stylesPart);
  if (!stylesXml) {
    stylesPart = "xl/styles.xml";
    stylesXml = NewStyles();
    std::string rels = *workbookRels;
    rels.insert(rels.rfind("</"), Relationship("rIdQrmtStyles", "styles", "styles.xml"));
    pkg.Put("xl/_rels/workbook.xml.rels", rels);
    if (auto types = pkg.Read("[Content_Types].xml")) {
      types->insert(types->rfind("</"), Override("/xl/styles.xml", "spreadsheetml.styles+xml"));
      pkg.Put("[Content_Types].xml", *types);
    }
  }
  if (!styles.load_buffer(stylesXml->data(), stylesXml->size())) Fail(file, "its styles part is damaged");
  const TStyleIds ids = AddStyles(styles);

  // The sheet's rows stay as they are; the block goes after the last one.
  size_t dataOpen = xml.find("<" + p + "sheetData");
  if (dataOpen == std::string::npos) Fail(file, "its first sheet is damaged");
  size_t dataBegin = xml.find('>', dataOpen) + 1;
  size_t dataEnd;
  if (xml[dataBegin - 2] == '/') {  // <sheetData/>
    xml.replace(dataOpen, dataBegin - dataOpen, "<" + p + "sheetData></" + p + "sheetData>");
    dataBegin = dataOpen + p.size() + 11;
  }
  dataEnd = xml.find("</" + p + "sheetData>", dataBegin);
  if (dataEnd == std::string::npos) Fail(file, "its first sheet is damaged");
  const std::string_view rows(xml.data() + dataBegin, dataEnd - dataBegin);
  // A1 must read as a text: edits at the start of the rows, the rest kept.
  std::string start;  // what stands before rows[keepFrom...]
  size_t keepFrom = 0;
  if (!A1Filled(std::string(rows.substr(0, std::min<size_t>(rows.size(), rows.find("</" + p + "row>") + 16))), p)) {
    const std::string row1 = "<" + p + "row r=\"1\"";
    const size_t at = rows.find(row1);
    if (at == std::string_view::npos) {
      start = "<" + p + "row r=\"1\">" + BlankA1(p) + "</" + p + "row>";
    } else {
      const size_t tagEnd = rows.find('>', at);
      start = std::string(rows.substr(0, tagEnd - (rows[tagEnd - 1] == '/' ? 1 : 0)));
      if (rows[tagEnd - 1] == '/') {
        start += ">" + BlankA1(p) + "</" + p + "row>";
        keepFrom = tagEnd + 1;
      } else {
        start += ">" + BlankA1(p);
        keepFrom = tagEnd + 1;
        // An empty A1 element goes; the blank stands first in its row.
        const std::string a1 = "<" + p + "c r=\"A1\"";
        const size_t old = rows.find(a1, tagEnd);
        const size_t rowEnd = rows.find("</" + p + "row>", tagEnd);
        if (old != std::string_view::npos && old < rowEnd) {
          const size_t oldTag = rows.find('>', old);
          const size_t oldEnd =
              rows[oldTag - 1] == '/' ? oldTag + 1 : rows.find("</" + p + "c>", oldTag) + p.size() + 4;
          start += std::string(rows.substr(tagEnd + 1, old - tagEnd - 1));
          keepFrom = oldEnd;
        }
      }
    }
  }
  const int lastUsed = std::max(1, LastUsedRow(xml, dataBegin, dataEnd, p));
  const int first = lastUsed + 2;
  const int lastRow = first + grid.RowCount() + 1;
  std::string head = xml.substr(0, dataOpen);
  SetSelection(head, "A" + std::to_string(first), p);
  if (head.find("<" + p + "cols") == std::string::npos) head += ColsElement(BlockWidths(grid), p);
  // The used range now reaches the block's last row and column.
  const size_t dim = head.find("<" + p + "dimension");
  if (dim != std::string::npos) {
    const size_t end = head.find("/>", dim);
    const std::string ref = head.substr(dim, end - dim);
    std::string lastCol = ColumnLetter(static_cast<int>(grid.Columns.size()));
    const size_t colon = ref.rfind(':');
    if (colon != std::string::npos) {
      std::string oldLast;
      for (size_t i = colon + 1; i < ref.size() && std::isalpha(static_cast<unsigned char>(ref[i])); ++i)
        oldLast += ref[i];
      if (oldLast.size() > lastCol.size() || (oldLast.size() == lastCol.size() && oldLast > lastCol)) lastCol = oldLast;
    }
    head.replace(dim, end - dim, "<" + p + "dimension ref=\"A1:" + lastCol + std::to_string(lastRow) + "\"");
  }
  std::ostringstream stylesOut;
  styles.save(stylesOut, "", pugi::format_raw | pugi::format_no_declaration);
  pkg.Put(stylesPart, std::string(XmlHead) + stylesOut.str());
  pkg.PutStreamed(sheetPart, [&](TOut& out) {
    out << head << "<" + p + "sheetData>" << start << rows.substr(keepFrom);
    SheetBlock(grid, ids, first, p, out);
    out << std::string_view(xml).substr(dataEnd);
  });
  pkg.Commit();
}

// --- Word ---------------------------------------------------------------------

// The text width of the document's last section in twips; 0 when unknown.
int PageTextWidth(const std::string& xml, const std::string& p) {
  auto attribute = [&](size_t tag, const std::string& name) {
    const size_t end = xml.find('>', tag);
    const std::string key = " " + p + name + "=\"";
    const size_t at = xml.find(key, tag);
    return at != std::string::npos && at < end ? std::atoi(xml.c_str() + at + key.size()) : 0;
  };
  const size_t size = xml.rfind("<" + p + "pgSz");
  const size_t margins = xml.rfind("<" + p + "pgMar");
  if (size == std::string::npos) return 0;
  const int width = attribute(size, "w");
  const int left = margins == std::string::npos ? 1440 : attribute(margins, "left");
  const int right = margins == std::string::npos ? 1440 : attribute(margins, "right");
  return width > left + right ? width - left - right : 0;
}

void WordTable(const TExportGrid& grid, const std::string& p, int pageWidth, TOut& t) {
  const size_t n = grid.Columns.size();
  const int rows = grid.RowCount();
  // Column widths in twentieths of a point from the longest text, 7 point.
  const std::vector<qsizetype> chars = ColumnTextWidths(grid);
  // Fitted to the longest text at 7 point, the whole no wider than the page.
  std::vector<int> twips(n);
  int total = 0;
  for (size_t k = 0; k < n; ++k) total += twips[k] = static_cast<int>(chars[k] * 95 + 150);
  // Too wide for the page: the file names wrap first, the numbers never
  // unless the page is narrower than they are.
  for (size_t k = 0; k < n && pageWidth > 0 && total > pageWidth; ++k) {
    if (!grid.Table->TextColumn(grid.Columns[k])) continue;
    const int narrowest = std::max(pageWidth / 4, 1440);
    const int cut = std::min(total - pageWidth, std::max(0, twips[k] - narrowest));
    twips[k] -= cut;
    total -= cut;
  }
  if (pageWidth > 0 && total > pageWidth) {
    const int wide = total;
    total = 0;
    for (int& w : twips) total += w = static_cast<int>(static_cast<int64_t>(w) * pageWidth / wide);
  }
  t << "<" << p << "tbl><" << p << "tblPr><" << p << "tblW " << p << "w=\"" << std::to_string(total) << "\" " << p
    << "type=\"dxa\"/><" << p << "tblBorders>";
  for (const char* side : {"top", "left", "bottom", "right", "insideH", "insideV"})
    t << "<" << p << side << " " << p << "val=\"single\" " << p << "sz=\"4\" " << p << "space=\"0\" " << p
      << "color=\"000000\"/>";
  t << "</" << p << "tblBorders><" << p << "tblLayout " << p << "type=\"fixed\"/><" << p << "tblCellMar><" << p
    << "left " << p << "w=\"40\" " << p << "type=\"dxa\"/><" << p << "right " << p << "w=\"40\" " << p
    << "type=\"dxa\"/></" << p << "tblCellMar></" << p << "tblPr><" << p << "tblGrid>";
  for (size_t k = 0; k < n; ++k) t << "<" << p << "gridCol " << p << "w=\"" << std::to_string(twips[k]) << "\"/>";
  t << "</" << p << "tblGrid>";
  // Every piece of markup once: the table has up to a million cells.
  const std::string tcOpen = "<" + p + "tc>", tcClose = "</" + p + "tc>",
                    centred = "<" + p + "tcPr><" + p + "vAlign " + p + "val=\"center\"/></" + p + "tcPr>",
                    paraOpen = "<" + p + "p><" + p + "pPr><" + p + "spacing " + p + "before=\"0\" " + p +
                               "after=\"0\"/><" + p + "jc " + p + "val=\"",
                    runOpen = "\"/></" + p + "pPr><" + p + "r><" + p + "rPr>", bold = "<" + p + "b/>",
                    red = "<" + p + "color " + p + "val=\"FF0000\"/>",
                    textOpen = "<" + p + "sz " + p + "val=\"14\"/></" + p + "rPr><" + p + "t xml:space=\"preserve\">",
                    textClose = "</" + p + "t></" + p + "r></" + p + "p></" + p + "tc>", trOpen = "<" + p + "tr>",
                    trClose = "</" + p + "tr>";
  auto cell = [&](const QString& text, const char* align, bool isBold, bool isRed, bool centre) {
    t << tcOpen;
    if (centre) t << centred;
    t << paraOpen << align << runOpen;
    if (isBold) t << bold;
    if (isRed) t << red;
    t << textOpen;
    PutMarkup(t, text);
    t << textClose;
  };
  t << "<" << p << "tr><" << p << "trPr><" << p << "tblHeader/></" << p << "trPr>";
  for (int c : grid.Columns) cell(grid.Table->Title(c), "center", true, false, true);
  t << trClose;
  for (int i = 0; i < rows; ++i) {
    const int r = grid.Row(i);
    t << trOpen;
    for (int c : grid.Columns)
      cell(grid.Table->CellText(r, c), grid.Table->TextColumn(c) ? "left" : "right", false, grid.Table->IsRed(r, c),
           false);
    t << trClose;
  }
  t << trOpen;
  for (int c : grid.Columns)
    cell(grid.Table->FooterText(c), grid.Table->TextColumn(c) ? "left" : "right", true, false, false);
  t << trClose << "</" << p << "tbl>";
}

void NewDocument(const TExportGrid& grid, const QString& file) {
  TPackage pkg(file, true);
  pkg.Put("[Content_Types].xml", ContentTypes({{"/word/document.xml", "wordprocessingml.document.main+xml"}}));
  pkg.Put("_rels/.rels", Relationships({{"officeDocument", "word/document.xml"}}));
  // A new document holds one empty paragraph; the table goes before it,
  // after one empty paragraph and followed by another.
  pkg.PutStreamed("word/document.xml", [&](TOut& doc) {
    doc << XmlHead << "<w:document xmlns:w=\"" << NsWord << "\" xmlns:r=\"" << NsRel << "\"><w:body><w:p/>";
    WordTable(grid, "w:", 16838 - 1440, doc);
    doc << "<w:p/><w:p/><w:sectPr><w:pgSz w:w=\"16838\" w:h=\"11906\" w:orient=\"landscape\"/><w:pgMar w:top=\"720\" "
           "w:right=\"720\" w:bottom=\"720\" w:left=\"720\" w:header=\"360\" w:footer=\"360\" w:gutter=\"0\"/>"
           "</w:sectPr></w:body></w:document>";
  });
  pkg.Commit();
}

void AddToDocument(const TExportGrid& grid, const QString& file) {
  TPackage pkg(file, false);
  std::string part = "word/document.xml";
  if (const auto rels = pkg.Read("_rels/.rels")) {
    pugi::xml_document doc;
    if (doc.load_buffer(rels->data(), rels->size()))
      for (pugi::xml_node r : doc.document_element().children()) {
        const std::string type = r.attribute("Type").value();
        if (type.size() >= 15 && type.compare(type.size() - 15, 15, "/officeDocument") == 0) {
          std::string target = r.attribute("Target").value();
          if (!target.empty() && target[0] == '/') target.erase(0, 1);
          part = target;
        }
      }
  }
  // The document is read twice, a megabyte at a time: once for its start
  // (up to the body) and its end (the page of the last section), once to
  // copy it around the table.
  constexpr size_t MaxStart = 16 << 20, TailKeep = 256 << 10;
  std::string start, tail;
  size_t bodyEnd = std::string::npos;
  std::string p;
  const bool found = pkg.ReadChunks(part, [&](std::string_view chunk) {
    if (bodyEnd == std::string::npos && start.size() < MaxStart) {
      start.append(chunk);
      if (p.empty()) p = RootPrefix(start, "document");
      const size_t body = start.find("<" + p + "body");
      if (body != std::string::npos) {
        const size_t close = start.find('>', body);
        if (close != std::string::npos) bodyEnd = close;
      }
    }
    tail.append(chunk);
    if (tail.size() > 2 * TailKeep) tail.erase(0, tail.size() - TailKeep);
  });
  if (!found || bodyEnd == std::string::npos) Fail(file, "it is not a Word document");
  const bool emptyBody = start[bodyEnd - 1] == '/';  // <w:body/>
  const int pageWidth = PageTextWidth(tail, p);
  pkg.PutStreamed(part, [&](TOut& out) {
    if (emptyBody) {
      // A document without a body is small: whole, the body opened.
      const std::string all = pkg.Read(part).value_or(std::string());
      out << std::string_view(all).substr(0, bodyEnd - 1) << ">"
          << "<" + p + "p/>";
      WordTable(grid, p, pageWidth, out);
      out << "<" + p + "p/></" + p + "body>" << std::string_view(all).substr(bodyEnd + 1);
      return;
    }
    size_t seen = 0;
    pkg.ReadChunks(part, [&](std::string_view chunk) {
      const size_t begin = seen;
      seen += chunk.size();
      if (bodyEnd < begin || bodyEnd >= seen) {
        out << chunk;
        return;
      }
      // The chunk that holds the end of the body's opening tag: the table
      // goes right after it.
      const size_t cut = bodyEnd - begin;
      out << chunk.substr(0, cut + 1) << "<" + p + "p/>";
      WordTable(grid, p, pageWidth, out);
      out << "<" + p + "p/>" << chunk.substr(cut + 1);
    });
  });
  pkg.Commit();
}

}  // namespace

QString ColumnLetters(int column) {
  QString letters;
  for (int n = column; n > 0; n = (n - 1) / 26) letters.prepend(QChar('A' + (n - 1) % 26));
  return letters;
}

void ExportXlsx(TExportMode mode, const TExportGrid& grid, const QString& file) {
  CheckTarget(mode, file);
  if (grid.Columns.empty()) Fail(file, "no column is shown");
  if (mode == emAddToExisting) {
    AddToWorkbook(grid, file);
  } else {
    NewWorkbook(grid, file);
  }
}

void ExportDocx(TExportMode mode, const TExportGrid& grid, const QString& file) {
  CheckTarget(mode, file);
  if (grid.Columns.empty()) Fail(file, "no column is shown");
  if (mode == emAddToExisting) {
    AddToDocument(grid, file);
  } else {
    NewDocument(grid, file);
  }
}

}  // namespace qrmt
