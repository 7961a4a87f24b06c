#include "base/logger.h"

#include <gtest/gtest.h>

#include "support/temp_folder.h"

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
    return {[this] { return now_; }, [this] { return folder_; }, console_};
  }
  fs::path FileFor(const std::string& date) const { return folder_ / ("orvane_" + date + ".log"); }

  TempFolder temp_{"orvane-logger"};
  const fs::path folder_ = temp_.path();
  FILE* console_ = nullptr;
  LocalTime now_{2026, 3, 8, 23, 59, 58, 7};
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

}  // namespace
}  // namespace orvane
