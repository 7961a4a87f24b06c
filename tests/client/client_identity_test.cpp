#include "client/client_identity.h"

#include <gtest/gtest.h>

#include "support/temp_folder.h"

#include <chrono>
#include <filesystem>
#include <fstream>

namespace orvane::client {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;

class ClientIdentityTest : public ::testing::Test {
 protected:
  TempFolder temp_{"orvane-identity"};
  const fs::path folder_ = temp_.path();
};

TEST_F(ClientIdentityTest, WrittenIdentityReadsBackWithAwkwardCharacters) {
  const fs::path file = folder_ / "nested" / "identity.json";
  const ClientIdentity identity{"id \"quoted\" \\ back", "Tablet\tof \xC3\x89mile\n"};
  ASSERT_TRUE(WriteIdentity(file, identity));
  EXPECT_EQ(ReadIdentity(file), identity);
}

TEST_F(ClientIdentityTest, CreatesARandomIdentityOnceAndKeepsIt) {
  const fs::path file = folder_ / "identity.json";
  const ClientIdentity created = LoadOrCreateIdentity(file);
  ASSERT_TRUE(fs::exists(file));
  ASSERT_EQ(created.client_id.size(), std::string("orvane-client-").size() + 16);
  EXPECT_EQ(created.client_id.rfind("orvane-client-", 0), 0u);
  EXPECT_EQ(created.client_id.find_first_not_of("0123456789abcdef", 14), std::string::npos);
  EXPECT_FALSE(created.client_name.empty());

  EXPECT_EQ(LoadOrCreateIdentity(file), created);
  EXPECT_NE(LoadOrCreateIdentity(folder_ / "other.json").client_id, created.client_id);
}

TEST_F(ClientIdentityTest, FileWithoutAnIdIsReplacedByANewIdentity) {
  const fs::path file = folder_ / "identity.json";
  for (const char* text :
       {"", "{\"clientName\": \"x\"}", "{\"clientId\": \"\"}", "{\"clientId\": \"unterminated"}) {
    std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
    EXPECT_FALSE(ReadIdentity(file)) << text;
    const ClientIdentity created = LoadOrCreateIdentity(file);
    EXPECT_FALSE(created.client_id.empty()) << text;
    EXPECT_EQ(ReadIdentity(file), created) << text;
  }
}

TEST_F(ClientIdentityTest, MissingNameFallsBackToTheDefault) {
  const fs::path file = folder_ / "identity.json";
  std::ofstream(file, std::ios::binary) << "{\"clientId\": \"device-7\"}";
  const std::optional<ClientIdentity> identity = ReadIdentity(file);
  ASSERT_TRUE(identity);
  EXPECT_EQ(identity->client_id, "device-7");
  EXPECT_FALSE(identity->client_name.empty());
}

}  // namespace
}  // namespace orvane::client
