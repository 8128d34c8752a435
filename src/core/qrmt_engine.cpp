#include "qrmt_engine.h"

#include <algorithm>

namespace qrmt {

namespace {
// Results the workers may count ahead of the taker: bounds memory when the
// taker is slow (a repainting window) without starving the workers.
constexpr size_t ReadAhead = 4096;
// Longest run of files one worker claims at a time: long enough that the
// hand-over costs nothing measurable, short enough to keep both cores busy
// at the end of a queue.
constexpr size_t MaxBatch = 64;
// A worker waiting for room is woken after this many results were taken.
constexpr size_t RoomStep = ReadAhead / 4;
}  // namespace

std::shared_ptr<const TCommentList> TCommentSnapshot::Get(const TCommentList* list) {
  if (list == nullptr) return nullptr;
  auto& copy = FCopies[list];
  if (!copy) {
    auto owned = std::make_shared<TCommentList>();
    for (const auto& c : *list) {
      TComment* d = owned->Add();
      d->CommentType = c->CommentType;
      d->StartSymbol = c->StartSymbol;
      d->StopSymbol = c->StopSymbol;
      d->FixedCol = c->FixedCol;
    }
    copy = std::move(owned);
  }
  return copy;
}

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

void TCountEngine::StartWorkers(size_t expected) {
  Stop();
  FSlotCount = std::min(ReadAhead, std::max<size_t>(expected, 1));
  FSlots = std::make_unique<TSlot[]>(FSlotCount);
  FPending.clear();
  FClaimed = 0;
  FIdleWorkers = 0;
  FStopping = false;
  FAdded = 0;
  FFinished = false;
  FTaken = 0;
  FAborted = false;
  FTakerWaiting = false;
  FWantRoom = false;
  FRoomWaiters = 0;
  FStarted = static_cast<unsigned>(std::min<size_t>(FThreadCount, std::max<size_t>(expected, 1)));
}

void TCountEngine::Start(std::vector<TCountJob> jobs) {
  StartWorkers(jobs.size());
  FPending.assign(std::make_move_iterator(jobs.begin()), std::make_move_iterator(jobs.end()));
  FAdded = FPending.size();
  FFinished = true;
  if (FPending.empty()) return;
  for (unsigned i = 0; i < FStarted; ++i) FThreads.emplace_back([this] { Worker(); });
}

void TCountEngine::Begin() {
  StartWorkers(ReadAhead);
  for (unsigned i = 0; i < FStarted; ++i) FThreads.emplace_back([this] { Worker(); });
}

void TCountEngine::Add(std::vector<TCountJob>& jobs) {
  if (jobs.empty()) return;
  bool wake;
  {
    std::lock_guard lock(FMutex);
    for (auto& j : jobs) FPending.push_back(std::move(j));
    FAdded += jobs.size();
    wake = FIdleWorkers > 0;
  }
  jobs.clear();
  if (wake) FWorkAvailable.notify_all();
}

void TCountEngine::Finish() {
  {
    std::lock_guard lock(FMutex);
    FFinished = true;
  }
  FWorkAvailable.notify_all();
  FResultReady.notify_all();
}

size_t TCountEngine::Claim(std::vector<TCountJob>& batch) {
  std::unique_lock lock(FMutex);
  for (;;) {
    if (FStopping || FAborted) return 0;
    if (FPending.empty()) {
      if (FFinished) return 0;
      ++FIdleWorkers;
      FWorkAvailable.wait(lock);
      --FIdleWorkers;
      continue;
    }
    size_t room = FTaken.load() + FSlotCount - FClaimed;
    if (room == 0) {
      ++FRoomWaiters;
      FWantRoom = true;  // before reading FTaken again: the taker then sees the wish
      room = FTaken.load() + FSlotCount - FClaimed;
      if (room == 0) FWorkAvailable.wait(lock);
      FWantRoom = --FRoomWaiters > 0;
      continue;
    }
    size_t want = FPending.size();
    // Once the queue is complete, runs shrink towards its end so that no
    // core waits for another's last run.
    if (FFinished) want = std::max<size_t>(1, want / (static_cast<size_t>(FStarted) * 4));
    const size_t k = std::min({want, room, MaxBatch});
    for (size_t i = 0; i < k; ++i) {
      batch.push_back(std::move(FPending.front()));
      FPending.pop_front();
    }
    const size_t first = FClaimed;
    FClaimed += k;
    return first;
  }
}

void TCountEngine::WakeConsumer() {
  if (!FTakerWaiting.load()) return;
  std::lock_guard lock(FMutex);
  FResultReady.notify_one();
}

void TCountEngine::Worker() {
  TFileCounter counter;
  counter.SetSoundFile(FSoundFile);
  counter.SetCancelFlag(&FAborted);
  std::vector<TCountJob> batch;
  batch.reserve(MaxBatch);
  std::shared_ptr<const TCommentList> comments;  // keeps what the counter points into alive
  for (;;) {
    const size_t first = Claim(batch);
    if (batch.empty()) break;
    for (size_t k = 0; k < batch.size(); ++k) {
      if (FAborted.load(std::memory_order_relaxed)) break;
      TCountJob& job = batch[k];
      if (job.Comments != comments) {
        comments = job.Comments;
        counter.SetComments(comments.get());
      }
      counter.SetFileName(std::move(job.FileName));
      counter.CountFile();
      TSlot& slot = FSlots[(first + k) % FSlotCount];
      slot.Result = std::move(counter.CountResult);
      slot.Ready.store(true);
    }
    batch.clear();
    // One wake-up per run of files, and only for a taker that sleeps.
    WakeConsumer();
  }
  counter.SetComments(nullptr);
}

TCountEngine::TWait TCountEngine::TryNext(TCountResult& result, std::chrono::milliseconds timeout) {
  if (FAborted.load() || FSlotCount == 0) return TWait::Done;
  const size_t i = FTaken.load(std::memory_order_relaxed);
  TSlot& slot = FSlots[i % FSlotCount];
  if (!slot.Ready.load()) {
    std::unique_lock lock(FMutex);
    auto settled = [&] { return slot.Ready.load() || FAborted.load() || (FFinished.load() && i >= FAdded.load()); };
    FTakerWaiting = true;
    const bool ok = timeout.count() <= 0 ? settled() : FResultReady.wait_for(lock, timeout, settled);
    FTakerWaiting = false;
    if (!ok) return TWait::Pending;
    if (FAborted.load() || !slot.Ready.load()) return TWait::Done;
  }
  result = std::move(slot.Result);
  slot.Result = TCountResult();
  slot.Ready.store(false, std::memory_order_relaxed);
  FTaken.store(i + 1);
  if ((i + 1) % RoomStep == 0 && FWantRoom.load()) {
    std::lock_guard lock(FMutex);
    FWorkAvailable.notify_all();
  }
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
