#include "app/tray_icon.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace orvane {
namespace {

// Records what it is asked to show and notices two updates that run at once.
class RecordingShell : public TrayShell {
 public:
  struct Record {
    std::atomic<bool> started{false};
    std::atomic<bool> overlapped{false};
    std::mutex mutex;
    std::vector<std::string> shown;
  };

  explicit RecordingShell(Record& record) : record_(record) {}
  void Start(TrayModel& model) override {
    model_ = &model;
    record_.started = true;
  }
  void Stop() override { record_.started = false; }
  void RefreshTooltip() override { Update("tooltip " + model_->Tooltip()); }
  void ShowNotification(const std::string& title, const std::string& text) override {
    Update("notification " + title + ": " + text);
  }

 private:
  void Update(const std::string& line) {
    if (in_update_.exchange(true)) {
      record_.overlapped = true;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(200));
    {
      std::lock_guard<std::mutex> lock(record_.mutex);
      record_.shown.push_back(line);
    }
    in_update_ = false;
  }

  Record& record_;
  TrayModel* model_ = nullptr;
  std::atomic<bool> in_update_{false};
};

TEST(TrayIconTest, UpdatesFromManyThreadsAreAppliedOneAtATime) {
  RecordingShell::Record record;
  {
    TrayIcon tray(std::make_unique<RecordingShell>(record));
    tray.Start();
    EXPECT_TRUE(record.started);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
      threads.emplace_back([&tray, t] {
        for (int i = 0; i < 25; ++i) {
          const std::string text = std::to_string(t) + "-" + std::to_string(i);
          tray.SetTooltip(text);
          tray.ShowNotification("Orvane Display", text);
        }
      });
    }
    for (std::thread& thread : threads) {
      thread.join();
    }
  }
  EXPECT_FALSE(record.started) << "the tray stops with its owner";
  EXPECT_FALSE(record.overlapped);
  // Each tooltip was shown right after it was set, not replaced by another thread's.
  std::vector<std::string> shown = record.shown;
  std::sort(shown.begin(), shown.end());
  EXPECT_EQ(std::unique(shown.begin(), shown.end()), shown.end());
  EXPECT_EQ(shown.size(), 200u);
}

}  // namespace
}  // namespace orvane
