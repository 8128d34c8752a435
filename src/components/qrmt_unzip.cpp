#include "qrmt_unzip.h"

#include <zip.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <unordered_set>
#include <vector>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace qrmt {

namespace {

struct ZipCloser {
  void operator()(zip_t* z) const { zip_discard(z); }
};
struct FileCloser {
  void operator()(zip_file_t* f) const { zip_fclose(f); }
};

[[noreturn]] void Fail(const std::string& archive, const std::string& reason) {
  throw EUnzipError("The zip archive \"" + archive + "\" cannot be unpacked: " + reason + ".");
}

// The part after the last "/" or "\": an entry never names a folder of
// its own, so "../x", "/etc/x" and "a\..\x" all land on their base name.
std::string BaseName(const char* entry) {
  std::string name = entry;
  const size_t cut = name.find_last_of("/\\");
  if (cut != std::string::npos) name.erase(0, cut + 1);
  if (name == "." || name == "..") name.clear();
  return name;
}

int64_t FreeBytes(const std::string& folder) {
  if (UnzipFreeSpace) return UnzipFreeSpace(folder);
  std::error_code ec;
  const auto space = std::filesystem::space(folder, ec);
  return ec ? -1 : static_cast<int64_t>(space.available);
}

}  // namespace

std::string NumberedName(const std::string& name, int n) {
  const size_t dot = name.find_last_of('.');
  const std::string suffix = " (" + std::to_string(n) + ")";
  if (dot == std::string::npos || dot == 0) return name + suffix;
  return name.substr(0, dot) + suffix + name.substr(dot);
}

int UnzipFlat(const std::string& archive, const std::string& folder, const std::function<void(int)>& progress) {
  int error = 0;
  std::unique_ptr<zip_t, ZipCloser> za(zip_open(archive.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &error));
  if (!za) {
    zip_error_t err;
    zip_error_init_with_code(&err, error);
    std::string reason;
    switch (error) {
      case ZIP_ER_NOZIP: reason = "it is not a zip archive"; break;
      case ZIP_ER_INCONS:
      case ZIP_ER_CRC: reason = std::string("it is damaged (") + zip_error_strerror(&err) + ")"; break;
      default: reason = zip_error_strerror(&err); break;
    }
    zip_error_fini(&err);
    Fail(archive, reason);
  }
  const zip_int64_t entries = zip_get_num_entries(za.get(), 0);
  // Look at every entry before writing anything: an encrypted one, or a
  // sum that does not fit on the disk, stops the whole archive.
  struct TEntry {
    zip_uint64_t Index;
    std::string Name;
    zip_uint64_t Size;
  };
  std::vector<TEntry> files;
  zip_uint64_t total = 0;
  for (zip_int64_t i = 0; i < entries; ++i) {
    zip_stat_t st;
    if (zip_stat_index(za.get(), static_cast<zip_uint64_t>(i), 0, &st) != 0)
      Fail(archive, std::string("it is damaged (") + zip_strerror(za.get()) + ")");
    if ((st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE)
      Fail(archive, "it is encrypted");
    std::string name = BaseName(st.name);
    if (name.empty()) continue;  // a folder entry
    const zip_uint64_t size = (st.valid & ZIP_STAT_SIZE) ? st.size : 0;
    files.push_back({static_cast<zip_uint64_t>(i), std::move(name), size});
    total += size;
  }
  const int64_t free = FreeBytes(folder);
  if (free >= 0 && total > static_cast<zip_uint64_t>(free))
    Fail(archive,
         "its files need " + std::to_string(total) + " bytes and the disk has " + std::to_string(free) + " bytes free");

  std::string base = folder;
  if (!base.empty() && base.back() != '/') base += '/';
  std::unordered_set<std::string> used;
  std::vector<char> buffer(1 << 16);
  zip_uint64_t done = 0;
  int lastPercent = -1;
  auto report = [&] {
    const int percent = total == 0 ? 100 : static_cast<int>(done * 100 / total);
    if (percent != lastPercent && progress) progress(percent);
    lastPercent = percent;
  };
  int written = 0;
  for (const TEntry& e : files) {
    std::string name = e.Name;
    for (int n = 2; used.count(name) != 0; ++n) name = NumberedName(e.Name, n);
    used.insert(name);
    std::unique_ptr<zip_file_t, FileCloser> in(zip_fopen_index(za.get(), e.Index, 0));
    if (!in) Fail(archive, "the entry \"" + e.Name + "\" cannot be read (" + zip_strerror(za.get()) + ")");
    const std::string target = base + name;
    // A new file only: never through a link, never over another file.
    const int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) Fail(archive, "\"" + target + "\" cannot be written (" + std::strerror(errno) + ")");
    ++written;
    zip_uint64_t got = 0;
    for (;;) {
      const zip_int64_t n = zip_fread(in.get(), buffer.data(), buffer.size());
      if (n < 0) {
        const std::string reason = zip_file_strerror(in.get());
        ::close(fd);
        Fail(archive, "the entry \"" + e.Name + "\" is damaged (" + reason + ")");
      }
      if (n == 0) break;
      got += static_cast<zip_uint64_t>(n);
      if (got > e.Size) {
        ::close(fd);
        Fail(archive, "the entry \"" + e.Name + "\" is longer than its recorded size");
      }
      for (zip_int64_t off = 0; off < n;) {
        const ssize_t w = ::write(fd, buffer.data() + off, static_cast<size_t>(n - off));
        if (w < 0) {
          if (errno == EINTR) continue;
          const int code = errno;
          ::close(fd);
          Fail(archive, "\"" + target + "\" cannot be written (" +
                            (code == ENOSPC ? std::string("the disk is full") : std::strerror(code)) + ")");
        }
        off += w;
      }
      done += static_cast<zip_uint64_t>(n);
      report();
    }
    if (::close(fd) != 0) Fail(archive, "\"" + target + "\" cannot be written (" + std::strerror(errno) + ")");
    // The end of an entry checks its CRC: a damaged one fails here.
    if (zip_fclose(in.release()) != 0) Fail(archive, "the entry \"" + e.Name + "\" is damaged");
  }
  report();
  return written;
}

}  // namespace qrmt
