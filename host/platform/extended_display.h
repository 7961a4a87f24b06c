#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

namespace orvane {

// A monitor the host adds to the desktop for the client to show, beside the real ones,
// removed again (with whatever the addition changed) by Remove or on destruction.
class ExtendedDisplay {
 public:
  ExtendedDisplay();
  ~ExtendedDisplay();
  ExtendedDisplay(const ExtendedDisplay&) = delete;
  ExtendedDisplay& operator=(const ExtendedDisplay&) = delete;

  // Whether this platform can add a monitor at all.
  static bool Supported();

  // Adds a width x height monitor right of the others. Returns its capture output index,
  // or nothing when the desktop refused it (logged with the reason).
  std::optional<uint32_t> Add(uint16_t width, uint16_t height);
  // Takes the monitor away again; safe from any thread, and when none was added.
  void Remove();

  // What the platform changed, to undo it.
  struct Added;

 private:
  std::mutex mutex_;
  std::unique_ptr<Added> added_;
};

}  // namespace orvane
