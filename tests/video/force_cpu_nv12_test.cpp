#include "video/force_cpu_nv12.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace orvane {
namespace {

// A null value removes the variable (Windows removes it for an empty value too).
void SetVariable(const char* value) {
#ifdef _WIN32
  _putenv_s(kForceCpuNv12Variable, value != nullptr ? value : "");
#else
  if (value != nullptr) {
    setenv(kForceCpuNv12Variable, value, 1);
  } else {
    unsetenv(kForceCpuNv12Variable);
  }
#endif
}

TEST(ForceCpuNv12Test, OnlyNonEmptyValuesNotStartingWithZeroForceTheCpu) {
  struct Case {
    const char* value;
    bool forced;
  };
  const Case cases[] = {
      {nullptr, false}, {"", false},    {"0", false},    {"0ff", false}, {"00", false},
      {"1", true},      {"true", true}, {"false", true}, {"no", true},   {" 0", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ForceCpuNv12Requested(c.value), c.forced) << (c.value ? c.value : "(unset)");
  }
}

TEST(ForceCpuNv12Test, LaterChangesToTheVariableAreIgnored) {
  const char* original = std::getenv(kForceCpuNv12Variable);
  const std::optional<std::string> saved =
      original != nullptr ? std::optional<std::string>(original) : std::nullopt;
  const bool first = ForceCpuNv12();
  SetVariable(first ? "0" : "1");
  EXPECT_EQ(ForceCpuNv12(), first);
  SetVariable(saved ? saved->c_str() : nullptr);
}

}  // namespace
}  // namespace orvane
