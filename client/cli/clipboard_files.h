#pragma once

#include <cstdint>
#include <filesystem>

#include "protocol/orvane_protocol_v1.pb.h"

namespace orvane::client::cli {

// Keeps each ClipboardUpdate the host sends as files in one folder: the Nth update's
// text in N.txt and its image in N.png (N from 1), bytes as they came; each file
// appears whole.
class ClipboardFiles {
 public:
  explicit ClipboardFiles(std::filesystem::path folder) : folder_(std::move(folder)) {}

  // False when a file could not be written.
  bool Save(const orvane::protocol::v1::ClipboardUpdate& update);

 private:
  std::filesystem::path folder_;
  uint32_t saved_ = 0;
};

}  // namespace orvane::client::cli
