#include "qrmt_engine.h"

#include <algorithm>

namespace qrmt {

namespace {
// How many files the workers may count ahead of the caller: bounds memory
// when the caller is slow (a repainting window) without starving the workers.
constexpr size_t ReadAhead = 1024;
}  // namespace

TCountEngine::TCountEngine(unsigned threads)
    : FThreadCount(threads != 0 ? threads : std::max(1u, std::thread::hardware_concurrency())) {}

TCountEngine::~TCountEngine() {
  Abort();  // a file still being read is given up: nobody will take it
  Stop();
}

void TCountEngine::Stop() {
  {
    std::lock_guard lock(FMutex);
    FStopping = true;
  }
  FWorkAvailable.notify_all();
  for (auto& t : FThreads) t.join();
  FThreads.clear();
}

void TCountEngine::Start(std::vector<TCountJob> jobs) {
  Stop();
  FJobs = std::move(jobs);
  FSlots.assign(std::min(ReadAhead, std::max<size_t>(FJobs.size(), 1)), TSlot());
  FClaimed = 0;
  FTaken = 0;
  FAborted = false;
  FStopping = false;
  const unsigned n = static_cast<unsigned>(std::min<size_t>(FThreadCount, FJobs.size()));
  for (unsigned i = 0; i < n; ++i) FThreads.emplace_back([this] { Worker(); });
}

void TCountEngine::Worker() {
  TFileCounter counter;
  counter.SetSoundFile(FSoundFile);
  counter.SetCancelFlag(&FAborted);
  for (;;) {
    size_t index;
    {
      std::unique_lock lock(FMutex);
      FWorkAvailable.wait(lock, [this] {
        return FStopping || FAborted || FClaimed >= FJobs.size() || FClaimed < FTaken + FSlots.size();
      });
      if (FStopping || FAborted || FClaimed >= FJobs.size()) return;
      index = FClaimed++;
    }
    const TCountJob& job = FJobs[index];
    counter.SetFileName(job.FileName);
    if (counter.Comments != job.Comments) counter.SetComments(job.Comments);
    counter.CountFile();
    {
      std::lock_guard lock(FMutex);
      TSlot& slot = FSlots[index % FSlots.size()];
      slot.Result = std::move(counter.CountResult);
      slot.Ready = true;
    }
    FResultReady.notify_all();
  }
}

TCountEngine::TWait TCountEngine::TryNext(TCountResult& result, std::chrono::milliseconds timeout) {
  {
    std::unique_lock lock(FMutex);
    if (FAborted || FTaken >= FJobs.size()) return TWait::Done;
    TSlot& slot = FSlots[FTaken % FSlots.size()];
    if (!FResultReady.wait_for(lock, timeout, [&] { return slot.Ready || FAborted.load(); })) return TWait::Pending;
    if (FAborted) return TWait::Done;
    result = std::move(slot.Result);
    slot.Result = TCountResult();
    slot.Ready = false;
    ++FTaken;
  }
  FWorkAvailable.notify_all();
  if (result.Failed() && FOnFailure) FOnFailure(result.Error, FSoundFile);
  return TWait::Ready;
}

bool TCountEngine::Next(TCountResult& result) {
  for (;;) {
    switch (TryNext(result, std::chrono::hours(1))) {
      case TWait::Ready: return true;
      case TWait::Done: return false;
      case TWait::Pending: break;
    }
  }
}

void TCountEngine::Abort() {
  {
    std::lock_guard lock(FMutex);
    FAborted = true;
  }
  FWorkAvailable.notify_all();
  FResultReady.notify_all();
}

}  // namespace qrmt
