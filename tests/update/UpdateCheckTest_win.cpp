// The update check against a real HTTPS server on 127.0.0.1 through WinINet:
// the switch, the fetch, the text handed to the window, and a stop that ends
// the first wait.
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <thread>

#include "platform/Registry.h"
#include "platform/Text.h"
#include "platform/UniqueHandle_win.h"
#include "platform/Version.h"
#include "platform/WinString.h"
#include "tests/update/RedirectedRegistry.h"
#include "tests/update/UpdateTestServer_win.h"
#include "update/UpdateCheckRun_win.h"
#include "update/UpdateVersion.h"

namespace hivemend {
namespace {

using test::UpdateTestServer;

enum class Server { kTrusted, kUntrusted, kDown };

class UpdateCheckTest : public testing::Test {
 protected:
  void SetUp() override {
    base_ = u"Software\\HivemendTest\\update-check-" + U16(std::to_string(GetCurrentProcessId()));
    RegDeleteTreeW(HKEY_CURRENT_USER, AsWide(base_));
    registry_.emplace(*SystemRegistry(), base_);
    server().RemoveAnswer("version");
    server().ClearRequests();
  }
  void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, AsWide(base_)); }

  static const UpdateTestServer& server() { return UpdateTestServer::Get(); }

  // The machine-wide switch as the code under test sees it; nullopt removes it.
  void SetSwitch(std::optional<std::uint32_t> value) {
    RegKey key(*registry_);
    ASSERT_EQ(key.Create(RegRoot::LocalMachine, u"Software\\Hivemend", kKeySetValue), kRegOk);
    if (value) {
      ASSERT_EQ(key.Set(u"UpdateCheckEnabled", kRegDword, reinterpret_cast<const std::uint8_t*>(&*value), 4),
                kRegOk);
    }
  }

  bool SwitchKeyExists() {
    RegKey key(*registry_);
    return key.Open(RegRoot::LocalMachine, u"Software\\Hivemend", kKeyQueryValue) == kRegOk;
  }

  UpdateCheckRun Run(Server which) {
    UpdateCheckRun run;
    run.registry = &*registry_;
    run.first_wait_ms = 0;
    const std::u16string host = which == Server::kTrusted     ? server().TrustedHost()
                                : which == Server::kUntrusted ? server().UntrustedHost()
                                                              : server().DownHost();
    run.version_url = HttpsUrl(host, kVersionInfoPath);
    return run;
  }

  std::u16string base_;
  std::optional<test::RedirectedRegistry> registry_;
};

struct CheckCase {
  int line;
  std::optional<std::uint32_t> switch_value;  // nullopt: no key at all
  Server server;
  std::optional<std::string> body;            // nullopt: the server has no answer
  int status;
  UpdateCheckOutcome outcome;
  std::u16string latest;                      // after the run; "?" when untouched
  bool offered;
  size_t requests;
};

TEST_F(UpdateCheckTest, FetchesTheVersionTextAndDecides) {
  const std::string long_text = "9.9.9.9" + std::string(121, 'x');
  const CheckCase cases[] = {
      // The switch.
      {__LINE__, 0u, Server::kTrusted, "0.0.2.12", 200, UpdateCheckOutcome::Disabled, u"", false, 0},
      {__LINE__, std::nullopt, Server::kTrusted, "0.0.2.12\r\n", 200, UpdateCheckOutcome::Fetched,
       u"0.0.2.12", true, 1},
      {__LINE__, 7u, Server::kTrusted, "0.0.2.12\n", 200, UpdateCheckOutcome::Fetched, u"0.0.2.12", true, 1},
      // What the server says.
      {__LINE__, 1u, Server::kTrusted, "0.0.2.11", 200, UpdateCheckOutcome::Fetched, u"0.0.2.11", false, 1},
      {__LINE__, 1u, Server::kTrusted, " \t0.0.3\r\n\r\n", 200, UpdateCheckOutcome::Fetched, u"0.0.3", true, 1},
      {__LINE__, 1u, Server::kTrusted, "1.0.0.300", 200, UpdateCheckOutcome::Fetched, u"1.0.0.300", true, 1},
      {__LINE__, 1u, Server::kTrusted, long_text, 200, UpdateCheckOutcome::Fetched, U16(long_text), false, 1},
      {__LINE__, 1u, Server::kTrusted, std::string("0.0.2.12\0trailing", 17), 200, UpdateCheckOutcome::Fetched, u"0.0.2.12",
       true, 1},
      {__LINE__, 1u, Server::kTrusted, "", 200, UpdateCheckOutcome::NoResult, u"?", false, 1},
      // The body may hold 4096 bytes, no more.
      {__LINE__, 1u, Server::kTrusted, "0.0.2.12" + std::string(4088, ' '), 200, UpdateCheckOutcome::Fetched,
       u"0.0.2.12", true, 1},
      {__LINE__, 1u, Server::kTrusted, "0.0.2.12" + std::string(4089, ' '), 200, UpdateCheckOutcome::NoResult,
       u"?", false, 1},
      {__LINE__, 1u, Server::kTrusted, "0.0.2.12" + std::string(100000, ' '), 200, UpdateCheckOutcome::NoResult,
       u"?", false, 1},
      // Failures: no text reaches the window, even one that reads as a newer version.
      {__LINE__, 1u, Server::kTrusted, "9.9.9.9\n<html><body>Not Found</body></html>", 404,
       UpdateCheckOutcome::NoResult, u"?", false, 1},
      {__LINE__, 1u, Server::kTrusted, "9.9.9.9", 500, UpdateCheckOutcome::NoResult, u"?", false, 1},
      {__LINE__, 1u, Server::kTrusted, std::nullopt, 0, UpdateCheckOutcome::NoResult, u"?", false, 1},
      {__LINE__, 1u, Server::kDown, "9.9.9.9", 200, UpdateCheckOutcome::NoResult, u"?", false, 0},
      {__LINE__, 1u, Server::kUntrusted, "9.9.9.9", 200, UpdateCheckOutcome::NoResult, u"?", false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "case at line " << c.line);
    TearDown();
    SetUp();
    if (c.switch_value) SetSwitch(c.switch_value);
    if (c.body) {
      server().SetAnswer("version", *c.body, c.status);
    }
    std::u16string latest = u"?";
    EXPECT_EQ(RunUpdateCheck(Run(c.server), &latest), c.outcome);
    EXPECT_EQ(latest, c.latest);
    EXPECT_EQ(c.outcome == UpdateCheckOutcome::Fetched && IsUpdateOffered(latest, kProgramVersion), c.offered);
    EXPECT_EQ(server().Requests().size(), c.requests);
    // A missing key means the check goes on; reading it creates nothing.
    EXPECT_EQ(SwitchKeyExists(), c.switch_value.has_value());
  }
}

TEST_F(UpdateCheckTest, AStopDuringTheFirstWaitEndsTheCheckWithoutARequest) {
  SetSwitch(1u);
  server().SetAnswer("version", "0.0.2.12");
  ScopedHandle stop(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  UpdateCheckRun run = Run(Server::kTrusted);
  run.first_wait_ms = 30000;
  run.stop_event = stop.get();
  // The window closes while the check still waits.
  std::thread window_closes([&] {
    Sleep(300);
    SetEvent(stop.get());
  });
  std::u16string latest = u"?";
  EXPECT_EQ(RunUpdateCheck(run, &latest), UpdateCheckOutcome::Stopped);
  window_closes.join();
  EXPECT_EQ(latest, u"?");
  EXPECT_TRUE(server().Requests().empty());

  // Without a stop the wait runs out and the check goes on.
  run.first_wait_ms = 200;
  ResetEvent(stop.get());
  EXPECT_EQ(RunUpdateCheck(run, &latest), UpdateCheckOutcome::Fetched);
  EXPECT_EQ(latest, u"0.0.2.12");
  EXPECT_EQ(server().Requests().size(), 1u);
}

}  // namespace
}  // namespace hivemend

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  testing::AddGlobalTestEnvironment(new hivemend::test::TrustTestCaEnvironment);
  return RUN_ALL_TESTS();
}
