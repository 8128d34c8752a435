// Fresh program folder, registry, temporary folder and scripted dialogs for
// each test of the application layer.
#pragma once

#include <gtest/gtest.h>

#include <QSettings>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/qrmt_global.h"
#include "app/qrmt_platform.h"

namespace qrmt::test {

class TScriptedDialogs : public TUserDialogs {
 public:
  struct TShown {
    std::string Text;
    std::string Caption;
    TMsgIcon Icon;
    TMsgButtons Buttons;
  };
  int MessageBox(const std::string& text, const std::string& caption, TMsgIcon icon, TMsgButtons buttons) override {
    Shown.push_back({text, caption, icon, buttons});
    if (Answers.empty()) return buttons == TMsgButtons::YesNo ? mrNo : mrOK;
    const int answer = Answers.front();
    Answers.pop_front();
    return answer;
  }
  std::string OpenFileName(const std::string& caption, const std::string&, const std::string&) override {
    return NextFile(caption);
  }
  std::string SaveFileName(const std::string& caption, const std::string&, const std::string&) override {
    return NextFile(caption);
  }
  bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value) override {
    Inputs.push_back({caption, prompt, value});
    if (InputAnswers.empty()) return false;
    auto answer = InputAnswers.front();
    InputAnswers.pop_front();
    if (!answer) return false;
    value = *answer;
    return true;
  }
  struct TAsked {
    std::string Caption, Prompt, Value;
  };
  std::vector<TAsked> Inputs;
  std::deque<std::optional<std::string>> InputAnswers;  // nullopt: Cancel
  std::vector<TShown> Shown;
  std::deque<int> Answers;
  std::deque<std::string> Files;  // answers of the file dialogs; empty: cancelled
  std::vector<std::string> FileCaptions;

 private:
  std::string NextFile(const std::string& caption) {
    FileCaptions.push_back(caption);
    if (Files.empty()) return {};
    std::string f = Files.front();
    Files.pop_front();
    return f;
  }

 public:
};

// Writes "name code wParam lParam" for each message into a shared log.
class TRecorder : public TMessageReceiver {
 public:
  TRecorder(std::string name, std::vector<std::string>& log) : FName(std::move(name)), FLog(log) {
    Handle = RegisterReceiver(this);
  }
  ~TRecorder() override { UnregisterReceiver(Handle); }
  intptr_t HandleMessage(unsigned code, uintptr_t wParam, intptr_t lParam) override {
    FLog.push_back(FName + " " + std::to_string(code) + " " + std::to_string(wParam) + " " + std::to_string(lParam));
    if (OnMessage) OnMessage(code, wParam, lParam);
    return 0;
  }
  THandle Handle;
  std::function<void(unsigned, uintptr_t, intptr_t)> OnMessage;

 private:
  std::string FName;
  std::vector<std::string>& FLog;
};

class AppTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static int serial = 0;
    // TMPDIR is pointed into each test's own folder below: take the real one once.
    static const std::filesystem::path base = std::filesystem::temp_directory_path();
    root_ = base / ("qrmt-app-" + std::to_string(::getpid()) + "-" + std::to_string(serial++));
    std::filesystem::remove_all(root_);
    for (const char* d : {"program", "registry", "tmp"}) std::filesystem::create_directories(root_ / d);
    ::setenv("QRMT_PROGRAM_FOLDER", (root_ / "program").c_str(), 1);
    ::setenv("TMPDIR", (root_ / "tmp").c_str(), 1);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       QString::fromStdString((root_ / "registry").string()));
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                       QString::fromStdString((root_ / "registry").string()));
    SetDialogs(&Dialogs);
    // A loaded machine must not make a start "slow": tests that want the
    // message set the threshold themselves.
    TqrmtGlobal::SlowStartSeconds = 1e9;
    SetSoundPlayer([this](const std::string& f) { Sounds.push_back(f); });
    SetMessagePump([this] {
      ++Pumps;
      if (OnPump) OnPump();
    });
  }
  void TearDown() override {
    SetDialogs(nullptr);
    TqrmtGlobal::SlowStartSeconds = 1.0;
    SetSoundPlayer(nullptr);
    SetMessagePump(nullptr);
    std::filesystem::remove_all(root_);
  }

  std::string Program(const std::string& name = "") const { return (root_ / "program" / name).string(); }
  std::string Root(const std::string& name) const { return (root_ / name).string(); }
  std::string Write(const std::string& name, const std::string& bytes) const {
    const auto p = root_ / name;
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << bytes;
    return p.string();
  }
  static std::string Read(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  TScriptedDialogs Dialogs;
  std::vector<std::string> Sounds;
  int Pumps = 0;
  std::function<void()> OnPump;
  std::filesystem::path root_;
};

}  // namespace qrmt::test
