#include "platform/app_folders_win.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "base/logger.h"
#include "base/utf8_path.h"
#include "security/trust_store.h"
#include "services/file_transfer_receiver.h"
#include "support/temp_folder.h"

namespace orvane {
namespace {

using testing::TempFolder;

// A user whose name the ANSI code page cannot spell: "Jürgen 用户".
constexpr char kUserName[] = "J\xC3\xBCrgen \xE7\x94\xA8\xE6\x88\xB7";

// The shell's folders of that user, under a temporary folder.
std::filesystem::path profile;

HRESULT ProfileFolders(int csidl, wchar_t* path) {
  std::filesystem::path folder;
  if (csidl == CSIDL_PROFILE) {
    folder = profile;
  } else if (csidl == CSIDL_APPDATA) {
    folder = profile / L"AppData" / L"Roaming";
  } else {
    return E_INVALIDARG;
  }
  const std::wstring text = folder.wstring();
  if (text.size() >= MAX_PATH) {
    return E_FAIL;
  }
  text.copy(path, text.size());
  path[text.size()] = L'\0';
  return S_OK;
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class UserFoldersWinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    profile = temp_ / PathFromUtf8(kUserName);
    std::filesystem::create_directories(profile / L"AppData" / L"Roaming");
    std::filesystem::create_directories(profile / L"Downloads");
  }
  void TearDown() override { profile.clear(); }

  TempFolder temp_{"orvane-profile"};
};

TEST_F(UserFoldersWinTest, FoldersAreMadeUnderAProfileWithAnyName) {
  const std::filesystem::path product = profile / L"AppData" / L"Roaming" / L"OrvaneDisplay";
  EXPECT_EQ(AppDataFolder(ProfileFolders), product);
  EXPECT_EQ(AppLogFolder(ProfileFolders), product / L"logs");
  EXPECT_EQ(DownloadFolder(ProfileFolders), profile / L"Downloads" / L"OrvaneDisplay");
  for (const std::filesystem::path& folder :
       {product, product / L"logs", profile / L"Downloads" / L"OrvaneDisplay"}) {
    EXPECT_TRUE(std::filesystem::is_directory(folder)) << Utf8FromPath(folder);
  }
}

TEST_F(UserFoldersWinTest, TheDaysLogIsWrittenThere) {
  FILE* console = std::tmpfile();
  ASSERT_NE(console, nullptr);
  Logger logger({[] { return LocalTime{2026, 3, 4, 10, 0, 0, 0}; },
                 [] { return AppLogFolder(ProfileFolders); }, console});
  logger.Init("orvane");
  const std::filesystem::path file = logger.CurrentFilePath();
  logger.Log(LogLevel::kInfo, "[Test] for %s", kUserName);
  logger.Shutdown();
  std::fclose(console);
  EXPECT_EQ(file.parent_path(), AppLogFolder(ProfileFolders));
  EXPECT_NE(ReadFile(file).find(std::string("[Test] for ") + kUserName), std::string::npos)
      << Utf8FromPath(file);
}

TEST_F(UserFoldersWinTest, TheTrustFileAndThePairingCodeSurviveARestart) {
  uint64_t tick_ms = 0;
  const auto environment = [&tick_ms] {
    return TrustStoreEnvironment{[] { return AppDataFolder(ProfileFolders); },
                                 [&tick_ms] { return tick_ms; },
                                 [] { return LocalTime{2026, 3, 4, 10, 0, 0, 0}; },
                                 [](std::span<uint8_t> out) {
                                   std::fill(out.begin(), out.end(), uint8_t{7});
                                   return true;
                                 },
                                 WriteWholeFile,
                                 nullptr};
  };
  const std::string phone = std::string(kUserName) + "'s phone";
  std::string code;
  {
    TrustStore store(environment());
    ASSERT_TRUE(store.Load());
    store.TrustDevice("id-1", phone);
    ASSERT_TRUE(store.Save());
    code = store.IssuePairingCode();
    ASSERT_FALSE(code.empty());
  }
  TrustStore reloaded(environment());
  ASSERT_TRUE(reloaded.Load());
  ASSERT_EQ(reloaded.Devices().size(), 1u);
  EXPECT_EQ(reloaded.Devices()[0].client_name, phone);
  EXPECT_TRUE(std::filesystem::exists(AppDataFolder(ProfileFolders) / L"trusted_devices.json"));
  EXPECT_EQ(ReadFile(AppDataFolder(ProfileFolders) / L"active_pairing_code.txt").substr(0, 6),
            code);
}

// The name the client sends is UTF-8; the file must carry the same letters.
TEST_F(UserFoldersWinTest, AReceivedFileKeepsItsNameAndResumes) {
  const std::string name = std::string(kUserName) + ".txt";
  const std::filesystem::path file = DownloadFolder(ProfileFolders) / PathFromUtf8(name);
  {
    std::ofstream partial(file, std::ios::binary);
    partial << "12345";
  }
  FileTransferReceiver receiver({[] { return DownloadFolder(ProfileFolders); },
                                 [](const std::filesystem::path&) { return uint64_t{1} << 40; }});
  ASSERT_TRUE(receiver.StartTransfer("t1", name, 10));
  EXPECT_EQ(receiver.ResumeOffset("t1"), 5u);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(file.parent_path()),
                          std::filesystem::directory_iterator()),
            1);
}

}  // namespace
}  // namespace orvane
