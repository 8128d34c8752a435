// Count engine: counts queued files on worker threads ahead of the caller
// and hands the results over strictly in queue order.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "qrmt_classes.h"
#include "qrmt_counter.h"

namespace qrmt {

struct TCountJob {
  std::string FileName;                    // full name
  const TCommentList* Comments = nullptr;  // borrowed; must outlive the run
};

class TCountEngine {
 public:
  enum class TWait { Ready, Pending, Done };

  // `threads` 0 means one per core.
  explicit TCountEngine(unsigned threads = 0);
  ~TCountEngine();
  TCountEngine(const TCountEngine&) = delete;
  TCountEngine& operator=(const TCountEngine&) = delete;

  // Called on the taking thread, in queue order, for each failed file.
  void SetFailureHook(TFileCounter::TFailureHook hook) { FOnFailure = std::move(hook); }
  void SetSoundFile(std::string value) { FSoundFile = std::move(value); }

  // Starts counting `jobs`; ends an earlier run first.
  void Start(std::vector<TCountJob> jobs);
  // Blocks until the next result in queue order; false when every result was
  // taken or the run was aborted.
  bool Next(TCountResult& result);
  // As Next, waiting at most `timeout`: Pending when the next file is still
  // being counted.
  TWait TryNext(TCountResult& result, std::chrono::milliseconds timeout);
  // Thread-safe. Nothing not yet taken is handed over after this.
  void Abort();
  bool Aborted() const { return FAborted.load(); }

  size_t Count() const { return FJobs.size(); }
  size_t Taken() const { return FTaken; }
  unsigned Threads() const { return FThreadCount; }

 private:
  struct TSlot {
    TCountResult Result;
    bool Ready = false;
  };

  void Worker();
  void Stop();

  unsigned FThreadCount;
  std::vector<TCountJob> FJobs;
  std::vector<TSlot> FSlots;  // ring buffer of results read ahead
  std::vector<std::thread> FThreads;
  std::mutex FMutex;
  std::condition_variable FWorkAvailable;
  std::condition_variable FResultReady;
  size_t FClaimed = 0;  // next index a worker takes
  size_t FTaken = 0;    // next index handed to the caller
  std::atomic<bool> FAborted{false};
  bool FStopping = false;
  std::string FSoundFile;
  TFileCounter::TFailureHook FOnFailure;
};

}  // namespace qrmt
