#include "qrmt_sfs.h"

#include <zip.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <tuple>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace qrmt {

namespace {

// "\Settings\FileTypes\" -> "Settings/FileTypes/".
std::string ZipName(const std::string& path) {
  std::string n = path;
  for (char& c : n)
    if (c == '\\') c = '/';
  while (!n.empty() && n.front() == '/') n.erase(0, 1);
  return n;
}

std::string FolderName(const std::string& path) {
  std::string n = ZipName(path);
  if (!n.empty() && n.back() != '/') n += '/';
  return n;
}

// ".name" + suffix: the hidden files that travel with a container. Built
// by appending, which keeps GCC 12's -Wrestrict false alarm away.
std::string Sibling(const fs::path& target, const char* suffix) {
  std::string name = ".";
  name += target.filename().string();
  name += suffix;
  return name;
}

char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

bool WildMatch(const char* mask, const char* name) {
  // Iterative "*" and "?" match with backtracking to the last star.
  const char* star = nullptr;
  const char* resume = nullptr;
  while (*name) {
    if (*mask == '?' || (*mask != '*' && *mask && Lower(*mask) == Lower(*name))) {
      ++mask;
      ++name;
    } else if (*mask == '*') {
      star = mask++;
      resume = name;
    } else if (star) {
      mask = star + 1;
      name = ++resume;
    } else {
      return false;
    }
  }
  while (*mask == '*') ++mask;
  return *mask == '\0';
}

// The bytes of an empty zip archive: its end record alone. libzip writes
// nothing for an archive without entries.
const char EmptyArchive[22] = {'P', 'K', 5, 6};

struct ZipCloser {
  void operator()(zip_t* z) const {
    if (z) zip_discard(z);
  }
};

TSaveFaultHook SaveFaultHook = nullptr;

void AtStage(TSaveStage stage) {
  if (SaveFaultHook) SaveFaultHook(stage);
}

std::string Reason(int e) {
  return std::strerror(e);
}

#ifndef _WIN32
// Whether the user left the file writable: the write bits count even for
// root, who could write it anyway.
bool LeftWritable(const std::string& name, const struct stat& st) {
  return (st.st_mode & 0222) != 0 && ::access(name.c_str(), W_OK) == 0;
}
#endif

// Reads a whole container file, refusing what is no regular file (a FIFO
// would block, a device never end) and what is larger than any container.
// Throws TSFSError with the reason alone.
std::string ReadContainerFile(const std::string& name) {
#ifndef _WIN32
  const int fd = ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) throw TSFSError(Reason(errno), errno == ENOENT ? TSFSErrorKind::Missing : TSFSErrorKind::Io);
  struct TCloser {
    int fd;
    ~TCloser() { ::close(fd); }
  } closer{fd};
  struct stat st {};
  if (::fstat(fd, &st) != 0) throw TSFSError(Reason(errno));
  if (!S_ISREG(st.st_mode))
    throw TSFSError(S_ISDIR(st.st_mode) ? "it is a folder" : "it is not a regular file", TSFSErrorKind::NotAFile);
  if (st.st_size > MaxContainerSize)
    throw TSFSError("it is too large to be a settings container (" + std::to_string(st.st_size) + " bytes, at most " +
                        std::to_string(MaxContainerSize) + ")",
                    TSFSErrorKind::Damaged);
  std::string bytes(static_cast<size_t>(st.st_size), '\0');
  size_t done = 0;
  for (;;) {
    if (done == bytes.size()) {
      // It may have grown since fstat: read on, within the limit.
      if (bytes.size() >= static_cast<size_t>(MaxContainerSize) + 1) break;
      bytes.resize(std::min<size_t>(bytes.size() + 65536, static_cast<size_t>(MaxContainerSize) + 1));
    }
    const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw TSFSError(Reason(errno));
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  bytes.resize(done);
  if (bytes.size() > static_cast<size_t>(MaxContainerSize))
    throw TSFSError("it is too large to be a settings container", TSFSErrorKind::Damaged);
  return bytes;
#else
  std::error_code ec;
  if (!fs::is_regular_file(name, ec)) throw TSFSError("it is not a regular file", TSFSErrorKind::NotAFile);
  if (static_cast<int64_t>(fs::file_size(name, ec)) > MaxContainerSize)
    throw TSFSError("it is too large to be a settings container", TSFSErrorKind::Damaged);
  std::ifstream in(name, std::ios::binary);
  if (!in) throw TSFSError(Reason(errno));
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw TSFSError(Reason(errno));
  return bytes;
#endif
}

// Writes `bytes` to a new file beside `target`, syncs it and renames it
// over `target`, keeping the mode and owner of the file it replaces. A
// target the user made read-only is refused. Throws TSFSError with the
// reason alone.
void WriteAtomically(const std::string& target, const std::string& bytes) {
  const fs::path path(target);
  const fs::path dir = path.has_parent_path() ? path.parent_path() : fs::path(".");
#ifndef _WIN32
  struct stat old {};
  const bool replacing = ::stat(target.c_str(), &old) == 0;
  if (replacing) {
    if (!S_ISREG(old.st_mode)) throw TSFSError("it is not a regular file", TSFSErrorKind::NotAFile);
    if (!LeftWritable(target, old)) throw TSFSError("the file is read-only", TSFSErrorKind::NotWritable);
  }
  std::string tmpl = (dir / Sibling(path, ".tmp-XXXXXX")).string();
  const int fd = ::mkstemp(tmpl.data());
  if (fd < 0) throw TSFSError("cannot create a temporary file: " + Reason(errno), TSFSErrorKind::NotWritable);
  bool open = true, renamed = false;
  struct TCleanup {
    const std::string& name;
    const int& fd;
    bool& open;
    bool& renamed;
    ~TCleanup() {
      if (open) ::close(fd);
      if (!renamed) ::unlink(name.c_str());
    }
  } cleanup{tmpl, fd, open, renamed};
  auto fail = [](const std::string& what) { throw TSFSError(what + Reason(errno), TSFSErrorKind::NotWritable); };
  AtStage(TSaveStage::TemporaryCreated);
  const size_t half = bytes.size() / 2;
  size_t done = 0;
  bool halfSeen = false;
  while (done < bytes.size()) {
    const size_t chunk = !halfSeen ? half - done : bytes.size() - done;
    if (chunk == 0) {
      halfSeen = true;
      ::fsync(fd);
      AtStage(TSaveStage::HalfWritten);
      continue;
    }
    const ssize_t n = ::write(fd, bytes.data() + done, chunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      fail("cannot write: ");
    }
    done += static_cast<size_t>(n);
  }
  if (replacing) {
    if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
      // Another user's file: keep at least the group if we may.
      [[maybe_unused]] int ignored = ::fchown(fd, static_cast<uid_t>(-1), old.st_gid);
    }
    ::fchmod(fd, old.st_mode & 07777);
  } else {
    ::fchmod(fd, 0644);
  }
  if (::fsync(fd) != 0) fail("cannot write: ");
  open = false;
  if (::close(fd) != 0) fail("cannot write: ");
  AtStage(TSaveStage::BeforeRename);
  if (::rename(tmpl.c_str(), target.c_str()) != 0) fail("cannot replace the file: ");
  renamed = true;
  AtStage(TSaveStage::AfterRename);
  const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
#else
  const fs::path tmp = dir / Sibling(path, ".tmp");
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.flush();
    if (!out) throw TSFSError("cannot write the temporary file", TSFSErrorKind::NotWritable);
  }
  std::error_code ec;
  fs::rename(tmp, path, ec);
  if (ec) throw TSFSError("cannot replace the file: " + ec.message(), TSFSErrorKind::NotWritable);
#endif
}

}  // namespace

void SetSaveFaultHook(TSaveFaultHook hook) {
  SaveFaultHook = hook;
}

std::string ContainerTarget(const std::string& fileName) {
#ifndef _WIN32
  struct stat st {};
  if (::lstat(fileName.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return fileName;
  char* resolved = ::realpath(fileName.c_str(), nullptr);
  if (!resolved) {
    const int e = errno;
    throw TSFSError(
        "it is a symbolic link that " + std::string(e == ELOOP ? "loops" : "points nowhere") + " (" + Reason(e) + ")",
        TSFSErrorKind::BrokenLink);
  }
  std::string target = resolved;
  std::free(resolved);
  return target;
#else
  return fileName;
#endif
}

TSingleFileSystem::~TSingleFileSystem() {
  try {
    Close();
  } catch (...) {
    Abandon();
  }
}

void TSingleFileSystem::Fail(TSFSErrorKind kind, const std::string& reason) const {
  throw TSFSError("Cannot open the settings container \"" + FFileName + "\": " + reason + ".", kind);
}

void TSingleFileSystem::Lock() {
#ifndef _WIN32
  if (FMode == TSFSOpenMode::ReadOnly) return;
  const fs::path target(FTarget);
  FLockName = (target.parent_path() / Sibling(target, ".lock")).string();
  for (int attempt = 0; attempt < 5; ++attempt) {
    int fd = ::open(FLockName.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) Fail(TSFSErrorKind::Io, std::string("cannot create its lock file: ") + std::strerror(errno));
    int op = (FMode == TSFSOpenMode::Exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
    if (::flock(fd, op) != 0) {
      int e = errno;
      ::close(fd);
      if (e == EWOULDBLOCK) Fail(TSFSErrorKind::Locked, "it is in use by another running copy of the program");
      Fail(TSFSErrorKind::Io, std::string("cannot lock it: ") + std::strerror(e));
    }
    // The lock file may have been removed by its last holder in between.
    struct stat held, now;
    if (::fstat(fd, &held) == 0 && ::stat(FLockName.c_str(), &now) == 0 && held.st_ino == now.st_ino &&
        held.st_dev == now.st_dev) {
      FLockFd = fd;
      if (FMode == TSFSOpenMode::Exclusive) RemoveStaleTemporaries();
      return;
    }
    ::close(fd);
  }
  Fail(TSFSErrorKind::Io, "cannot lock it");
#endif
}

void TSingleFileSystem::RemoveStaleTemporaries() const {
  // A save that was killed leaves its temporary file; only the exclusive
  // holder can be sure nobody is writing one now.
  const fs::path target(FTarget);
  const std::string prefix = Sibling(target, ".tmp-");
  std::error_code ec;
  const fs::path dir = target.has_parent_path() ? target.parent_path() : fs::path(".");
  for (const auto& e : fs::directory_iterator(dir, ec)) {
    if (e.path().filename().string().rfind(prefix, 0) == 0) fs::remove(e.path(), ec);
  }
}

void TSingleFileSystem::Unlock() {
#ifndef _WIN32
  if (FLockFd < 0) return;
  // Only the last holder removes the lock file.
  if (::flock(FLockFd, LOCK_EX | LOCK_NB) == 0) ::unlink(FLockName.c_str());
  ::close(FLockFd);
  FLockFd = -1;
#endif
}

void TSingleFileSystem::Open(const std::string& fileName, const std::string& password, TSFSOpenMode mode) {
  if (FOpen) Close();
  FFileName = fileName;
  FTarget = fileName;
  FPassword = password;
  FMode = mode;
  FEntries.clear();
  FIndex.clear();
#ifndef _WIN32
  struct stat st {};
  if (::lstat(fileName.c_str(), &st) != 0) Fail(TSFSErrorKind::Missing, "the file does not exist");
  try {
    FTarget = ContainerTarget(fileName);
  } catch (const TSFSError& e) {
    Fail(e.Kind, e.what());
  }
  if (::stat(FTarget.c_str(), &st) != 0) Fail(TSFSErrorKind::Missing, "the file does not exist");
  if (!S_ISREG(st.st_mode))
    Fail(TSFSErrorKind::NotAFile, S_ISDIR(st.st_mode) ? "it is a folder" : "it is not a regular file");
  if (mode != TSFSOpenMode::ReadOnly && !LeftWritable(FTarget, st))
    Fail(TSFSErrorKind::ReadOnlyFile, "it is read-only");
#else
  std::error_code ec;
  if (!fs::exists(fileName, ec)) Fail(TSFSErrorKind::Missing, "the file does not exist");
  if (fs::is_directory(fileName, ec)) Fail(TSFSErrorKind::NotAFile, "it is a folder");
#endif
  Lock();
  try {
    std::string bytes;
    try {
      bytes = ReadContainerFile(FTarget);
    } catch (const TSFSError& e) {
      Fail(e.Kind, e.what());
    }
    try {
      Load(bytes);
    } catch (const std::bad_alloc&) {
      Fail(TSFSErrorKind::Io, "there is not enough memory to read it");
    }
    FSaved = Sorted();
  } catch (...) {
    Unlock();
    FEntries.clear();
    FIndex.clear();
    throw;
  }
  FOpen = true;
  FDirty = false;
}

void TSingleFileSystem::Reindex() {
  FIndex.clear();
  FIndex.reserve(FEntries.size());
  for (size_t i = 0; i < FEntries.size(); ++i) FIndex.emplace(FEntries[i].Name, i);
}

std::vector<TSingleFileSystem::TEntry> TSingleFileSystem::Sorted() const {
  std::vector<TEntry> s = FEntries;
  std::sort(s.begin(), s.end(), [](const TEntry& a, const TEntry& b) { return a.Name < b.Name; });
  return s;
}

void TSingleFileSystem::Load(const std::string& bytes) {
  // libzip takes an empty file for an empty archive; ours are never empty.
  if (bytes.empty()) Fail(TSFSErrorKind::Damaged, "the file is empty");
  zip_error_t err;
  zip_error_init(&err);
  zip_source_t* src = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &err);
  if (!src) Fail(TSFSErrorKind::Io, zip_error_strerror(&err));
  std::unique_ptr<zip_t, ZipCloser> za(zip_open_from_source(src, ZIP_RDONLY | ZIP_CHECKCONS, &err));
  if (!za) {
    zip_source_free(src);
    const int code = zip_error_code_zip(&err);
    std::string reason = code == ZIP_ER_NOZIP ? "it is not a settings container"
                                              : std::string("it is damaged (") + zip_error_strerror(&err) + ")";
    zip_error_fini(&err);
    if (code == ZIP_ER_MEMORY) Fail(TSFSErrorKind::Io, "there is not enough memory to read it");
    Fail(TSFSErrorKind::Damaged, reason);
  }
  // What is not the file's fault: the container may well be good.
  auto failRead = [&](int code, const char* what) {
    if (code == ZIP_ER_MEMORY) Fail(TSFSErrorKind::Io, "there is not enough memory to read it");
    if (code == ZIP_ER_COMPNOTSUPP || code == ZIP_ER_ENCRNOTSUPP)
      Fail(TSFSErrorKind::Io, std::string("it uses a method this program cannot read (") + what + ")");
    if (code == ZIP_ER_READ) Fail(TSFSErrorKind::Io, std::string("it cannot be read (") + what + ")");
  };
  const zip_int64_t n = zip_get_num_entries(za.get(), 0);
  int64_t contents = 0;
  FEntries.reserve(static_cast<size_t>(std::max<zip_int64_t>(n, 0)));
  for (zip_int64_t i = 0; i < n; ++i) {
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(za.get(), static_cast<zip_uint64_t>(i), 0, &st) != 0 || !(st.valid & ZIP_STAT_NAME))
      Fail(TSFSErrorKind::Damaged, std::string("it is damaged (") + zip_strerror(za.get()) + ")");
    TEntry e;
    e.Name = st.name;
    e.IsFolder = !e.Name.empty() && e.Name.back() == '/';
    if (!e.IsFolder) {
      if (!(st.valid & ZIP_STAT_ENCRYPTION_METHOD) || st.encryption_method != ZIP_EM_AES_256)
        Fail(TSFSErrorKind::WrongPassword, "it is not protected by this program's password");
      if ((st.valid & ZIP_STAT_SIZE) && (st.size > static_cast<zip_uint64_t>(MaxEntrySize) ||
                                         contents + static_cast<int64_t>(st.size) > MaxContentsSize))
        Fail(TSFSErrorKind::Damaged, "it holds a file of " + std::to_string(st.size) +
                                         " bytes, more than any settings need (\"" + e.Name + "\")");
      zip_file_t* zf = zip_fopen_index_encrypted(za.get(), static_cast<zip_uint64_t>(i), 0, FPassword.c_str());
      if (!zf) {
        const int code = zip_error_code_zip(zip_get_error(za.get()));
        if (code == ZIP_ER_WRONGPASSWD) Fail(TSFSErrorKind::WrongPassword, "it is protected by another password");
        failRead(code, zip_strerror(za.get()));
        Fail(TSFSErrorKind::Damaged, std::string("it is damaged (") + zip_strerror(za.get()) + ")");
      }
      // The password check of an AES entry is two bytes: a wrong password
      // passes it now and then. Only a read to the end with a clean close
      // (authentication code and size) proves it.
      std::string data;
      char buf[16384];
      zip_int64_t got;
      bool readError = false, tooLarge = false;
      while ((got = zip_fread(zf, buf, sizeof buf)) > 0) {
        // The stored size may lie: the limit holds for what unpacks.
        if (static_cast<int64_t>(data.size()) + got > MaxEntrySize) {
          tooLarge = true;
          break;
        }
        data.append(buf, static_cast<size_t>(got));
      }
      if (got < 0) {
        readError = true;
        const int code = zip_error_code_zip(zip_file_get_error(zf));
        if (code == ZIP_ER_MEMORY || code == ZIP_ER_COMPNOTSUPP || code == ZIP_ER_ENCRNOTSUPP) {
          const std::string what = zip_file_strerror(zf);
          zip_fclose(zf);
          failRead(code, what.c_str());
        }
      }
      if (tooLarge) {
        zip_fclose(zf);
        Fail(TSFSErrorKind::Damaged, "it holds a file larger than any settings need (\"" + e.Name + "\")");
      }
      if (zip_fclose(zf) != 0) readError = true;
      if (readError || ((st.valid & ZIP_STAT_SIZE) && data.size() != st.size))
        Fail(TSFSErrorKind::WrongPassword, "it is protected by another password or damaged");
      contents += static_cast<int64_t>(data.size());
      if (contents > MaxContentsSize) Fail(TSFSErrorKind::Damaged, "it holds more than any settings need");
      e.Data = std::move(data);
    }
    FEntries.push_back(std::move(e));
  }
  Reindex();
}

void TSingleFileSystem::Create(const std::string& fileName, const std::string& password) {
  if (FOpen) Close();
  FFileName = fileName;
  FPassword = password;
  FMode = TSFSOpenMode::Exclusive;
  FEntries.clear();
  FIndex.clear();
  auto refuse = [&](const std::string& reason, TSFSErrorKind kind) {
    throw TSFSError("Cannot create the settings container \"" + fileName + "\": " + reason + ".", kind);
  };
  try {
    FTarget = ContainerTarget(fileName);  // a link is written through
  } catch (const TSFSError& e) {
    refuse(e.what(), e.Kind);
  }
  std::error_code ec;
  const fs::file_status st = fs::status(FTarget, ec);
  if (fs::exists(st) && !fs::is_regular_file(st))
    refuse(fs::is_directory(st) ? "it is a folder" : "it is not a regular file", TSFSErrorKind::NotAFile);
  Lock();
  try {
    WriteAtomically(FTarget, std::string(EmptyArchive, sizeof EmptyArchive));
  } catch (const TSFSError& e) {
    Unlock();
    refuse(e.what(), e.Kind == TSFSErrorKind::Io ? TSFSErrorKind::NotWritable : e.Kind);
  }
  FOpen = true;
  FDirty = false;
  FSaved.clear();
}

std::string TSingleFileSystem::Serialize() const {
  bool hasEntries = !FEntries.empty();
  if (!hasEntries) return std::string(EmptyArchive, sizeof EmptyArchive);
  zip_error_t err;
  zip_error_init(&err);
  zip_source_t* src = zip_source_buffer_create(nullptr, 0, 0, &err);
  if (!src) throw TSFSError(zip_error_strerror(&err));
  zip_t* za = zip_open_from_source(src, ZIP_TRUNCATE, &err);
  if (!za) {
    zip_source_free(src);
    throw TSFSError(zip_error_strerror(&err));
  }
  zip_source_keep(src);
  auto fail = [&](const std::string& what) {
    std::string msg = what + ": " + zip_strerror(za);
    zip_discard(za);
    zip_source_free(src);
    throw TSFSError(msg);
  };
  for (const TEntry& e : FEntries) {
    if (e.IsFolder) {
      if (zip_dir_add(za, e.Name.c_str(), ZIP_FL_ENC_UTF_8) < 0) fail("cannot add a folder");
      continue;
    }
    zip_source_t* data = zip_source_buffer(za, e.Data.data(), e.Data.size(), 0);
    if (!data) fail("cannot add a file");
    zip_int64_t idx = zip_file_add(za, e.Name.c_str(), data, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE);
    if (idx < 0) {
      zip_source_free(data);
      fail("cannot add a file");
    }
    if (zip_file_set_encryption(za, static_cast<zip_uint64_t>(idx), ZIP_EM_AES_256, FPassword.c_str()) != 0)
      fail("cannot encrypt a file");
  }
  if (zip_close(za) != 0) fail("cannot build the archive");
  std::string out;
  if (zip_source_open(src) == 0) {
    zip_source_seek(src, 0, SEEK_END);
    const zip_int64_t size = zip_source_tell(src);
    zip_source_seek(src, 0, SEEK_SET);
    out.resize(static_cast<size_t>(size));
    const zip_int64_t got = zip_source_read(src, out.data(), static_cast<zip_uint64_t>(size));
    zip_source_close(src);
    if (got != size) out.clear();
  }
  zip_source_free(src);
  if (out.empty()) throw TSFSError("cannot build the archive");
  return out;
}

void TSingleFileSystem::Flush() {
  if (!FOpen || !FDirty) return;
  // Deleting and writing back the same files changes nothing on disk.
  std::vector<TEntry> now = Sorted();
  if (now == FSaved) {
    FDirty = false;
    return;
  }
  try {
    WriteAtomically(FTarget, Serialize());
  } catch (const TSFSError& e) {
    throw TSFSError("Cannot save the settings container \"" + FFileName + "\": " + e.what() + ".",
                    e.Kind == TSFSErrorKind::Io ? TSFSErrorKind::NotWritable : e.Kind);
  } catch (const std::bad_alloc&) {
    throw TSFSError("Cannot save the settings container \"" + FFileName + "\": there is not enough memory.",
                    TSFSErrorKind::Io);
  }
  FSaved = std::move(now);
  FDirty = false;
}

void TSingleFileSystem::Close() {
  if (!FOpen) return;
  Flush();
  Abandon();
}

void TSingleFileSystem::Abandon() {
  Unlock();
  FOpen = false;
  FDirty = false;
  FEntries.clear();
  FIndex.clear();
  FSaved.clear();
}

void TSingleFileSystem::RequireWritable() const {
  if (!FOpen) throw TSFSError("No settings container is open.");
  if (FMode == TSFSOpenMode::ReadOnly)
    throw TSFSError("The settings container \"" + FFileName + "\" is open for reading only.",
                    TSFSErrorKind::NotWritable);
}

TSingleFileSystem::TEntry* TSingleFileSystem::Find(const std::string& zipName) {
  const auto it = FIndex.find(zipName);
  return it == FIndex.end() ? nullptr : &FEntries[it->second];
}

const TSingleFileSystem::TEntry* TSingleFileSystem::Find(const std::string& zipName) const {
  const auto it = FIndex.find(zipName);
  return it == FIndex.end() ? nullptr : &FEntries[it->second];
}

bool TSingleFileSystem::FileExists(const std::string& path) const {
  const TEntry* e = Find(ZipName(path));
  return e && !e->IsFolder;
}

bool TSingleFileSystem::FolderExists(const std::string& path) const {
  const std::string name = FolderName(path);
  if (name.empty()) return FOpen;  // the root
  return Find(name) != nullptr;
}

void TSingleFileSystem::CreateFolder(const std::string& path) {
  RequireWritable();
  const std::string name = FolderName(path);
  if (name.empty() || Find(name)) return;
  // Missing parents first, as the zip holds one entry per folder.
  const size_t parentEnd = name.find_last_of('/', name.size() - 2);
  if (parentEnd != std::string::npos) CreateFolder(name.substr(0, parentEnd + 1));
  FIndex.emplace(name, FEntries.size());
  FEntries.push_back({name, true, {}});
  FDirty = true;
}

void TSingleFileSystem::DeleteFolder(const std::string& path) {
  RequireWritable();
  const std::string name = FolderName(path);
  if (name.empty()) return;
  const size_t before = FEntries.size();
  std::erase_if(FEntries, [&](const TEntry& e) { return e.Name.compare(0, name.size(), name) == 0; });
  if (FEntries.size() != before) {
    FDirty = true;
    Reindex();
  }
}

bool TSingleFileSystem::FindFirst(const std::string& pathMask, TSFSSearchRec& rec) const {
  const std::string zipMask = ZipName(pathMask);
  const size_t slash = zipMask.find_last_of('/');
  const std::string folder = slash == std::string::npos ? std::string() : zipMask.substr(0, slash + 1);
  const std::string mask = zipMask.substr(folder.size());
  rec = TSFSSearchRec();
  for (const TEntry& e : FEntries) {
    if (e.Name.size() <= folder.size() || e.Name.compare(0, folder.size(), folder) != 0) continue;
    std::string rest = e.Name.substr(folder.size());
    if (e.IsFolder) rest.pop_back();
    if (rest.find('/') != std::string::npos) continue;  // deeper down
    if (!WildMatch(mask.c_str(), rest.c_str())) continue;
    rec.Matches.emplace_back(rest, e.IsFolder);
  }
  return FindNext(rec);
}

bool TSingleFileSystem::FindNext(TSFSSearchRec& rec) const {
  if (rec.Next >= rec.Matches.size()) return false;
  std::tie(rec.Name, rec.IsFolder) = rec.Matches[rec.Next];
  ++rec.Next;
  return true;
}

void TSingleFileSystem::FindClose(TSFSSearchRec& rec) const {
  rec = TSFSSearchRec();
}

std::string TSingleFileSystem::ReadFile(const std::string& path) const {
  const TEntry* e = Find(ZipName(path));
  if (!e || e->IsFolder) throw TSFSError("The settings container \"" + FFileName + "\" has no file \"" + path + "\".");
  return e->Data;
}

void TSingleFileSystem::WriteFile(const std::string& path, const std::string& bytes) {
  RequireWritable();
  const std::string name = ZipName(path);
  const size_t slash = name.find_last_of('/');
  if (slash != std::string::npos && !Find(name.substr(0, slash + 1)))
    throw TSFSError("The settings container \"" + FFileName + "\" has no folder for \"" + path + "\".");
  if (TEntry* e = Find(name)) {
    if (e->IsFolder) throw TSFSError("\"" + path + "\" is a folder in the settings container.");
    if (e->Data != bytes) {
      e->Data = bytes;
      FDirty = true;
    }
    return;
  }
  FIndex.emplace(name, FEntries.size());
  FEntries.push_back({name, false, bytes});
  FDirty = true;
}

TSFSFileStream::TSFSFileStream(TSingleFileSystem& fs, const std::string& path, TMode mode)
    : FFs(fs), FPath(path), FMode(mode) {
  if (mode == fmOpenRead) {
    FData = fs.ReadFile(path);
  } else {
    fs.WriteFile(path, {});  // fails now if the file cannot be created
  }
}

TSFSFileStream::~TSFSFileStream() {
  try {
    Commit();
  } catch (...) {
  }
}

size_t TSFSFileStream::Read(void* buffer, size_t count) {
  const size_t n = std::min(count, FData.size() - FPos);
  std::memcpy(buffer, FData.data() + FPos, n);
  FPos += n;
  return n;
}

void TSFSFileStream::Write(const void* buffer, size_t count) {
  FData.append(static_cast<const char*>(buffer), count);
  FCommitted = false;
}

void TSFSFileStream::Commit() {
  if (FMode != fmCreate || FCommitted) return;
  FFs.WriteFile(FPath, FData);
  FCommitted = true;
}

}  // namespace qrmt
