// File format model: formats, masks, comment delimiters, their definition
// text, and the count queue items that travel with them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qrmt {

// Owning, ordered list: removing, clearing or destroying it destroys the
// elements.
template <class T>
class TOwningList {
 public:
  TOwningList() = default;
  TOwningList(const TOwningList&) = delete;
  TOwningList& operator=(const TOwningList&) = delete;
  TOwningList(TOwningList&&) noexcept = default;
  TOwningList& operator=(TOwningList&&) noexcept = default;

  // Appends a new default element and returns it.
  T* Add() { return FItems.emplace_back(std::make_unique<T>()).get(); }
  // Appends `item`; returns its index.
  int Add(std::unique_ptr<T> item) {
    FItems.push_back(std::move(item));
    return static_cast<int>(FItems.size()) - 1;
  }
  T* Items(int index) const { return FItems.at(static_cast<size_t>(index)).get(); }
  T& operator[](int index) const { return *Items(index); }
  int Count() const { return static_cast<int>(FItems.size()); }
  bool Empty() const { return FItems.empty(); }
  void Clear() { FItems.clear(); }
  // Destroys `item` if it belongs to the list; returns whether it did.
  bool Remove(const T* item) {
    for (auto it = FItems.begin(); it != FItems.end(); ++it) {
      if (it->get() == item) {
        FItems.erase(it);
        return true;
      }
    }
    return false;
  }

  auto begin() const { return FItems.begin(); }
  auto end() const { return FItems.end(); }

 protected:
  std::vector<std::unique_ptr<T>>& Raw() { return FItems; }

 private:
  std::vector<std::unique_ptr<T>> FItems;
};

class TFileExtension {
 public:
  bool Enabled = false;
  std::string Value;

  void SetEnabled(bool value) { Enabled = value; }
  void SetValue(std::string value) { Value = std::move(value); }

  std::string WriteToText() const;
  void ReadFromText(std::string_view text);
};

class TFileExtensionList : public TOwningList<TFileExtension> {
 public:
  std::string WriteToText() const;
  void ReadFromText(std::string_view section);
};

class TComment {
 public:
  uint8_t CommentType = 2;  // 0 single-line, 1 multi-line, others inert
  std::string StartSymbol;
  std::string StopSymbol;
  uint16_t FixedCol = 0;

  void SetCommentType(uint8_t value) { CommentType = value; }
  void SetStartSymbol(std::string value) { StartSymbol = std::move(value); }
  void SetStopSymbol(std::string value) { StopSymbol = std::move(value); }
  void SetFixedCol(uint16_t value) { FixedCol = value; }

  std::string WriteToText() const;
  void ReadFromText(std::string_view text);
};

class TCommentList : public TOwningList<TComment> {
 public:
  std::string WriteToText() const;
  void ReadFromText(std::string_view section);
};

class TFileType {
 public:
  std::string Title;
  TCommentList Comments;
  bool Enabled = false;
  TFileExtensionList Extensions;

  void SetTitle(std::string value) { Title = std::move(value); }
  void SetEnabled(bool value) { Enabled = value; }

  std::string WriteToText() const;
  void ReadFromText(std::string_view text);
};

class TFileTypeList : public TOwningList<TFileType> {
 public:
  // Ascending by title, ASCII letters folded; not stable.
  void SortByTitle();
};

// The value of attribute `name` anywhere in `text` (name matched in any
// letter case), or empty.
std::string GetAttribute(std::string_view name, std::string_view text);

// The text between the first `open` and the first `close`; empty when
// `close` is missing or comes first. A missing `open` starts the text at
// its length (1-based), as stored texts rely on.
std::string_view TextBetween(std::string_view text, std::string_view open, std::string_view close);
// Cuts the next element from `rest`: from the first `open` (from the start
// when there is none) through the first "/>". `rest` keeps what follows
// that "/>", or loses its first character when there is none.
std::string_view TakeElement(std::string_view& rest, std::string_view open);

// Integer and boolean readings of attribute values.
bool TryParseInt32(std::string_view text, int32_t& value);
int32_t ReadNumber(std::string_view text);
bool ReadBoolean(std::string_view text, bool defaultValue);

// Path delimiters of the platform: "/" on POSIX, "\" and ":" on Windows.
constexpr bool IsPathDelimiter(char c) {
#ifdef _WIN32
  return c == '\\' || c == ':';
#else
  return c == '/';
#endif
}

// The text from the last "." to the end, dot included; empty when a path
// delimiter follows that dot or there is no dot.
std::string_view ExtractFileExt(std::string_view name);
// Everything up to and including the last path delimiter.
std::string_view ExtractFilePath(std::string_view name);
// The rest after the last path delimiter.
std::string_view ExtractFileName(std::string_view name);

// ASCII-only case folding, as the format list and the filter use it.
std::string LowerAscii(std::string_view text);
// <0, 0, >0 comparing with a to z folded to A to Z; a prefix sorts first.
int CompareTextAscii(std::string_view a, std::string_view b);

// The comment list of the first format with a mask whose extension equals
// `extension` exactly; nullptr when none. Enabled flags play no part.
const TCommentList* FindCommentList(const TFileTypeList& fileTypes, std::string_view extension);

// The format FindCommentList takes the comments of; nullptr when none.
const TFileType* FindFileType(const TFileTypeList& fileTypes, std::string_view extension);

// Shell-style wildcards: "*" any run, "?" one character, "[...]" one of a
// set ("[!...]" none of it, "a-z" ranges), "\\" makes the next one plain.
// Letter case counts. With `pathname`, no wildcard matches a "/".
bool MatchesPattern(std::string_view pattern, std::string_view text, bool pathname);

// "single" (0) and "multistring" (1).
std::vector<std::string> CommentTypeNames();

// The selection filter: whether `fileName` is admitted by an enabled mask of
// an enabled format.
bool MatchesFilter(const TFileTypeList& fileTypes, std::string_view fileName, bool zipEnabled);

class TCountQueueItem {
 public:
  int64_t Size = 0;
  std::string FileName;
  std::string DateText;
  std::string SizeText;
  std::string Path;
  double Date = 0;

  std::string FullName() const { return Path + FileName; }
};

class TCountQueue : public TOwningList<TCountQueueItem> {};

}  // namespace qrmt
