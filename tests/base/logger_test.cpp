#include "base/logger.h"

#include <gtest/gtest.h>

#include "support/log_capture.h"
#include "support/temp_folder.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace orvane {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;
using testing::WaitUntil;

// Text mode: the log is a text file, with the platform's own line ends.
std::string ReadFile(const fs::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string ReadStream(FILE* stream) {
  std::fflush(stream);
  std::rewind(stream);
  std::string text;
  char chunk[4096];
  for (size_t n; (n = std::fread(chunk, 1, sizeof(chunk), stream)) > 0;) {
    text.append(chunk, n);
  }
  return text;
}

class LoggerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    console_ = std::tmpfile();
    ASSERT_NE(console_, nullptr);
  }
  void TearDown() override { std::fclose(console_); }

  LoggerEnvironment Environment() {
    return {[this] { return now_; }, [this] { return folder_; }, console_,
            [this] { return tick_ms_.load(); }};
  }
  fs::path FileFor(const std::string& date) const { return folder_ / ("orvane_" + date + ".log"); }

  TempFolder temp_{"orvane-logger"};
  const fs::path folder_ = temp_.path();
  FILE* console_ = nullptr;
  LocalTime now_{2026, 3, 8, 23, 59, 58, 7};
  std::atomic<uint64_t> tick_ms_{50000};
};

TEST_F(LoggerTest, WritesConsoleAndFileLinesInTheirFormats) {
  Logger logger(Environment());
  logger.Init("orvane");
  logger.Log(LogLevel::kInfo, "[Main] Ports: Control=%u", 9430u);
  logger.Log(LogLevel::kWarn, "[TCP] twice\n\n");
  logger.Log(LogLevel::kError, "\n[Main] leading newline stays\r\n");
  logger.Log(LogLevel::kDebug, "[Main] never written");

  EXPECT_EQ(ReadStream(console_),
            "[INFO ] [Main] Ports: Control=9430\n"
            "[WARN ] [TCP] twice\n"
            "[ERROR] \n[Main] leading newline stays\n");
  EXPECT_EQ(ReadFile(FileFor("20260308")),
            "\n=== orvane started at 2026-03-08 23:59:58.007 ===\n"
            "2026-03-08 23:59:58.007 [INFO ] [Main] Ports: Control=9430\n"
            "2026-03-08 23:59:58.007 [WARN ] [TCP] twice\n"
            "2026-03-08 23:59:58.007 [ERROR] \n[Main] leading newline stays\n");
}

TEST_F(LoggerTest, ASilenceDropsAllButErrorsOfItsOwnThread) {
  Logger logger(Environment());
  {
    ScopedLogSilence silence(true);
    ScopedLogSilence inactive(false);
    logger.Log(LogLevel::kInfo, "dropped");
    logger.Log(LogLevel::kWarn, "dropped too");
    logger.Log(LogLevel::kError, "kept");
    std::thread([&] { logger.Log(LogLevel::kInfo, "another thread"); }).join();
  }
  logger.Log(LogLevel::kInfo, "after");
  EXPECT_EQ(ReadStream(console_), "[ERROR] kept\n[INFO ] another thread\n[INFO ] after\n");
}

TEST_F(LoggerTest, CutsLongMessagesTo2047Characters) {
  Logger logger(Environment());
  logger.Init("orvane");
  logger.Log(LogLevel::kInfo, "%s", std::string(3000, 'x').c_str());
  EXPECT_EQ(ReadStream(console_), "[INFO ] " + std::string(2047, 'x') + "\n");
}

TEST_F(LoggerTest, LinesBeforeInitReachTheConsoleOnly) {
  Logger logger(Environment());
  logger.Log(LogLevel::kInfo, "early");
  EXPECT_EQ(ReadStream(console_), "[INFO ] early\n");
  EXPECT_TRUE(fs::is_empty(folder_));
}

TEST_F(LoggerTest, RotatesAtMidnightAndRemovesWeekOldLogsOfTheSameName) {
  const auto now = fs::file_time_type::clock::now();
  const auto age = [&](int days) { return now - std::chrono::hours(24 * days); };
  std::ofstream(FileFor("20260228")).put('x');
  fs::last_write_time(FileFor("20260228"), age(8));
  std::ofstream(FileFor("20260302")).put('x');
  fs::last_write_time(FileFor("20260302"), age(6));
  std::ofstream(folder_ / "other_20260228.log").put('x');
  fs::last_write_time(folder_ / "other_20260228.log", age(8));

  Logger logger(Environment());
  logger.Init("orvane");
  logger.Log(LogLevel::kInfo, "before midnight");
  EXPECT_EQ(logger.CurrentFilePath(), FileFor("20260308"));
  now_ = {2026, 3, 9, 0, 0, 1, 250};
  logger.Log(LogLevel::kInfo, "after midnight");
  EXPECT_EQ(logger.CurrentFilePath(), FileFor("20260309"));
  logger.Shutdown();
  EXPECT_EQ(logger.CurrentFilePath(), fs::path());

  EXPECT_EQ(ReadFile(FileFor("20260308")),
            "\n=== orvane started at 2026-03-08 23:59:58.007 ===\n"
            "2026-03-08 23:59:58.007 [INFO ] before midnight\n"
            "=== Log rotated at 2026-03-09 00:00:01.250 ===\n");
  EXPECT_EQ(ReadFile(FileFor("20260309")),
            "2026-03-09 00:00:01.250 [INFO ] after midnight\n"
            "=== Shutdown at 2026-03-09 00:00:01.250 ===\n");
  EXPECT_FALSE(fs::exists(FileFor("20260228")));
  EXPECT_TRUE(fs::exists(FileFor("20260302")));
  EXPECT_TRUE(fs::exists(folder_ / "other_20260228.log"));
}

TEST_F(LoggerTest, WithoutALogFolderWritesIntoTheCurrentDirectory) {
  const fs::path previous = fs::current_path();
  fs::current_path(folder_);
  LoggerEnvironment environment = Environment();
  environment.log_folder = [] { return fs::path(); };
  {
    Logger logger(environment);
    logger.Init("orvane");
    logger.Log(LogLevel::kInfo, "here");
  }
  fs::current_path(previous);
  EXPECT_NE(ReadFile(FileFor("20260308")).find("[INFO ] here\n"), std::string::npos);
}

TEST_F(LoggerTest, ConsoleKeepsWorkingWhenTheFileCannotBeOpened) {
  LoggerEnvironment environment = Environment();
  environment.log_folder = [this] { return folder_ / "missing" / "deeper"; };
  Logger logger(environment);
  logger.Init("orvane");
  logger.Log(LogLevel::kInfo, "still shown");
  EXPECT_EQ(ReadStream(console_), "[INFO ] still shown\n");
}

// Within a second a call site writes no text twice and ten lines at most; the rest are
// counted and summarised when the second is over.
TEST_F(LoggerTest, ACallSiteWritesEachTextOnceAndTenLinesAtMostInASecond) {
  Logger logger(Environment());
  logger.Init("orvane");
  const auto keyframe = [&](LogLevel level, const char* id) {
    logger.LogCollapsed(level, "[Protocol] RequestKeyframe: stream_id=%s", id);
  };
  keyframe(LogLevel::kInfo, "a");
  keyframe(LogLevel::kInfo, "a");
  keyframe(LogLevel::kInfo, "b");
  keyframe(LogLevel::kInfo, "a");
  keyframe(LogLevel::kWarn, "a");
  logger.Log(LogLevel::kInfo, "[TCP] plain");
  logger.Log(LogLevel::kInfo, "[TCP] plain");
  tick_ms_ += 1;
  for (int port = 0; port < 12; ++port) {
    logger.LogCollapsed(LogLevel::kInfo, "[Session] punch from port %d", port);
  }
  tick_ms_ += 998;
  keyframe(LogLevel::kInfo, "a");
  tick_ms_ += 1;  // the keyframe site's second is over
  keyframe(LogLevel::kInfo, "a");
  tick_ms_ += 5000;
  logger.Log(LogLevel::kInfo, "[TCP] later");

  std::string expected =
      "[INFO ] [Protocol] RequestKeyframe: stream_id=a\n"
      "[INFO ] [Protocol] RequestKeyframe: stream_id=b\n"
      "[WARN ] [Protocol] RequestKeyframe: stream_id=a\n"
      "[INFO ] [TCP] plain\n"
      "[INFO ] [TCP] plain\n";
  for (int port = 0; port < 10; ++port) {
    expected += "[INFO ] [Session] punch from port " + std::to_string(port) + "\n";
  }
  expected +=
      "[INFO ] [Log] 3 more like \"[Protocol] RequestKeyframe: stream_id=a\" within a second\n"
      "[INFO ] [Protocol] RequestKeyframe: stream_id=a\n"
      "[INFO ] [Log] 2 more like \"[Session] punch from port 0\" within a second\n"
      "[INFO ] [TCP] later\n";
  EXPECT_EQ(ReadStream(console_), expected);
  const std::string file = ReadFile(FileFor("20260308"));
  EXPECT_NE(file.find("[INFO ] [Log] 3 more like \"[Protocol] RequestKeyframe: stream_id=a\""),
            std::string::npos);
  EXPECT_EQ(file.find("port 10"), std::string::npos);
}

TEST_F(LoggerTest, ASummaryIsWrittenWhenItsSecondEndsWithNothingElseLogged) {
  Logger logger(Environment());
  logger.Init("orvane");
  std::atomic<int> summaries{0};
  logger.SetObserver([&](LogLevel, const std::string& line) {
    summaries += line.rfind("[Log] 3 more like \"[Session] punch\"", 0) == 0 ? 1 : 0;
  });
  for (int i = 0; i < 4; ++i) {
    logger.LogCollapsed(LogLevel::kInfo, "[Session] punch");
  }
  tick_ms_ += Logger::kRepeatWindowMs;
  EXPECT_TRUE(WaitUntil([&] { return summaries == 1; }));
  logger.Shutdown();
  EXPECT_EQ(summaries, 1);
}

TEST_F(LoggerTest, ShutdownWritesTheCountsOfASecondNotYetOver) {
  Logger logger(Environment());
  logger.LogCollapsed(LogLevel::kError, "[Protocol] bad frame %d", 1);
  logger.LogCollapsed(LogLevel::kError, "[Protocol] bad frame %d", 1);
  logger.Shutdown();
  EXPECT_EQ(ReadStream(console_),
            "[ERROR] [Protocol] bad frame 1\n"
            "[ERROR] [Log] 1 more like \"[Protocol] bad frame 1\" within a second\n");
}

// A cap of 64 KiB keeps 1 KiB for errors.
TEST_F(LoggerTest, PastTheCapOnlyErrorsReachTheFileUntilTheNextDay) {
  constexpr uint64_t kCap = 64 * 1024;
  Logger logger(Environment());
  logger.SetFileCap(kCap);
  logger.Init("orvane");
  const std::string padding(60, '.');
  constexpr int kInfoLines = 1000;
  for (int i = 0; i < kInfoLines; ++i) {
    logger.Log(i % 2 == 0 ? LogLevel::kInfo : LogLevel::kWarn, "line %d %s", i, padding.c_str());
  }
  constexpr int kErrorLines = 50;
  for (int i = 0; i < kErrorLines; ++i) {
    logger.Log(LogLevel::kError, "error %d %s", i, padding.c_str());
  }

  const std::string console = ReadStream(console_);
  EXPECT_NE(console.find("line 999 "), std::string::npos) << "the console is not capped";
  EXPECT_NE(console.find("error 49 "), std::string::npos);
  const std::string file = ReadFile(FileFor("20260308"));
  EXPECT_LE(fs::file_size(FileFor("20260308")), kCap);
  const size_t notice = file.find("[WARN ] [Log] This file reached its size cap (65536 bytes)");
  ASSERT_NE(notice, std::string::npos);
  EXPECT_EQ(file.find("size cap", notice + 1), file.rfind("size cap")) << "one notice";
  EXPECT_EQ(file.find(" line ", notice), std::string::npos) << "no INFO or WARN after it";
  EXPECT_GT(file.find(" line ", notice - 200), 0u);
  // Errors fill the reserve the lines left, then stop.
  EXPECT_NE(file.find("[ERROR] error 0 ", notice), std::string::npos);
  EXPECT_EQ(file.find("[ERROR] error 49 "), std::string::npos);
  EXPECT_GT(fs::file_size(FileFor("20260308")), kCap - kCap / 64);

  now_ = {2026, 3, 9, 0, 0, 1, 0};
  logger.Log(LogLevel::kInfo, "a new day");
  logger.Shutdown();
  EXPECT_EQ(ReadFile(FileFor("20260309")),
            "2026-03-09 00:00:01.000 [INFO ] a new day\n"
            "=== Shutdown at 2026-03-09 00:00:01.000 ===\n");
  EXPECT_LE(fs::file_size(FileFor("20260308")), kCap);
}

TEST_F(LoggerTest, AnEarlierRunsLinesCountTowardsTheCap) {
  constexpr uint64_t kCap = 64 * 1024;
  std::ofstream(FileFor("20260308")) << std::string(kCap - 10, 'x');
  Logger logger(Environment());
  logger.SetFileCap(kCap);
  logger.Init("orvane");
  logger.Log(LogLevel::kError, "error");
  logger.Log(LogLevel::kInfo, "info");
  logger.Shutdown();
  EXPECT_EQ(fs::file_size(FileFor("20260308")), kCap - 10);
  EXPECT_EQ(ReadStream(console_), "[ERROR] error\n[INFO ] info\n");
}

}  // namespace
}  // namespace orvane
