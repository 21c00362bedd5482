// The installer download and start against a real HTTPS server on 127.0.0.1:
// the size limit, replacing an older download, the command line, and the
// "UpdateFinished" mark around the start.
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/Registry.h"
#include "platform/Text.h"
#include "platform/WinString.h"
#include "tests/update/RedirectedRegistry.h"
#include "tests/update/UpdateTestServer_win.h"
#include "update/InstallUpdate_win.h"
#include "update/UpdateVersion.h"

namespace hivemend {
namespace {

using test::ReadWholeFile;
using test::UpdateTestServer;

std::wstring ThisProgramPath() {
  wchar_t path[MAX_PATH * 4] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH * 4 - 1);
  return path;
}

std::wstring FolderOf(const std::wstring& path) { return path.substr(0, path.rfind(L'\\')); }

bool FileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The fake installer's bytes, padded with zeros (which the loader ignores) to size.
std::vector<std::uint8_t> FakeInstaller(size_t size) {
  std::vector<std::uint8_t> bytes = ReadWholeFile(FolderOf(ThisProgramPath()) + L"\\fake_installer.exe");
  EXPECT_GT(bytes.size(), 0u);
  EXPECT_LE(bytes.size(), size);
  bytes.resize(size, 0);
  return bytes;
}

class InstallUpdateTest : public testing::Test {
 protected:
  void SetUp() override {
    base_ = u"Software\\HivemendTest\\install-update-" + U16(std::to_string(GetCurrentProcessId()));
    RegDeleteTreeW(HKEY_CURRENT_USER, AsWide(base_));
    registry_.emplace(*SystemRegistry(), base_);
    // Where the program would put the download: beside itself.
    installer_ = AsU16(ThisProgramPath().c_str());
    installer_ = InstallerPathBeside(installer_);
    log_ = FolderOf(ThisProgramPath()) + L"\\fake_installer.log";
    DeleteFileW(AsWide(installer_));
    DeleteFileW(log_.c_str());
    SetEnvironmentVariableW(L"HIVEMEND_FAKE_INSTALLER_LOG", log_.c_str());
    const std::u16string user_key = registry_->Redirected(RegRoot::CurrentUser, u"Software\\Hivemend");
    SetEnvironmentVariableW(L"HIVEMEND_FAKE_INSTALLER_KEY", AsWide(user_key));
    server().RemoveAnswer("installer");
    server().ClearRequests();
  }
  void TearDown() override {
    RegDeleteTreeW(HKEY_CURRENT_USER, AsWide(base_));
    DeleteFileW(AsWide(installer_));
    DeleteFileW(log_.c_str());
  }

  static const UpdateTestServer& server() { return UpdateTestServer::Get(); }

  bool Download(const std::u16string& host) {
    return DownloadAndStartInstaller(*registry_, HttpsUrl(host, kInstallerPath), installer_);
  }

  // "UpdateFinished" in the user's key as the code under test wrote it.
  std::optional<std::uint32_t> UpdateFinished() {
    RegKey key(*registry_);
    if (key.Open(RegRoot::CurrentUser, u"Software\\Hivemend", kKeyQueryValue) != kRegOk) return std::nullopt;
    std::uint32_t value = 0, size = 4, type = 0;
    if (key.Query(u"UpdateFinished", &type, reinterpret_cast<std::uint8_t*>(&value), &size) != kRegOk) {
      return std::nullopt;
    }
    EXPECT_EQ(type, kRegDword);
    return value;
  }

  // The fake installer's log once it has run; empty after the time-out.
  std::wstring WaitForInstallerLog() {
    for (int i = 0; i < 300 && !FileExists(log_); ++i) Sleep(100);
    const std::vector<std::uint8_t> bytes = ReadWholeFile(log_);
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
  }

  std::u16string base_;
  std::optional<test::RedirectedRegistry> registry_;
  std::u16string installer_;
  std::wstring log_;
};

TEST_F(InstallUpdateTest, DownloadAboveTheLimitIsWrittenAndStartedSilently) {
  const std::vector<std::uint8_t> body = FakeInstaller(kMinimumInstallerSize + 1);
  server().SetAnswer("installer", body);

  ASSERT_TRUE(Download(server().TrustedHost()));
  EXPECT_EQ(ReadWholeFile(AsWide(installer_)), body);
  const std::wstring expected_line = L"\"" + std::wstring(AsWide(installer_)) + L"\" /S";
  // The installer saw the exact command line, and the mark already set.
  EXPECT_EQ(WaitForInstallerLog(), expected_line + L"\r\nUpdateFinished=1\r\n");
  EXPECT_EQ(UpdateFinished(), 1u);
  EXPECT_EQ(server().Requests(), std::vector<std::string>{"trusted /files/alpha/hivemendsetup64.exe"});
}

TEST_F(InstallUpdateTest, OlderInstallerBesideTheProgramIsReplaced) {
  ASSERT_TRUE(test::WriteWholeFile(AsWide(installer_), std::vector<std::uint8_t>(200000, 'O')));
  const std::vector<std::uint8_t> body = FakeInstaller(40000);
  server().SetAnswer("installer", body);

  ASSERT_TRUE(Download(server().TrustedHost()));
  EXPECT_EQ(ReadWholeFile(AsWide(installer_)), body);
  EXPECT_FALSE(WaitForInstallerLog().empty());
}

TEST_F(InstallUpdateTest, FailedStartRemovesTheMarkAgain) {
  // Large enough, but not a program.
  const std::vector<std::uint8_t> body(20000, 'X');
  server().SetAnswer("installer", body);

  EXPECT_FALSE(Download(server().TrustedHost()));
  EXPECT_EQ(ReadWholeFile(AsWide(installer_)), body);
  EXPECT_EQ(UpdateFinished(), std::nullopt);
  // The key itself was created for the mark; only the value is gone.
  RegKey key(*registry_);
  EXPECT_EQ(key.Open(RegRoot::CurrentUser, u"Software\\Hivemend", kKeyQueryValue), kRegOk);
}

struct RefusedCase {
  int line;
  std::optional<size_t> size;  // nullopt: the server has no installer
  int status;
  bool trusted_server;
  bool down;
};

TEST_F(InstallUpdateTest, RefusedDownloadsWriteAndStartNothing) {
  const RefusedCase cases[] = {
      {__LINE__, kMinimumInstallerSize, 200, true, false},
      {__LINE__, 1, 200, true, false},
      {__LINE__, 0, 200, true, false},
      // An error page is never taken for the installer, however large.
      {__LINE__, 50000, 404, true, false},
      {__LINE__, 50000, 503, true, false},
      {__LINE__, std::nullopt, 0, true, false},
      {__LINE__, 50000, 200, false, false},
      {__LINE__, 50000, 200, true, true},
  };
  const std::vector<std::uint8_t> older(30000, 'O');
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "case at line " << c.line);
    TearDown();
    SetUp();
    // An older download stays as it was.
    ASSERT_TRUE(test::WriteWholeFile(AsWide(installer_), older));
    if (c.size) {
      server().SetAnswer("installer",
                         *c.size >= kMinimumInstallerSize ? FakeInstaller(*c.size)
                                                          : std::vector<std::uint8_t>(*c.size, 'Z'),
                         c.status);
    }
    const std::u16string host = c.down ? server().DownHost()
                                : c.trusted_server ? server().TrustedHost()
                                                   : server().UntrustedHost();
    EXPECT_FALSE(Download(host));
    EXPECT_EQ(ReadWholeFile(AsWide(installer_)), older);
    EXPECT_EQ(UpdateFinished(), std::nullopt);
    EXPECT_FALSE(FileExists(log_));
    EXPECT_EQ(server().Requests().size(), (c.trusted_server && !c.down) ? 1u : 0u);
  }
}

}  // namespace
}  // namespace hivemend

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  testing::AddGlobalTestEnvironment(new hivemend::test::TrustTestCaEnvironment);
  return RUN_ALL_TESTS();
}
