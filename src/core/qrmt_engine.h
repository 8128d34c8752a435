// Count engine: counts queued files on worker threads ahead of the caller
// and hands the results over strictly in queue order.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "qrmt_classes.h"
#include "qrmt_counter.h"

namespace qrmt {

struct TCountJob {
  std::string FileName;                          // full name
  std::shared_ptr<const TCommentList> Comments;  // immutable; null counts without comments
};

// Immutable copies of the comment lists a run reads, one per distinct list,
// so that editing or replacing the formats during a run changes nothing the
// run still has to count.
class TCommentSnapshot {
 public:
  std::shared_ptr<const TCommentList> Get(const TCommentList* list);

 private:
  std::unordered_map<const TCommentList*, std::shared_ptr<const TCommentList>> FCopies;
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

  // Starts counting `jobs`, the whole queue; ends an earlier run first.
  void Start(std::vector<TCountJob> jobs);
  // Starts a run whose jobs arrive through Add while it counts; Finish says
  // that no more will come. Ends an earlier run first.
  void Begin();
  // Appends `jobs` (moved out, the vector is left empty) to the queue.
  // Thread-safe against the taking thread.
  void Add(std::vector<TCountJob>& jobs);
  void Finish();

  // Blocks until the next result in queue order; false when every result was
  // taken or the run was aborted.
  bool Next(TCountResult& result);
  // As Next, waiting at most `timeout`: Pending when the next file is still
  // being counted.
  TWait TryNext(TCountResult& result, std::chrono::milliseconds timeout);
  // Thread-safe. Nothing not yet taken is handed over after this.
  void Abort();
  bool Aborted() const { return FAborted.load(); }

  // Jobs queued so far, and results taken so far.
  size_t Count() const { return FAdded.load(); }
  size_t Taken() const { return FTaken.load(std::memory_order_relaxed); }
  unsigned Threads() const { return FThreadCount; }

 private:
  struct TSlot {
    TCountResult Result;
    std::atomic<bool> Ready{false};
  };

  void Worker();
  void Stop();
  void StartWorkers(size_t expected);
  // Takes a run of jobs for one worker; empty when the worker is to end.
  size_t Claim(std::vector<TCountJob>& batch);
  void WakeConsumer();

  unsigned FThreadCount;
  unsigned FStarted = 0;  // workers of this run
  std::unique_ptr<TSlot[]> FSlots;
  size_t FSlotCount = 0;
  std::vector<std::thread> FThreads;

  // Guarded by FMutex.
  std::mutex FMutex;
  std::condition_variable FWorkAvailable;  // workers wait for jobs or room
  std::condition_variable FResultReady;    // the taker waits for its next result
  std::deque<TCountJob> FPending;          // added, not yet claimed
  size_t FClaimed = 0;                     // queue index of FPending's front
  unsigned FIdleWorkers = 0;               // waiting for jobs
  unsigned FRoomWaiters = 0;               // waiting for results to be taken
  bool FStopping = false;

  std::atomic<size_t> FAdded{0};
  std::atomic<bool> FFinished{false};
  std::atomic<size_t> FTaken{0};  // next index handed to the taker
  std::atomic<bool> FAborted{false};
  std::atomic<bool> FTakerWaiting{false};
  std::atomic<bool> FWantRoom{false};  // a worker sleeps until results are taken

  std::string FSoundFile;
  TFileCounter::TFailureHook FOnFailure;
};

}  // namespace qrmt
