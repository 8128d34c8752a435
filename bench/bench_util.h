// What the benchmark programs share: the clock, the peak memory, and a
// fresh program folder on the offscreen platform.
#pragma once

#include <sys/resource.h>
#include <unistd.h>

#include <QByteArray>
#include <QtGlobal>
#include <chrono>
#include <filesystem>
#include <string>

namespace qrmt::bench {

using Clock = std::chrono::steady_clock;

inline double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

// The process's peak resident memory so far.
inline long PeakMb() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss / 1024;
}

// Offscreen unless told otherwise, with a program folder of its own (made
// here; the caller removes it).
inline std::filesystem::path PrepareRun(const std::string& name) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  const std::filesystem::path program =
      std::filesystem::temp_directory_path() / ("qrmt-bench-" + name + "-" + std::to_string(::getpid()));
  std::filesystem::create_directories(program);
  qputenv("QRMT_PROGRAM_FOLDER", program.c_str());
  return program;
}

}  // namespace qrmt::bench
