#include "qrmt_counter.h"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <optional>
#include <stdexcept>

#ifdef _WIN32
#include <io.h>
#define QRMT_OPEN(name) ::_open(name, _O_RDONLY | _O_BINARY)
#define QRMT_READ(fd, buf, n) ::_read(fd, buf, static_cast<unsigned>(n))
#define QRMT_CLOSE(fd) ::_close(fd)
#else
#include <unistd.h>
#define QRMT_OPEN(name) ::open(name, O_RDONLY | O_CLOEXEC)
#define QRMT_READ(fd, buf, n) ::read(fd, buf, n)
#define QRMT_CLOSE(fd) ::close(fd)
#endif

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace qrmt {

namespace {

constexpr size_t InitialBufferSize = 256 * 1024;
constexpr size_t RawBufferSize = 64 * 1024;
// Bytes kept back from the end of a buffer that is not the end of the file:
// enough for a line break sequence (CR LF U+2028) or a UTF-8 sequence.
constexpr size_t Lookahead = 5;
// Most distinct first bytes of comment symbols the line scan looks for
// itself; a format with more classifies every line in full.
constexpr unsigned MaxTriggers = TFileCounter::MaxTriggers;
constexpr uint8_t TriggerOpens = 1;   // starts a single-line or a block comment
constexpr uint8_t TriggerCloses = 2;  // ends a block comment

class TCountError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TFile {
 public:
  TFile(const std::string& name, const TFileCounter::TReadFunction& read) : FFd(QRMT_OPEN(name.c_str())), FRead(read) {}
  ~TFile() {
    if (FFd >= 0) QRMT_CLOSE(FFd);
  }
  TFile(const TFile&) = delete;
  TFile& operator=(const TFile&) = delete;
  bool IsOpen() const { return FFd >= 0; }
  // Reads until `size` bytes or the end of the file; returns the count.
  size_t ReadFull(char* dst, size_t size, const std::string& name) {
    size_t done = 0;
    while (done < size) {
      auto n = FRead ? FRead(FFd, dst + done, size - done) : QRMT_READ(FFd, dst + done, size - done);
      if (n < 0) {
        if (errno == EINTR) continue;
        throw TCountError("Cannot read file \"" + name + "\". " + std::strerror(errno));
      }
      if (n == 0) break;
      done += static_cast<size_t>(n);
    }
    return done;
  }

 private:
  int FFd;
  const TFileCounter::TReadFunction& FRead;
};

constexpr bool IsWhite(unsigned char c) {
  return c <= 32;
}
constexpr char ToLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

// Length of the well-formed UTF-8 sequence at p (true), or of its maximal
// ill-formed subpart (false). `avail` is at least 1.
bool Utf8Sequence(const unsigned char* p, size_t avail, size_t& len) {
  unsigned c = p[0];
  size_t need;
  unsigned lo = 0x80, hi = 0xBF;
  if (c < 0x80) {
    len = 1;
    return true;
  } else if (c >= 0xC2 && c <= 0xDF) {
    need = 1;
  } else if (c == 0xE0) {
    need = 2;
    lo = 0xA0;
  } else if ((c >= 0xE1 && c <= 0xEC) || c == 0xEE || c == 0xEF) {
    need = 2;
  } else if (c == 0xED) {
    need = 2;
    hi = 0x9F;
  } else if (c == 0xF0) {
    need = 3;
    lo = 0x90;
  } else if (c >= 0xF1 && c <= 0xF3) {
    need = 3;
  } else if (c == 0xF4) {
    need = 3;
    hi = 0x8F;
  } else {
    len = 1;
    return false;
  }
  for (size_t i = 1; i <= need; ++i) {
    if (i >= avail || p[i] < lo || p[i] > hi) {
      len = i;
      return false;
    }
    lo = 0x80;
    hi = 0xBF;
  }
  len = need + 1;
  return true;
}

// The masks of one 64-byte block of text: the bytes the line loop must
// look at (CR, LF, NUL and bytes above 0x7F), the bytes other than white
// space, and the first bytes of the comment symbols. A line without the
// last needs no search; one without the second is blank.
struct TBlockMasks {
  // Trigger: a first byte of a symbol that opens a comment; Closer: of one
  // that closes it.
  uint64_t Stops = 0, Text = 0, Trigger = 0, Closer = 0;

  // Reads min(64, avail) bytes at p; 64 at once when they can.
  void Load(const unsigned char* p, size_t avail, const char* triggers, const uint8_t* kinds, unsigned count) {
    Stops = Text = Trigger = Closer = 0;
#if defined(__SSE2__)
    if (avail >= 64) {
      const __m128i cr = _mm_set1_epi8('\r');
      const __m128i lf = _mm_set1_epi8('\n');
      const __m128i zero = _mm_setzero_si128();
      const __m128i space = _mm_set1_epi8(' ');
      __m128i t[MaxTriggers];
      for (unsigned k = 0; k < count; ++k) t[k] = _mm_set1_epi8(triggers[k]);
      for (int part = 0; part < 4; ++part) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * part));
        const __m128i stop = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf)),
                                          _mm_or_si128(_mm_cmpeq_epi8(v, zero), v));
        __m128i trig = _mm_setzero_si128(), closer = _mm_setzero_si128();
        for (unsigned k = 0; k < count; ++k) {
          const __m128i eq = _mm_cmpeq_epi8(v, t[k]);
          if (kinds[k] & TriggerOpens) trig = _mm_or_si128(trig, eq);
          if (kinds[k] & TriggerCloses) closer = _mm_or_si128(closer, eq);
        }
        // Above the space: 33 to 127 by the signed compare, the rest by the sign.
        const __m128i text = _mm_or_si128(_mm_cmpgt_epi8(v, space), v);
        const int shift = 16 * part;
        Stops |= static_cast<uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(stop))) << shift;
        Trigger |= static_cast<uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(trig))) << shift;
        Closer |= static_cast<uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(closer))) << shift;
        Text |= static_cast<uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(text))) << shift;
      }
      return;
    }
#endif
    const size_t n = std::min<size_t>(64, avail);
    for (size_t i = 0; i < n; ++i) {
      const unsigned char c = p[i];
      const uint64_t bit = uint64_t{1} << i;
      if (c == '\r' || c == '\n' || c == 0 || c >= 0x80) Stops |= bit;
      if (c > 32) Text |= bit;
      for (unsigned k = 0; k < count; ++k) {
        if (c != static_cast<unsigned char>(triggers[k])) continue;
        if (kinds[k] & TriggerOpens) Trigger |= bit;
        if (kinds[k] & TriggerCloses) Closer |= bit;
      }
    }
  }
};

// Bits from..to-1 of a 64-bit mask (0 <= from <= to <= 64).
constexpr uint64_t BitRange(size_t from, size_t to) {
  const uint64_t upto = to >= 64 ? ~uint64_t{0} : (uint64_t{1} << to) - 1;
  return from >= 64 ? 0 : upto & (~uint64_t{0} << from);
}

// 1-based position of the first occurrence of `sym` in `l`, 0 when absent
// or when `sym` is empty.
size_t Find(std::string_view l, std::string_view sym) {
  if (sym.empty() || sym.size() > l.size()) return 0;
  const char first = sym[0];
  const char* p = l.data();
  const char* last = l.data() + (l.size() - sym.size());
  while (p <= last) {
    p = static_cast<const char*>(std::memchr(p, first, static_cast<size_t>(last - p) + 1));
    if (p == nullptr) return 0;
    if (std::memcmp(p + 1, sym.data() + 1, sym.size() - 1) == 0) return static_cast<size_t>(p - l.data()) + 1;
    ++p;
  }
  return 0;
}

// As Find, comparing `l` lowered (A to Z only) with an already lowered symbol.
size_t FindLowered(std::string_view l, std::string_view lowered) {
  if (lowered.empty() || lowered.size() > l.size()) return 0;
  const size_t last = l.size() - lowered.size();
  for (size_t i = 0; i <= last; ++i) {
    size_t j = 0;
    while (j < lowered.size() && ToLower(l[i + j]) == lowered[j]) ++j;
    if (j == lowered.size()) return i + 1;
  }
  return 0;
}

std::string_view TrimLeft(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && IsWhite(static_cast<unsigned char>(s[i]))) ++i;
  return s.substr(i);
}

std::string_view TrimRight(std::string_view s) {
  size_t n = s.size();
  while (n > 0 && IsWhite(static_cast<unsigned char>(s[n - 1]))) --n;
  return s.substr(0, n);
}

void AppendUtf8(char*& out, uint32_t cp) {
  if (cp < 0x80) {
    *out++ = static_cast<char>(cp);
  } else if (cp < 0x800) {
    *out++ = static_cast<char>(0xC0 | (cp >> 6));
    *out++ = static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    *out++ = static_cast<char>(0xE0 | (cp >> 12));
    *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    *out++ = static_cast<char>(0xF0 | (cp >> 18));
    *out++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (cp & 0x3F));
  }
}

constexpr uint32_t ReplacementChar = 0xFFFD;

// Turns UTF-16 from a file into UTF-8, keeping an odd byte and a high
// surrogate across reads. Lone surrogates become U+FFFD.
class TUtf16Decoder {
 public:
  explicit TUtf16Decoder(bool bigEndian) : FBigEndian(bigEndian) {}

  // Decodes whole units of [raw, raw + size) into out while at least 6 bytes
  // of room remain; returns the bytes of raw consumed.
  size_t Decode(const unsigned char* raw, size_t size, char*& out, const char* outEnd) {
    size_t i = 0;
    while (i + 2 <= size && outEnd - out >= 6) {
      uint32_t u = FBigEndian ? (raw[i] << 8 | raw[i + 1]) : (raw[i + 1] << 8 | raw[i]);
      i += 2;
      if (FHigh != 0) {
        if (u >= 0xDC00 && u <= 0xDFFF) {
          AppendUtf8(out, 0x10000 + ((FHigh - 0xD800) << 10) + (u - 0xDC00));
          FHigh = 0;
          continue;
        }
        AppendUtf8(out, ReplacementChar);
        FHigh = 0;
      }
      if (u >= 0xD800 && u <= 0xDBFF) {
        FHigh = u;
      } else if (u >= 0xDC00 && u <= 0xDFFF) {
        AppendUtf8(out, ReplacementChar);
      } else {
        AppendUtf8(out, u);
      }
    }
    return i;
  }
  // At the end of the file: a pending high surrogate is lone.
  void Finish(char*& out) {
    if (FHigh != 0) AppendUtf8(out, ReplacementChar);
    FHigh = 0;
  }

 private:
  bool FBigEndian;
  uint32_t FHigh = 0;
};

}  // namespace

void RepairUtf8(std::string_view in, std::string& out) {
  out.clear();
  const auto* p = reinterpret_cast<const unsigned char*>(in.data());
  size_t i = 0;
  while (i < in.size()) {
    size_t len = 0;
    if (Utf8Sequence(p + i, in.size() - i, len)) {
      out.append(in.data() + i, len);
    } else {
      out.append("\xEF\xBF\xBD");
    }
    i += len;
  }
}

TFileCounter::TFileCounter() = default;

void TFileCounter::SetComments(const TCommentList* value) {
  Comments = value;
  CloseSymbol = {};
  FSingles.clear();
  FMultis.clear();
  FTriggerCount = 0;
  FAllLinesInteresting = false;
  if (value == nullptr) return;
  // A line holding none of the first bytes of the symbols is code, blank or
  // comment by the state alone: the scan for line ends finds these bytes too.
  auto trigger = [this](std::string_view symbol, uint8_t kind) {
    if (symbol.empty()) return;  // never found
    const char c = symbol[0];
    if (static_cast<unsigned char>(c) >= 0x80) {
      FAllLinesInteresting = true;
      return;
    }
    for (unsigned k = 0; k < FTriggerCount; ++k) {
      if (FTriggers[k] == c) {
        FTriggerKinds[k] |= kind;
        return;
      }
    }
    if (FTriggerCount == MaxTriggers) {
      FAllLinesInteresting = true;
      return;
    }
    FTriggerKinds[FTriggerCount] = kind;
    FTriggers[FTriggerCount++] = c;
  };
  for (const auto& c : *value) {
    if (c->CommentType == 0) {
      trigger(c->StartSymbol, TriggerOpens);
      // Single-line symbols match in either case of their letters.
      const char first = c->StartSymbol.empty() ? 0 : c->StartSymbol[0];
      char other = 0;
      if (first >= 'a' && first <= 'z') other = static_cast<char>(first - 32);
      if (first >= 'A' && first <= 'Z') other = static_cast<char>(first + 32);
      if (other != 0) trigger(std::string_view(&other, 1), TriggerOpens);
    } else if (c->CommentType == 1) {
      trigger(c->StartSymbol, TriggerOpens);
      trigger(c->StopSymbol, TriggerCloses);
    }
  }
  for (const auto& c : *value) {
    if (c->CommentType == 0) {
      TSingle s;
      s.Lower = LowerAscii(c->StartSymbol);
      for (char ch : s.Lower) s.HasLetters |= (ch >= 'a' && ch <= 'z');
      s.FixedCol = c->FixedCol;
      FSingles.push_back(std::move(s));
    } else if (c->CommentType == 1) {
      FMultis.push_back({c->StartSymbol, c->StopSymbol});
    }
  }
}

bool TFileCounter::MatchSingle(std::string_view l, size_t& pos) const {
  for (const TSingle& s : FSingles) {
    size_t p = s.HasLetters ? FindLowered(l, s.Lower) : Find(l, s.Lower);
    // A one-character symbol on the last character of the line is no comment.
    if (p == 0 || p == l.size()) continue;
    if (s.FixedCol == 0 || s.FixedCol == p) {
      pos = p;
      return true;
    }
  }
  return false;
}

void TFileCounter::UpdateState(std::string_view rest) {
  for (;;) {
    std::string_view l = TrimLeft(rest);
    if (l.empty()) return;
    if (InComment) {
      size_t p = Find(l, CloseSymbol);
      if (p == 0) return;
      InComment = false;
      rest = l.substr(p - 1 + CloseSymbol.size());
      continue;
    }
    size_t pos = 0;
    if (MatchSingle(l, pos)) return;
    bool opened = false;
    for (const TMulti& m : FMultis) {
      size_t p = Find(l, m.Start);
      if (p == 0) continue;
      CloseSymbol = m.Stop;
      InComment = true;
      rest = l.substr(p - 1 + m.Start.size());
      opened = true;
      break;
    }
    if (!opened) return;
  }
}

TLineClass TFileCounter::ClassifyLine(std::string_view line) {
  std::string_view l = TrimLeft(line);
  if (l.empty()) return lcBlank;  // white space only: state unchanged
  if (InComment) {
    size_t p = Find(l, CloseSymbol);
    if (p == 0) return lcComment;
    InComment = false;
    UpdateState(l.substr(p - 1 + CloseSymbol.size()));
    return Find(TrimRight(l), CloseSymbol) == 1 ? lcComment : lcMixed;
  }
  size_t pos = 0;
  if (MatchSingle(l, pos)) return pos == 1 ? lcComment : lcMixed;
  for (const TMulti& m : FMultis) {
    size_t p = Find(l, m.Start);
    if (p == 0) continue;
    CloseSymbol = m.Stop;
    InComment = true;
    UpdateState(l.substr(p - 1 + m.Start.size()));
    return p == 1 ? lcComment : lcMixed;
  }
  return lcCode;
}

void TFileCounter::AddLine(const char* data, size_t size, bool needsRepair) {
  std::string_view line(data, size);
  if (needsRepair) {
    RepairUtf8(line, FRepaired);
    line = FRepaired;
  }
  ++CountResult.Nominal;
  switch (ClassifyLine(line)) {
    case lcCode: ++CountResult.SourceCode; break;
    case lcComment: ++CountResult.Comment; break;
    case lcMixed: ++CountResult.Mixed; break;
    case lcBlank: ++CountResult.Blank; break;
  }
}

void TFileCounter::ReadAndClassify() {
  TFile file(FileName, FRead);
  if (!file.IsOpen()) throw TCountError("Cannot open file \"" + FileName + "\". " + std::strerror(errno));
  if (FBuffer.size() < InitialBufferSize) FBuffer.resize(InitialBufferSize);

  size_t len = file.ReadFull(FBuffer.data(), FBuffer.size(), FileName);
  bool eof = len < FBuffer.size();
  size_t lineStart = 0;

  const auto* head = reinterpret_cast<const unsigned char*>(FBuffer.data());
  std::optional<TUtf16Decoder> utf16;
  size_t rawPos = 0, rawLen = 0;
  bool rawEof = false;
  if (len >= 2 && ((head[0] == 0xFF && head[1] == 0xFE) || (head[0] == 0xFE && head[1] == 0xFF))) {
    utf16.emplace(head[0] == 0xFE);
    // The bytes read so far are undecoded: they move to the raw buffer.
    FRaw.assign(FBuffer.begin() + 2, FBuffer.begin() + static_cast<std::ptrdiff_t>(len));
    rawLen = FRaw.size();
    rawEof = eof;
    len = 0;
    eof = false;
  } else if (len >= 3 && head[0] == 0xEF && head[1] == 0xBB && head[2] == 0xBF) {
    lineStart = 3;
  }

  // Adds decoded or read bytes after `len`; sets `eof` at the end of the text.
  auto fill = [&]() {
    if (FCancel != nullptr && FCancel->load(std::memory_order_relaxed)) throw TCountError("Count cancelled.");
    if (!utf16) {
      size_t n = file.ReadFull(FBuffer.data() + len, FBuffer.size() - len, FileName);
      len += n;
      eof = len < FBuffer.size();
      return;
    }
    char* out = FBuffer.data() + len;
    const char* outEnd = FBuffer.data() + FBuffer.size();
    while (outEnd - out >= 6) {
      if (rawLen - rawPos < 2) {
        if (rawEof) {
          utf16->Finish(out);
          eof = true;
          break;
        }
        // Keep a pending odd byte, then read more.
        std::memmove(FRaw.data(), FRaw.data() + rawPos, rawLen - rawPos);
        rawLen -= rawPos;
        rawPos = 0;
        if (FRaw.size() < RawBufferSize) FRaw.resize(RawBufferSize);
        size_t n = file.ReadFull(FRaw.data() + rawLen, FRaw.size() - rawLen, FileName);
        rawLen += n;
        rawEof = rawLen < FRaw.size();
        continue;
      }
      rawPos +=
          utf16->Decode(reinterpret_cast<const unsigned char*>(FRaw.data()) + rawPos, rawLen - rawPos, out, outEnd);
    }
    len = static_cast<size_t>(out - FBuffer.data());
  };
  if (utf16) fill();

  InComment = false;
  size_t scan = lineStart;
  bool bad = false;          // the current line holds invalid UTF-8
  bool interesting = false;  // the current line holds a first byte of a symbol that opens
  bool closing = false;      // the current line holds a first byte of a symbol that closes
  bool text = false;         // the current line holds more than white space
  const unsigned triggerCount = FAllLinesInteresting ? 0 : FTriggerCount;
  const bool fastPath = !FAllLinesInteresting;
  auto add = [&](const char* data, size_t size) {
    // Inside a block only its end can change the line's class, outside
    // only an opening.
    if (fastPath && !(InComment ? closing : interesting)) {
      // No symbol can start on this line: its class follows from the state.
      ++CountResult.Nominal;
      if (!text) {
        ++CountResult.Blank;
      } else if (InComment) {
        ++CountResult.Comment;
      } else {
        ++CountResult.SourceCode;
      }
      return;
    }
    AddLine(data, size, bad);
  };
  TBlockMasks masks;
  for (;;) {
    const size_t limit = eof ? len : (len > Lookahead ? len - Lookahead : 0);
    char* buf = FBuffer.data();
    const auto* ubuf = reinterpret_cast<const unsigned char*>(buf);
    // Block by block: the stop bytes of a block are taken in turn, and the
    // masks tell for the bytes between them what a line holds.
    while (scan < limit) {
      const size_t block = scan;
      const size_t size = std::min<size_t>(64, limit - block);
      masks.Load(ubuf + block, FBuffer.size() - block, FTriggers, FTriggerKinds, triggerCount);
      const uint64_t inBlock = BitRange(0, size);
      uint64_t stops = masks.Stops & inBlock;
      size_t from = 0;  // offset of the first byte not yet accounted for
      while (stops != 0) {
        const size_t at = static_cast<size_t>(__builtin_ctzll(stops));
        const uint64_t passed = BitRange(from, at);
        interesting |= (masks.Trigger & passed) != 0;
        closing |= (masks.Closer & passed) != 0;
        text |= (masks.Text & passed) != 0;
        const size_t i = block + at;
        const unsigned char c = ubuf[i];
        if (c >= 0x80) {
          size_t seq = 0;
          if (!Utf8Sequence(ubuf + i, len - i, seq)) {
            bad = true;
            text = true;  // U+FFFD
          } else if (!(seq == 3 && c == 0xE2 && ubuf[i + 1] == 0x80 && ubuf[i + 2] == 0xA8)) {
            text = true;
          } else {
            goto lineEnd;  // U+2028 line separator
          }
          from = at + seq;
          stops &= ~BitRange(0, from);
          continue;
        }
        if (c == 0) {
          if (i > lineStart) add(buf + lineStart, i - lineStart);
          return;  // a NUL ends the text
        }
      lineEnd : {
        add(buf + lineStart, i - lineStart);
        bad = false;
        interesting = closing = false;
        text = false;
        size_t next = i;  // where the next line starts: after CR, LF, U+2028, each optional, in this order
        if (c == '\n') {
          ++next;  // the common case: no CR before it
        } else {
          if (next < len && ubuf[next] == '\r') ++next;
          if (next < len && ubuf[next] == '\n') ++next;
        }
        if (next + 3 <= len && ubuf[next] == 0xE2 && ubuf[next + 1] == 0x80 && ubuf[next + 2] == 0xA8) next += 3;
        lineStart = next;
        from = next - block;
        stops &= ~BitRange(0, from);
      }
      }
      if (from < size) {
        const uint64_t rest = BitRange(from, size);
        interesting |= (masks.Trigger & rest) != 0;
        closing |= (masks.Closer & rest) != 0;
        text |= (masks.Text & rest) != 0;
        from = size;
      }
      scan = block + from;
    }
    if (eof) {
      if (lineStart < len) add(buf + lineStart, len - lineStart);
      return;
    }
    // Keep the unfinished line at the front and read on; a line that fills
    // the whole buffer makes it grow.
    std::memmove(buf, buf + lineStart, len - lineStart);
    len -= lineStart;
    scan -= lineStart;
    lineStart = 0;
    if (FBuffer.size() - len < FBuffer.size() / 4) FBuffer.resize(FBuffer.size() * 2);
    fill();
  }
}

void TFileCounter::CountFile() noexcept {
  CountResult = TCountResult();
  if (FileName.empty()) return;
  CountResult.Path = std::string(ExtractFilePath(FileName));
  CountResult.FileName = std::string(ExtractFileName(FileName));
  try {
    ReadAndClassify();
  } catch (const std::bad_alloc&) {
    CountResult.Error = "Out of memory while reading file \"" + FileName + "\".";
  } catch (const std::exception& e) {
    CountResult.Error = e.what();
  }
  if (CountResult.Failed()) {
    // A file that could not be read to its end counts as unread.
    CountResult.Nominal = CountResult.SourceCode = CountResult.Comment = 0;
    CountResult.Blank = CountResult.Mixed = 0;
    CountResult.Path.insert(0, FileOpenErrorPrefix);
    if (FOnFailure) {
      try {
        FOnFailure(CountResult.Error, SoundFile);
      } catch (...) {
        // The hook's own failure must not stop the count.
      }
    }
  }
  CountResult.Total = CountResult.SourceCode + CountResult.Comment + CountResult.Blank + CountResult.Mixed;
}

}  // namespace qrmt
