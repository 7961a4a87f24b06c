#include "platform/multimedia_task.h"

#include <windows.h>

// Needs the types of windows.h.
#include <avrt.h>

namespace orvane {

MultimediaTask::MultimediaTask(const wchar_t* task_name) {
  DWORD task_index = 0;
  handle_ = AvSetMmThreadCharacteristicsW(task_name, &task_index);
  state_ = handle_ != nullptr ? "OK" : "FAILED";
}

MultimediaTask::~MultimediaTask() {
  if (handle_ != nullptr) {
    AvRevertMmThreadCharacteristics(handle_);
  }
}

}  // namespace orvane
