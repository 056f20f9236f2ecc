// Helpers of the dialog's Qt tests: a dialog over the stand-in libraries,
// an event loop run until a condition holds, a scratch program folder.
#pragma once
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include "app/console/repair_dlg.h"
#include "app/console/tests/dialog_test_support.h"

inline bool RunEventsUntil(const std::function<bool()>& condition, int timeoutMs = 20000) {
  QElapsedTimer timer;
  timer.start();
  while (!condition()) {
    if (timer.elapsed() > timeoutMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QThread::msleep(1);
  }
  return true;
}

class ProgramFolder {
 public:
  ProgramFolder() {
    path_ = std::filesystem::temp_directory_path() /
            ("dialog_program_" + std::to_string(::getpid()) + "_" + std::to_string(counter_++));
    std::filesystem::create_directories(path_);
  }
  ~ProgramFolder() { std::filesystem::remove_all(path_); }
  std::string Write(const std::string& name, const std::string& contents) const {
    std::ofstream(path_ / name, std::ios::binary) << contents;
    return (path_ / name).string();
  }
  std::string Path() const { return path_.string(); }

 private:
  static inline int counter_ = 0;
  std::filesystem::path path_;
};

// A time scale that keeps the run's order but makes it quick: timer 2
// every 10 ms, timer 3 every 1 ms, timer 1 every 5 ms, pauses of 10 ms.
inline constexpr double kFastTime = 0.01;

inline CRepairDlg::Options FakeOptions(const ProgramFolder& folder, SievexImport* sievex,
                                       const std::string& dravik = kFakeDravik) {
  CRepairDlg::Options options;
  options.deviceLibraryName = dravik;
  options.sievex = sievex;
  options.programFolder = folder.Path();
  options.timeScale = kFastTime;
  options.watchDevices = false;
  return options;
}
