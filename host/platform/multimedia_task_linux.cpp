#include "platform/multimedia_task.h"

namespace orvane {

// Linux has no multimedia class scheduler to join without privileges; the thread keeps
// its normal priority.
MultimediaTask::MultimediaTask(const wchar_t*) {}

MultimediaTask::~MultimediaTask() = default;

}  // namespace orvane
