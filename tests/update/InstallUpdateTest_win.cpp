// The installer download and start against a real HTTPS server on 127.0.0.1:
// only an installer of the offered version signed with a pinned key whose
// certificate is not revoked starts, into the program's own folder; the
// download goes into a new file beside the program and nowhere else, a failed
// download leaves nothing behind, a stop ends a stalled download at once or
// the checks before the start, and the "UpdateFinished" mark is set around
// the start.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/Registry.h"
#include "platform/Text.h"
#include "platform/UniqueHandle_win.h"
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

// Every download beside this program: "HivemendSetup64-<hex>.exe".
std::vector<std::wstring> Downloads() {
  const std::wstring folder = FolderOf(ThisProgramPath());
  std::vector<std::wstring> found;
  WIN32_FIND_DATAW data{};
  const HANDLE search = FindFirstFileW((folder + L"\\HivemendSetup64-*.exe").c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) return found;
  do found.push_back(folder + L"\\" + data.cFileName);
  while (FindNextFileW(search, &data));
  FindClose(search);
  return found;
}

class InstallUpdateTest : public testing::Test {
 protected:
  void SetUp() override {
    base_ = u"Software\\HivemendTest\\install-update-" + U16(std::to_string(GetCurrentProcessId()));
    RegDeleteTreeW(HKEY_CURRENT_USER, AsWide(base_));
    registry_.emplace(*SystemRegistry(), base_);
    log_ = FolderOf(ThisProgramPath()) + L"\\fake_installer.log";
    RemoveFiles();
    SetEnvironmentVariableW(L"HIVEMEND_FAKE_INSTALLER_LOG", log_.c_str());
    const std::u16string user_key = registry_->Redirected(RegRoot::CurrentUser, u"Software\\Hivemend");
    SetEnvironmentVariableW(L"HIVEMEND_FAKE_INSTALLER_KEY", AsWide(user_key));
    server().RemoveAnswer("installer");
    server().SetMode("installer", "");
    server().ClearRequests();
  }
  void TearDown() override {
    RegDeleteTreeW(HKEY_CURRENT_USER, AsWide(base_));
    RemoveFiles();
  }
  // A started installer may still be running for a moment, and its file with it.
  void RemoveFiles() {
    for (int i = 0; i < 100 && !Downloads().empty(); ++i) {
      for (const std::wstring& file : Downloads()) DeleteFileW(file.c_str());
      if (!Downloads().empty()) Sleep(100);
    }
    DeleteFileW(log_.c_str());
  }

  static const UpdateTestServer& server() { return UpdateTestServer::Get(); }

  // With both_keys, the publisher's next key is pinned too.
  InstallJob Job(const std::u16string& host, bool both_keys = false) {
    InstallJob job;
    job.registry = &*registry_;
    job.installer_url = HttpsUrl(host, kInstallerPath);
    job.program_path = AsU16(ThisProgramPath().c_str());
    job.offered_version = u"" HIVEMEND_TEST_NEWER_VERSION;
    job.publisher_keys = ParsePins(U16(server().PublisherPin() + (both_keys ? "," + server().SuccessorPin() : "")));
    EXPECT_EQ(job.publisher_keys.size(), both_keys ? 2u : 1u);
    return job;
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
  // (A log that has just been renamed into place may not open at once.)
  std::wstring WaitForInstallerLog() {
    std::vector<std::uint8_t> bytes;
    for (int i = 0; i < 300 && (bytes = ReadWholeFile(log_)).empty(); ++i) Sleep(100);
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
  }

  std::u16string base_;
  std::optional<test::RedirectedRegistry> registry_;
  std::wstring log_;
};

struct StartedCase {
  int line;
  std::string installer;
  std::string mode;
  bool both_keys;
  std::vector<std::string> requests;
};

TEST_F(InstallUpdateTest, InstallerOfThePublisherIsWrittenBesideTheProgramAndStartedSilentlyIntoItsFolder) {
  const std::string download = "trusted /files/alpha/hivemendsetup64.exe";
  const StartedCase cases[] = {
      {__LINE__, "signed", "", false, {download}},
      // The pin is the key's: a renewed certificate for it signs as well.
      {__LINE__, "renewed", "", false, {download}},
      // While a new key is brought in, both are pinned.
      {__LINE__, "successor", "", true, {download}},
      {__LINE__, "signed", "", true, {download}},
      // A redirect that stays on https is followed.
      {__LINE__, "signed", "redirect-https", false, {download, "trusted /redirected/installer"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "case at line " << c.line);
    TearDown();
    SetUp();
    const std::vector<std::uint8_t> body = server().Installer(c.installer);
    server().SetAnswer("installer", body);
    server().SetMode("installer", c.mode);
    InstallJob job = Job(server().TrustedHost(), c.both_keys);
    std::uint64_t last_received = 0, last_total = 0;
    job.progress = [&](std::uint64_t received, std::uint64_t total) {
      EXPECT_GT(received, last_received);
      last_received = received;
      last_total = total;
    };

    const InstallResult result = DownloadAndStartInstaller(job);
    ASSERT_EQ(result.outcome, InstallOutcome::Started) << ToUtf8(InstallOutcomeMessage(result));
    EXPECT_EQ(last_received, body.size());
    EXPECT_EQ(last_total, body.size());
    const std::vector<std::wstring> downloads = Downloads();
    ASSERT_EQ(downloads.size(), 1u);
    // The installer saw the exact command line, its folder last and unquoted,
    // and the mark already set.
    EXPECT_EQ(WaitForInstallerLog(), L"\"" + downloads[0] + L"\" /S /D=" + FolderOf(ThisProgramPath()) +
                                         L"\r\nUpdateFinished=1\r\n");
    EXPECT_EQ(ReadWholeFile(downloads[0]), body);
    EXPECT_EQ(UpdateFinished(), 1u);
    EXPECT_EQ(server().Requests(), c.requests);
  }
  server().SetMode("installer", "");
}

// Each refused download: nothing is started, no file stays beside the program,
// an older installer there is left as it was, and no mark is set.
struct RefusedCase {
  int line;
  std::string answer;  // a prepared installer, "" for none (404), or "<n> bytes"
  int status;
  std::string mode;
  char server;  // 't'rusted, 'u'ntrusted, 'd'own
  InstallOutcome outcome;
  std::uint32_t http_status = 0;
  const char16_t* offered = nullptr;  // the version offered; none: the signed installers' own
};

TEST_F(InstallUpdateTest, RefusedInstallersAreDeletedAndNeverStarted) {
  using O = InstallOutcome;
  const RefusedCase cases[] = {
      // Who made it decides: unsigned, signed with another key (also the
      // publisher's next one before it is pinned), changed after signing.
      {__LINE__, "unsigned", 200, "", 't', O::NotVerified},
      {__LINE__, "other", 200, "", 't', O::OtherPublisher},
      {__LINE__, "successor", 200, "", 't', O::OtherPublisher},
      {__LINE__, "tampered", 200, "", 't', O::NotVerified},
      // The publisher's key, but a certificate on its CA's revocation list.
      {__LINE__, "revoked", 200, "", 't', O::Revoked},
      {__LINE__, "expired", 200, "", 't', O::NotVerified},
      // Its revocation list cannot be had: refused, not taken on trust.
      {__LINE__, "unchecked", 200, "", 't', O::RevocationUnknown},
      // A signed installer that is older than the program, or not the version offered.
      {__LINE__, "older", 200, "", 't', O::WrongVersion},
      {__LINE__, "signed", 200, "", 't', O::WrongVersion, 0, u"0.0.250.1"},
      // Too small, an error page however large, no answer, untrusted server.
      {__LINE__, "16384 bytes", 200, "", 't', O::TooSmall},
      {__LINE__, "1 bytes", 200, "", 't', O::TooSmall},
      {__LINE__, "0 bytes", 200, "", 't', O::TooSmall},
      {__LINE__, "signed", 404, "", 't', O::ServerStatus, 404},
      {__LINE__, "signed", 503, "", 't', O::ServerStatus, 503},
      {__LINE__, "", 0, "", 't', O::ServerStatus, 404},
      {__LINE__, "signed", 200, "", 'u', O::Certificate},
      {__LINE__, "signed", 200, "", 'd', O::NoConnection},
      // A body that ends before its announced length, or that announces none.
      {__LINE__, "signed", 200, "short", 't', O::Interrupted},
      {__LINE__, "signed", 200, "nolength", 't', O::NoLength},
      // A redirect to http is refused before anything is sent there.
      {__LINE__, "signed", 200, "redirect-http", 't', O::NotHttps},
  };
  const std::wstring older = FolderOf(ThisProgramPath()) + L"\\HivemendSetup64.exe";
  const std::vector<std::uint8_t> older_bytes(30000, 'O');
  ASSERT_TRUE(test::WriteWholeFile(older, older_bytes));
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "case at line " << c.line);
    TearDown();
    SetUp();
    if (c.answer.find(" bytes") != std::string::npos) {
      server().SetAnswer("installer", std::vector<std::uint8_t>(std::stoul(c.answer), 'Z'), c.status);
    } else if (!c.answer.empty()) {
      server().SetAnswer("installer", server().Installer(c.answer), c.status);
    }
    server().SetMode("installer", c.mode);
    const std::u16string host = c.server == 'd'   ? server().DownHost()
                                : c.server == 'u' ? server().UntrustedHost()
                                                  : server().TrustedHost();
    InstallJob job = Job(host);
    if (c.offered) job.offered_version = c.offered;
    const InstallResult result = DownloadAndStartInstaller(job);
    EXPECT_EQ(result.outcome, c.outcome) << ToUtf8(InstallOutcomeMessage(result));
    EXPECT_EQ(result.status, c.http_status);
    EXPECT_EQ(Downloads(), std::vector<std::wstring>{});
    EXPECT_EQ(ReadWholeFile(older), older_bytes);
    EXPECT_EQ(UpdateFinished(), std::nullopt);
    EXPECT_FALSE(FileExists(log_));
    EXPECT_EQ(server().Requests(), c.server == 't' ? std::vector<std::string>{"trusted " + std::string(
                                                         ToUtf8(kInstallerPath))}
                                                   : std::vector<std::string>{});
  }
  server().SetMode("installer", "");
  DeleteFileW(older.c_str());
}

// Cancel counts until the installer's process has started: also once the
// whole file is there and its checks have begun.
TEST_F(InstallUpdateTest, ACancelDuringTheChecksStartsNothing) {
  server().SetAnswer("installer", server().Installer("signed"));
  const ScopedHandle stop(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  InstallJob job = Job(server().TrustedHost());
  job.stop_event = stop.get();
  bool checking = false;
  job.checking = [&] {
    checking = true;
    SetEvent(stop.get());
  };
  EXPECT_EQ(DownloadAndStartInstaller(job).outcome, InstallOutcome::Stopped);
  EXPECT_TRUE(checking);
  EXPECT_EQ(Downloads(), std::vector<std::wstring>{});
  EXPECT_EQ(UpdateFinished(), std::nullopt);
  Sleep(1000);
  EXPECT_FALSE(FileExists(log_));
}

TEST_F(InstallUpdateTest, WithoutTheProgramsFolderOrAPublisherNothingIsDownloaded) {
  server().SetAnswer("installer", server().Installer("signed"));
  InstallJob no_path = Job(server().TrustedHost());
  no_path.program_path.clear();
  EXPECT_EQ(DownloadAndStartInstaller(no_path).outcome, InstallOutcome::NoFolder);
  InstallJob no_publisher = Job(server().TrustedHost());
  no_publisher.publisher_keys.clear();
  EXPECT_EQ(DownloadAndStartInstaller(no_publisher).outcome, InstallOutcome::NoPublisher);
  EXPECT_EQ(server().Requests(), std::vector<std::string>{});
  EXPECT_EQ(Downloads(), std::vector<std::wstring>{});
}

// The server sends half of the installer and then nothing: a stop ends the
// download long before the 30-second receive time-out could, and the partial
// file is deleted.
TEST_F(InstallUpdateTest, StopEndsAStalledDownloadAndDeletesThePartialFile) {
  server().SetAnswer("installer", server().Installer("signed"));
  server().SetMode("installer", "stall");
  const ScopedHandle stop(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  const ScopedHandle receiving(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  InstallJob job = Job(server().TrustedHost());
  job.stop_event = stop.get();
  job.progress = [&](std::uint64_t, std::uint64_t) { SetEvent(receiving.get()); };
  std::atomic<InstallOutcome> outcome{InstallOutcome::Started};
  const ScopedHandle done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  std::thread worker([&] {
    outcome = DownloadAndStartInstaller(job).outcome;
    SetEvent(done.get());
  });
  const bool received = WaitForSingleObject(receiving.get(), 20000) == WAIT_OBJECT_0;
  EXPECT_TRUE(received);
  EXPECT_EQ(Downloads().size(), 1u);
  SetEvent(stop.get());
  // Well below the receive time-out: only a stop seen while waiting ends it.
  const bool ended = WaitForSingleObject(done.get(), 15000) == WAIT_OBJECT_0;
  server().ReleaseStalled();
  worker.join();
  EXPECT_TRUE(ended);
  EXPECT_EQ(outcome.load(), InstallOutcome::Stopped);
  EXPECT_EQ(Downloads(), std::vector<std::wstring>{});
  EXPECT_FALSE(FileExists(log_));
  EXPECT_EQ(UpdateFinished(), std::nullopt);
}

}  // namespace
}  // namespace hivemend

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  testing::AddGlobalTestEnvironment(new hivemend::test::TrustTestCaEnvironment);
  return RUN_ALL_TESTS();
}
