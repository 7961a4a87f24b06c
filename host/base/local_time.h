#pragma once

namespace orvane {

// Local wall-clock time, for log file names and line timestamps only.
struct LocalTime {
  int year = 0;
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

}  // namespace orvane
