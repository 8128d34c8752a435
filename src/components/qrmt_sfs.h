// Settings container: one file holding a small tree of folders and text
// files, stored as a zip archive whose entries are AES-256 encrypted.
//
// The whole tree lives in memory while the container is open; changes are
// written by Flush (and Close) to a temporary file that is synced and then
// renamed over the container, so a crash at any moment leaves either the
// old or the new contents.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

namespace qrmt {

// Io covers everything that is no fault of the file: out of memory, a
// method this libzip lacks, a read error. Only Damaged and WrongPassword
// say that the file is not a container of ours.
enum class TSFSErrorKind {
  Io,
  Missing,
  Locked,
  Damaged,
  WrongPassword,
  NotWritable,
  NotAFile,      // a folder, a device, a FIFO or a socket
  BrokenLink,    // a symbolic link that points nowhere or loops
  ReadOnlyFile,  // the user made it read-only: opened for writing, refused
};

// Limits no real settings reach: a container of 41 formats is a few KB.
inline constexpr int64_t MaxContainerSize = 64 * 1024 * 1024;
inline constexpr int64_t MaxEntrySize = 16 * 1024 * 1024;
inline constexpr int64_t MaxContentsSize = 256 * 1024 * 1024;

// Stages of a save, for tests that make a save fail or die at each.
enum class TSaveStage { TemporaryCreated, HalfWritten, BeforeRename, AfterRename };
using TSaveFaultHook = void (*)(TSaveStage stage);
// Called at each stage of every save; nullptr (the default) for none.
void SetSaveFaultHook(TSaveFaultHook hook);

// The file a container name stands for: the final target when it is a
// symbolic link, else the name itself. Throws TSFSError (BrokenLink) for a
// link that points nowhere or loops.
std::string ContainerTarget(const std::string& fileName);

class TSFSError : public std::runtime_error {
 public:
  explicit TSFSError(const std::string& message, TSFSErrorKind kind = TSFSErrorKind::Io)
      : std::runtime_error(message), Kind(kind) {}
  TSFSErrorKind Kind;
};

enum class TSFSOpenMode {
  ReadOnly,   // no lock: saves are atomic renames, so a reader never sees half a file
  Shared,     // read and write; other copies may hold it shared too
  Exclusive,  // read and write; no other copy may open it for writing
};

struct TSFSSearchRec {
  std::string Name;  // name without folder
  bool IsFolder = false;
  // Search state.
  std::vector<std::pair<std::string, bool>> Matches;  // name, is a folder
  size_t Next = 0;
};

class TSingleFileSystem {
 public:
  TSingleFileSystem() = default;
  ~TSingleFileSystem();
  TSingleFileSystem(const TSingleFileSystem&) = delete;
  TSingleFileSystem& operator=(const TSingleFileSystem&) = delete;

  // Opens an existing container; throws TSFSError naming the file and the
  // reason (missing, locked, damaged, another password).
  void Open(const std::string& fileName, const std::string& password, TSFSOpenMode mode);
  // Creates a new, empty container, replacing any file at the path.
  void Create(const std::string& fileName, const std::string& password);
  // Writes pending changes and releases the file.
  void Close();
  // Writes pending changes; nothing when none.
  void Flush();
  // Forgets the container without writing anything.
  void Abandon();

  bool IsOpen() const { return FOpen; }
  bool IsReadOnly() const { return FMode == TSFSOpenMode::ReadOnly; }
  const std::string& FileName() const { return FFileName; }

  // Paths begin with "\"; folder paths end with it ("\Settings\").
  bool FileExists(const std::string& path) const;
  bool FolderExists(const std::string& path) const;
  void CreateFolder(const std::string& path);
  void DeleteFolder(const std::string& path);  // with everything in it

  // Entries of the folder of `pathMask` whose names match its last part
  // ("*" and "?" wildcards, letter case ignored), in stored order.
  bool FindFirst(const std::string& pathMask, TSFSSearchRec& rec) const;
  bool FindNext(TSFSSearchRec& rec) const;
  void FindClose(TSFSSearchRec& rec) const;

  std::string ReadFile(const std::string& path) const;
  void WriteFile(const std::string& path, const std::string& bytes);

 private:
  struct TEntry {
    std::string Name;  // zip form: "Settings/FileTypes/1.filetype.txt", folders end with "/"
    bool IsFolder = false;
    std::string Data;
    bool operator==(const TEntry&) const = default;
  };
  std::vector<TEntry> Sorted() const;
  void Reindex();

  void Load(const std::string& bytes);
  std::string Serialize() const;
  void RequireWritable() const;
  void Lock();
  void Unlock();
  void RemoveStaleTemporaries() const;
  [[noreturn]] void Fail(TSFSErrorKind kind, const std::string& reason) const;
  TEntry* Find(const std::string& zipName);
  const TEntry* Find(const std::string& zipName) const;

  bool FOpen = false;
  bool FDirty = false;
  TSFSOpenMode FMode = TSFSOpenMode::ReadOnly;
  std::string FFileName;
  std::string FPassword;
  std::vector<TEntry> FEntries;
  std::unordered_map<std::string, size_t> FIndex;  // name -> position in FEntries
  std::string FTarget;                             // the file behind FFileName
  std::vector<TEntry> FSaved;                      // what the file holds, sorted by name
  int FLockFd = -1;
  std::string FLockName;
};

// A stream on one file of a container: read all of it, or create/replace it.
class TSFSFileStream {
 public:
  enum TMode { fmOpenRead, fmCreate };
  TSFSFileStream(TSingleFileSystem& fs, const std::string& path, TMode mode);
  ~TSFSFileStream();
  TSFSFileStream(const TSFSFileStream&) = delete;
  TSFSFileStream& operator=(const TSFSFileStream&) = delete;

  int64_t Size() const { return static_cast<int64_t>(FData.size()); }
  size_t Read(void* buffer, size_t count);
  void Write(const void* buffer, size_t count);
  // Stores what was written; the destructor does it too.
  void Commit();

 private:
  TSingleFileSystem& FFs;
  std::string FPath;
  TMode FMode;
  std::string FData;
  size_t FPos = 0;
  bool FCommitted = false;
};

}  // namespace qrmt
