#include "services/file_transfer_receiver.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "services/free_disk_space.h"
#include "support/log_capture.h"
#include "support/temp_folder.h"

namespace orvane {
namespace {

using testing::LogCapture;
using testing::TempFolder;

class FileTransferReceiverTest : public ::testing::Test {
 protected:
  FileTransferEnvironment Environment() {
    return {[this] { return folder_.path(); },
            [this](const std::filesystem::path&) { return free_bytes_; }};
  }

  TempFolder folder_{"orvane-received"};
  std::optional<uint64_t> free_bytes_ = uint64_t{1} << 40;
  LogCapture log_;
};

TEST_F(FileTransferReceiverTest, RefusesUnlessTheFileLeavesOneMebibyteFree) {
  FileTransferReceiver receiver(Environment());
  free_bytes_ = 5000 + 1048575;
  EXPECT_FALSE(receiver.StartTransfer("t1", "big.bin", 5000));
  EXPECT_TRUE(
      log_.Contains("[FileXfer] Not enough disk space for big.bin (need 5000, have 1053575)"));
  EXPECT_FALSE(std::filesystem::exists(folder_ / "big.bin"));

  free_bytes_ = 5000 + 1048576;
  EXPECT_TRUE(receiver.StartTransfer("t1", "big.bin", 5000));
  EXPECT_TRUE(log_.Contains("[FileXfer] Accepted: big.bin (5000 bytes, resume at 0)"));
  EXPECT_TRUE(std::filesystem::exists(folder_ / "big.bin"));

  // Adding the headroom to this size would wrap around to a small number.
  free_bytes_ = UINT64_MAX;
  EXPECT_FALSE(receiver.StartTransfer("t2", "huge.bin", UINT64_MAX - 10));

  // Without an answer about free space the transfer goes ahead.
  free_bytes_ = std::nullopt;
  EXPECT_TRUE(receiver.StartTransfer("t3", "unknown.bin", 5000));
}

TEST_F(FileTransferReceiverTest, ResumeOffsetBelongsToTheTransferAcceptedLast) {
  {
    std::ofstream existing(folder_ / "movie.mp4", std::ios::binary);
    existing << std::string(4096, 'x');
  }
  FileTransferReceiver receiver(Environment());
  EXPECT_EQ(receiver.ResumeOffset(""), 0u);
  ASSERT_TRUE(receiver.StartTransfer("movie", "movie.mp4", 10000));
  EXPECT_EQ(receiver.ResumeOffset("movie"), 4096u);
  EXPECT_EQ(receiver.ResumeOffset("other"), 0u);
  EXPECT_EQ(std::filesystem::file_size(folder_ / "movie.mp4"), 4096u);

  // A refused request leaves the accepted transfer recorded, so repeating its id still
  // gives its offset.
  EXPECT_FALSE(receiver.StartTransfer("movie", "..", 1));
  EXPECT_TRUE(log_.Contains("[FileXfer] Cannot create file: "));
  EXPECT_EQ(receiver.ResumeOffset("movie"), 4096u);

  ASSERT_TRUE(receiver.StartTransfer("notes", "notes.txt", 10));
  EXPECT_EQ(receiver.ResumeOffset("notes"), 0u);
  EXPECT_EQ(receiver.ResumeOffset("movie"), 0u);
}

TEST_F(FileTransferReceiverTest, AFolderThatIsMissingRefusesTheTransfer) {
  FileTransferEnvironment environment = Environment();
  environment.destination_folder = [this] { return folder_ / "absent"; };
  FileTransferReceiver receiver(environment);
  EXPECT_FALSE(receiver.StartTransfer("t", "a.txt", 1));
  EXPECT_TRUE(log_.Contains("[FileXfer] Cannot create file: "));
  EXPECT_EQ(receiver.ResumeOffset("t"), 0u);
}

TEST(FreeDiskBytesTest, TheFileSystemReportsRoomOnAnExistingFolder) {
  TempFolder folder;
  const std::optional<uint64_t> free_bytes = FreeDiskBytes(folder.path());
  ASSERT_TRUE(free_bytes.has_value());
  EXPECT_GT(*free_bytes, 0u);
  EXPECT_FALSE(FreeDiskBytes(folder / "missing" / "deeper").has_value());
}

}  // namespace
}  // namespace orvane
