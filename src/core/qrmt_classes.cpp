#include "qrmt_classes.h"

#include <algorithm>
#include <charconv>

namespace qrmt {

namespace {

constexpr char ToUpperAscii(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}
constexpr char ToLowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}
constexpr bool IsWhite(char c) {
  return static_cast<unsigned char>(c) <= 32;
}

// 1-based position of `needle` in `hay`, 0 when absent (or needle empty).
size_t Pos(std::string_view needle, std::string_view hay) {
  if (needle.empty()) return 0;
  size_t p = hay.find(needle);
  return p == std::string_view::npos ? 0 : p + 1;
}

// Substring with 1-based index: an index below 1 counts as 1, a count that is
// not positive or an index past the end gives an empty text.
std::string_view Copy(std::string_view s, long long index, long long count) {
  if (index < 1) index = 1;
  if (count <= 0 || index > static_cast<long long>(s.size())) return {};
  return s.substr(static_cast<size_t>(index - 1), static_cast<size_t>(count));
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsWhite(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsWhite(s.back())) s.remove_suffix(1);
  return s;
}

const char* BoolText(bool b) {
  return b ? "True" : "False";
}

// A list section: the text between its tags without surrounding white space.
std::string_view Section(std::string_view text, std::string_view open, std::string_view close) {
  return Trim(TextBetween(text, open, close));
}

// The first occurrence of a needle at or after a position, searched again
// only once the position has passed what was found: over a walk that only
// moves forward, each needle costs one pass over the text.
class TNextOccurrence {
 public:
  TNextOccurrence(std::string_view text, std::string_view needle) : FText(text), FNeedle(needle) {}
  size_t From(size_t from) {
    if (FNeedle.empty() || FNone) return std::string_view::npos;
    if (!FKnown || FAt < from) {
      FAt = FText.find(FNeedle, from);
      FKnown = true;
      FNone = FAt == std::string_view::npos;  // none in a suffix means none in every later one
    }
    return FAt;
  }

 private:
  std::string_view FText, FNeedle;
  size_t FAt = 0;
  bool FKnown = false, FNone = false;
};

// Walks the elements of a list section while `word` occurs in what is left;
// `read` gets each element's text, cut as TakeElement cuts it.
template <class Read>
void ReadElements(std::string_view section, std::string_view word, std::string_view open, Read read) {
  constexpr size_t none = std::string_view::npos;
  TNextOccurrence nextWord(section, word), nextOpen(section, open), nextClose(section, "/>");
  size_t start = 0;
  while (start < section.size() && nextWord.From(start) != none) {
    const std::string_view rest = section.substr(start);
    const size_t o = nextOpen.From(start), c = nextClose.From(start);
    const long long f = o == none ? 0 : static_cast<long long>(o - start) + 1;
    const long long p = c == none ? 0 : static_cast<long long>(c - start) + 1;
    const std::string_view element = Copy(rest, f, p + 2 - f);
    // What is left starts after the "/>", or one character on without one.
    start = p + 2 <= static_cast<long long>(rest.size()) ? start + static_cast<size_t>(p) + 1 : section.size();
    read(element);
  }
}

}  // namespace

std::string_view TextBetween(std::string_view text, std::string_view open, std::string_view close) {
  const long long start = static_cast<long long>(Pos(open, text) + open.size());
  const long long stop = static_cast<long long>(Pos(close, text));
  if (stop == 0) return {};
  return Copy(text, start, stop - start);
}

std::string_view TakeElement(std::string_view& rest, std::string_view open) {
  const long long f = static_cast<long long>(Pos(open, rest));
  const long long p = static_cast<long long>(Pos("/>", rest));
  const std::string_view element = Copy(rest, f, p + 2 - f);
  rest = Copy(rest, p + 2, static_cast<long long>(rest.size()));
  return element;
}

bool TryParseInt32(std::string_view text, int32_t& value) {
  if (text.empty()) return false;
  size_t i = 0;
  bool negative = false;
  if (text[0] == '+' || text[0] == '-') {
    negative = text[0] == '-';
    i = 1;
  }
  if (i >= text.size()) return false;
  int64_t v = 0;
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
    if (v > 2147483648LL) return false;
  }
  if (negative) v = -v;
  if (v > INT32_MAX || v < INT32_MIN) return false;
  value = static_cast<int32_t>(v);
  return true;
}

int32_t ReadNumber(std::string_view text) {
  int32_t v = 0;
  return TryParseInt32(text, v) ? v : 0;
}

bool ReadBoolean(std::string_view text, bool defaultValue) {
  if (CompareTextAscii(text, "True") == 0) return true;
  if (CompareTextAscii(text, "False") == 0) return false;
  int32_t v = 0;
  if (TryParseInt32(text, v)) return v != 0;
  return defaultValue;
}

std::string GetAttribute(std::string_view name, std::string_view text) {
  std::string pattern;
  pattern.reserve(name.size() + 2);
  for (char c : name) pattern += ToUpperAscii(c);
  pattern += "=\"";
  // Case-insensitive search without building an upper-cased copy of text.
  auto it = std::search(text.begin(), text.end(), pattern.begin(), pattern.end(),
                        [](char a, char b) { return ToUpperAscii(a) == b; });
  if (it == text.end()) return {};
  size_t valueStart = static_cast<size_t>(it - text.begin()) + pattern.size();
  size_t quote = text.find('"', valueStart);
  if (quote == std::string_view::npos) return {};
  return std::string(text.substr(valueStart, quote - valueStart));
}

// --- writing ---------------------------------------------------------------

std::string TFileExtension::WriteToText() const {
  return "<extension value=\"" + Value + "\" enabled=\"" + BoolText(Enabled) + "\" />";
}

std::string TComment::WriteToText() const {
  return "<comment type=\"" + std::to_string(CommentType) + "\" start=\"" + StartSymbol + "\" stop=\"" + StopSymbol +
         "\" fixedcol=\"" + std::to_string(FixedCol) + "\" />";
}

std::string TFileExtensionList::WriteToText() const {
  std::string inner;
  for (const auto& e : *this) inner += e->WriteToText();
  return "<extensions> " + inner + " </extensions>";
}

std::string TCommentList::WriteToText() const {
  std::string inner;
  for (const auto& c : *this) inner += c->WriteToText();
  return "<comments> " + inner + " </comments>";
}

std::string TFileType::WriteToText() const {
  return "<filetype title=\"" + Title + "\" enabled=\"" + BoolText(Enabled) + "\"> " + Extensions.WriteToText() + " " +
         Comments.WriteToText() + " </filetype>";
}

// --- reading ---------------------------------------------------------------

void TFileExtension::ReadFromText(std::string_view text) {
  Value = GetAttribute("value", text);
  Enabled = ReadBoolean(GetAttribute("enabled", text), true);
}

void TComment::ReadFromText(std::string_view text) {
  CommentType = static_cast<uint8_t>(ReadNumber(GetAttribute("type", text)));
  StartSymbol = GetAttribute("start", text);
  StopSymbol = GetAttribute("stop", text);
  FixedCol = static_cast<uint16_t>(ReadNumber(GetAttribute("fixedcol", text)));
}

void TFileExtensionList::ReadFromText(std::string_view section) {
  Clear();
  ReadElements(section, "extension", "<extension", [this](std::string_view element) { Add()->ReadFromText(element); });
}

void TCommentList::ReadFromText(std::string_view section) {
  Clear();
  ReadElements(section, "comment", "<comment", [this](std::string_view element) { Add()->ReadFromText(element); });
}

void TFileType::ReadFromText(std::string_view text) {
  Title = GetAttribute("title", text);
  Enabled = ReadBoolean(GetAttribute("enabled", text), false);
  Extensions.ReadFromText(Section(text, "<extensions>", "</extensions>"));
  Comments.ReadFromText(Section(text, "<comments>", "</comments>"));
}

// --- list order, lookup, filter -------------------------------------------

int CompareTextAscii(std::string_view a, std::string_view b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    auto ca = static_cast<unsigned char>(ToUpperAscii(a[i]));
    auto cb = static_cast<unsigned char>(ToUpperAscii(b[i]));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

std::string LowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = ToLowerAscii(c);
  return out;
}

void TFileTypeList::SortByTitle() {
  auto& items = Raw();
  std::sort(items.begin(), items.end(),
            [](const auto& a, const auto& b) { return CompareTextAscii(a->Title, b->Title) < 0; });
}

std::string_view ExtractFileExt(std::string_view name) {
  for (size_t i = name.size(); i-- > 0;) {
    if (name[i] == '.') return name.substr(i);
    if (IsPathDelimiter(name[i])) break;
  }
  return {};
}

std::string_view ExtractFilePath(std::string_view name) {
  for (size_t i = name.size(); i-- > 0;) {
    if (IsPathDelimiter(name[i])) return name.substr(0, i + 1);
  }
  return {};
}

std::string_view ExtractFileName(std::string_view name) {
  return name.substr(ExtractFilePath(name).size());
}

const TFileType* FindFileType(const TFileTypeList& fileTypes, std::string_view extension) {
  for (const auto& type : fileTypes) {
    for (const auto& mask : type->Extensions) {
      if (ExtractFileExt(mask->Value) == extension) return type.get();
    }
  }
  return nullptr;
}

const TCommentList* FindCommentList(const TFileTypeList& fileTypes, std::string_view extension) {
  const TFileType* type = FindFileType(fileTypes, extension);
  return type ? &type->Comments : nullptr;
}

bool MatchesPattern(std::string_view pattern, std::string_view text, bool pathname) {
  size_t p = 0, t = 0;
  size_t starP = std::string_view::npos, starT = 0;
  // One class: "[...]", with "!" or "^" for its complement and a-z ranges.
  auto matchClass = [&](size_t& at, char c, bool& ok) {
    size_t i = at + 1;
    bool negate = false;
    if (i < pattern.size() && (pattern[i] == '!' || pattern[i] == '^')) {
      negate = true;
      ++i;
    }
    bool hit = false;
    bool first = true;
    for (; i < pattern.size() && (first || pattern[i] != ']'); ++i, first = false) {
      if (i + 2 < pattern.size() && pattern[i + 1] == '-' && pattern[i + 2] != ']') {
        if (pattern[i] <= c && c <= pattern[i + 2]) hit = true;
        i += 2;
      } else if (pattern[i] == c) {
        hit = true;
      }
    }
    if (i >= pattern.size()) return false;  // no closing "]": not a class
    ok = hit != negate && !(pathname && c == '/');
    at = i + 1;
    return true;
  };
  while (t < text.size()) {
    bool advanced = false;
    if (p < pattern.size()) {
      const char pc = pattern[p];
      if (pc == '*') {
        starP = p++;
        starT = t;
        continue;
      }
      if (pc == '?' && !(pathname && text[t] == '/')) {
        ++p;
        ++t;
        advanced = true;
      } else if (pc == '[') {
        size_t at = p;
        bool ok = false;
        if (matchClass(at, text[t], ok)) {
          if (ok) {
            p = at;
            ++t;
            advanced = true;
          }
        } else if (text[t] == '[') {
          ++p;
          ++t;
          advanced = true;
        }
      } else if (pc == '\\' && p + 1 < pattern.size() && pattern[p + 1] == text[t]) {
        p += 2;
        ++t;
        advanced = true;
      } else if (pc != '?' && pc == text[t]) {
        ++p;
        ++t;
        advanced = true;
      }
    }
    if (advanced) continue;
    // Back to the last "*", which takes one character more, never a "/"
    // of a path.
    if (starP == std::string_view::npos || (pathname && text[starT] == '/')) return false;
    p = starP + 1;
    t = ++starT;
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

std::vector<std::string> CommentTypeNames() {
  return {"single", "multistring"};
}

bool MatchesFilter(const TFileTypeList& fileTypes, std::string_view fileName, bool zipEnabled) {
  const std::string ext = LowerAscii(ExtractFileExt(fileName));
  if (ext == ".zip" && !zipEnabled) return false;
  std::string lowerName;  // made on first need: only masks without a dot use it
  for (const auto& type : fileTypes) {
    if (!type->Enabled) continue;
    for (const auto& mask : type->Extensions) {
      if (!mask->Enabled) continue;
      std::string_view m = ExtractFileExt(mask->Value);
      if (!m.empty()) {
        if (m == ext) return true;
      } else {
        if (lowerName.empty()) lowerName = LowerAscii(ExtractFileName(fileName));
        if (lowerName == LowerAscii(mask->Value)) return true;
      }
    }
  }
  return false;
}

}  // namespace qrmt
