#include "security/trust_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace orvane {
namespace {

const std::vector<TrustedDevice> kThreeDevices = {
    {"id-1", "Pixel 8", "2024-05-01T13:45:07", "2024-05-02T08:00:00"},
    {"id-2", "Galaxy Tab", "2024-05-03T09:10:11", "2024-05-03T09:10:11"},
    {"id-3", "", "2024-05-04T00:00:00", "2024-05-05T23:59:59"},
};

TEST(TrustFileTest, WritesTheListLineByLine) {
  EXPECT_EQ(FormatTrustFile({}), "[\n]\n");
  EXPECT_EQ(FormatTrustFile(kThreeDevices),
            "[\n"
            "  {\n"
            "    \"clientId\": \"id-1\",\n"
            "    \"clientName\": \"Pixel 8\",\n"
            "    \"trustedAt\": \"2024-05-01T13:45:07\",\n"
            "    \"lastSeen\": \"2024-05-02T08:00:00\"\n"
            "  },\n"
            "  {\n"
            "    \"clientId\": \"id-2\",\n"
            "    \"clientName\": \"Galaxy Tab\",\n"
            "    \"trustedAt\": \"2024-05-03T09:10:11\",\n"
            "    \"lastSeen\": \"2024-05-03T09:10:11\"\n"
            "  },\n"
            "  {\n"
            "    \"clientId\": \"id-3\",\n"
            "    \"clientName\": \"\",\n"
            "    \"trustedAt\": \"2024-05-04T00:00:00\",\n"
            "    \"lastSeen\": \"2024-05-05T23:59:59\"\n"
            "  }\n"
            "]\n");
}

TEST(TrustFileTest, ValuesAreEscapedAndReadBackUnchanged) {
  const std::vector<TrustedDevice> devices = {
      {"quote\"id", "Bob's \"phone\"", "back\\slash\\", "new\nline\ttab\x01"},
      {"{\"clientId\": \"x\"}", "Pixel \xE2\x98\xBA", "}", ","},
  };
  const std::string text = FormatTrustFile(devices);
  EXPECT_NE(text.find("\"clientName\": \"Bob's \\\"phone\\\"\",\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\"lastSeen\": \"new\\nline\\ttab\\u0001\"\n"), std::string::npos) << text;
  EXPECT_EQ(ParseTrustFile(text), devices);
}

TEST(TrustFileTest, ReadsOlderAndHandEditedFilesByKeySearch) {
  struct Case {
    const char* name;
    std::string text;
    std::vector<TrustedDevice> devices;
  };
  const Case cases[] = {
      {"written before escaping: a backslash stays, a quote cuts the value",
       R"([
  {
    "clientId": "id-1",
    "clientName": "C:\Users\Ann",
    "trustedAt": "2024-05-01T13:45:07",
    "lastSeen": "2024-05-02T08:00:00"
  },
  {
    "clientId": "id-2",
    "clientName": "My "big" tablet",
    "trustedAt": "2024-05-03T09:10:11",
    "lastSeen": "2024-05-03T09:10:11"
  }
])",
       {{"id-1", "C:\\Users\\Ann", "2024-05-01T13:45:07", "2024-05-02T08:00:00"},
        {"id-2", "My ", "2024-05-03T09:10:11", "2024-05-03T09:10:11"}}},
      {"a record without lastSeen takes the next record's when it lies within reach, and that "
       "record is then skipped",
       R"([
  {
    "clientId": "A",
    "clientName": "Tab",
    "trustedAt": "2024-05-01T13:45:07"
  },
  {
    "clientId": "B",
    "clientName": "Phone",
    "trustedAt": "2024-05-01T13:45:07",
    "lastSeen": "2024-06-01T10:00:00"
  }
])",
       {{"A", "Tab", "2024-05-01T13:45:07", "2024-06-01T10:00:00"}}},
      {"beyond reach the next record keeps its own lastSeen",
       R"([
  {
    "clientId": "A",
    "clientName": "Tab",
    "trustedAt": "2024-05-01T13:45:07"
  },
  {
    "clientId": "B",
    "clientName": "A phone with a much longer name",
    "trustedAt": "2024-05-01T13:45:07",
    "lastSeen": "2024-06-01T10:00:00"
  }
])",
       {{"A", "Tab", "2024-05-01T13:45:07", ""},
        {"B", "A phone with a much longer name", "2024-05-01T13:45:07", "2024-06-01T10:00:00"}}},
      {"missing keys stay empty, keys in any spacing",
       R"([{"clientId":"only-id"},{"clientName" : "x", "clientId" :"late"}])",
       {{"only-id", "", "", ""}, {"late", "", "", ""}}},
      {"foreign: clientId not followed by a string", R"([{"clientId": 42}])", {}},
      {"foreign: no clientId", R"({"devices": []})", {}},
      {"foreign: unterminated value", R"([{"clientId": "abc)", {}},
      {"foreign: binary", std::string("\x00\xff\"clientId\"\x00:\x01\"", 16), {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ParseTrustFile(c.text), c.devices) << c.name;
  }
}

TEST(TrustFileTest, EveryTruncationReadsTheRecordsBeforeTheCut) {
  const std::string text = FormatTrustFile(kThreeDevices);
  for (size_t length = 0; length <= text.size(); ++length) {
    const std::vector<TrustedDevice> devices = ParseTrustFile(text.substr(0, length));
    ASSERT_LE(devices.size(), kThreeDevices.size()) << length;
    for (size_t i = 0; i < devices.size(); ++i) {
      const TrustedDevice& read = devices[i];
      const TrustedDevice& original = kThreeDevices[i];
      if (i + 1 < devices.size()) {
        EXPECT_EQ(read, original) << "cut at " << length;
        continue;
      }
      // The record at the cut keeps what was complete and leaves the rest empty.
      EXPECT_EQ(read.client_id, original.client_id) << "cut at " << length;
      for (const auto& [field, expected] : {std::pair{read.client_name, original.client_name},
                                            std::pair{read.trusted_at, original.trusted_at},
                                            std::pair{read.last_seen, original.last_seen}}) {
        EXPECT_TRUE(field.empty() || field == expected) << "cut at " << length;
      }
    }
  }
}

}  // namespace
}  // namespace orvane
