#include <gtest/gtest.h>

#include <chrono>

#include "session/session_harness.h"

namespace orvane::testing {
namespace {

namespace pb = protocol::v1;
using namespace std::chrono_literals;

std::optional<pb::ControlMessage> RequestFile(client::ControlClient& client,
                                              const std::string& transfer_id,
                                              const std::string& name, uint64_t size) {
  pb::ControlMessage request;
  request.mutable_start_file_transfer()->set_transfer_id(transfer_id);
  request.mutable_start_file_transfer()->set_filename(name);
  request.mutable_start_file_transfer()->set_file_size_bytes(size);
  if (!client.Send(request, client::FrameMode::kSealedPrimary)) {
    return std::nullopt;
  }
  return client.ReceiveUntil(pb::ControlMessage::kFileTransferAck, 5s);
}

TEST(FileTransferSessionTest, AcceptsOnlyWhenTheFileLeavesOneMebibyteOfTheFreeSpace) {
  SessionHarness harness;
  auto client = harness.Connect();
  ASSERT_TRUE(client && harness.Authenticate(*client));
  const uint64_t size = 3u << 20;

  harness.SetFreeDiskBytes(size + 1048575);
  std::optional<pb::ControlMessage> answer = RequestFile(*client, "first", "film.mkv", size);
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->protocol_version(), 1u);
  EXPECT_EQ(answer->sequence_id(), 0u);
  EXPECT_EQ(answer->timestamp_us(), 0u);
  EXPECT_EQ(answer->file_transfer_ack().transfer_id(), "first");
  EXPECT_EQ(answer->file_transfer_ack().status(), pb::FILE_TRANSFER_STATUS_REJECTED_DISK_FULL);
  EXPECT_EQ(answer->file_transfer_ack().resume_offset(), 0u);
  EXPECT_FALSE(std::filesystem::exists(harness.download_folder() / "film.mkv"));

  harness.SetFreeDiskBytes(size + 1048576);
  answer = RequestFile(*client, "second", "film.mkv", size);
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->file_transfer_ack().transfer_id(), "second");
  EXPECT_EQ(answer->file_transfer_ack().status(), pb::FILE_TRANSFER_STATUS_ACCEPTED);
  EXPECT_TRUE(std::filesystem::exists(harness.download_folder() / "film.mkv"));
}

}  // namespace
}  // namespace orvane::testing
