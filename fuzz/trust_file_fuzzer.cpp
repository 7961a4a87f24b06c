// Any text as trusted_devices.json. What it yields must survive being written and read
// back unchanged, whatever characters the values hold.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "security/trust_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace orvane;
  const std::vector<TrustedDevice> devices =
      ParseTrustFile(std::string_view(reinterpret_cast<const char*>(data), size));
  if (ParseTrustFile(FormatTrustFile(devices)) != devices) {
    std::fprintf(stderr, "the trust file does not read back what was written\n");
    std::abort();
  }
  return 0;
}
