#pragma once

namespace orvane {

// Joins the calling thread to the system's multimedia scheduling class for `task_name`
// (e.g. "Pro Audio") for the object's lifetime, so that capture and encode keep their
// pace under load. Create and destroy it on the same thread.
class MultimediaTask {
 public:
  explicit MultimediaTask(const wchar_t* task_name);
  ~MultimediaTask();
  MultimediaTask(const MultimediaTask&) = delete;
  MultimediaTask& operator=(const MultimediaTask&) = delete;

  // "OK" or "FAILED" where the system has such a scheduler, "none" where it has none.
  const char* state() const { return state_; }

 private:
  [[maybe_unused]] void* handle_ = nullptr;  // used where the system has such a scheduler
  const char* state_ = "none";
};

}  // namespace orvane
