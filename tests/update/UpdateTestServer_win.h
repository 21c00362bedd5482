// The test's view of the local HTTPS update server that run_with_update_server.py
// starts (see update_server.py): its addresses, its answers and its request log,
// and the test CA, which is trusted in this Wine prefix while the tests run.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace hivemend::test {

class UpdateTestServer {
 public:
  // The server of this run; fails the test when the driver did not start one.
  static UpdateTestServer& Get();

  // "localhost:<port>" of the server with the trusted certificate, of the one
  // whose CA nobody trusts, and of a port where nothing listens.
  std::u16string TrustedHost() const;
  std::u16string UntrustedHost() const;
  std::u16string DownHost() const;

  // The answer to /versioninfo/hivemend/ ("version") or to the installer path
  // ("installer"). Without a body the server answers 404.
  void SetAnswer(const std::string& route, const std::vector<std::uint8_t>& body, int status = 200) const;
  void SetAnswer(const std::string& route, const std::string& body, int status = 200) const;
  void RemoveAnswer(const std::string& route) const;
  // How the route's body is sent: "stall" (half, then nothing until
  // ReleaseStalled), "short" (a Content-Length 1000 bytes too large),
  // "nolength", "redirect-https" or "redirect-http" (update_server.py); ""
  // sends it whole.
  void SetMode(const std::string& route, const std::string& mode) const;
  void ReleaseStalled() const;

  // The SHA-256 of the public key of the test publisher, and of its next key,
  // as 64 digits each.
  const std::string& PublisherPin() const { return publisher_pin_; }
  const std::string& SuccessorPin() const { return successor_pin_; }
  // A prepared installer (run_with_update_server.py --fake-installer): see
  // there.
  std::vector<std::uint8_t> Installer(const std::string& kind) const;

  // Requests so far, one "<server> <path>" line each; ClearRequests empties it.
  std::vector<std::string> Requests() const;
  void ClearRequests() const;

  // The state folder, a Windows path.
  const std::wstring& Folder() const { return folder_; }

  // Adds or removes the test CA in HKCU's root certificate store of this prefix.
  void TrustTestCa() const;
  void DistrustTestCa() const;

 private:
  UpdateTestServer() = default;
  std::wstring folder_;
  int trusted_port_ = 0;
  int untrusted_port_ = 0;
  int down_port_ = 0;
  std::wstring ca_sha1_;
  std::string publisher_pin_;
  std::string successor_pin_;
};

// A gtest environment that trusts the test CA for the whole run.
class TrustTestCaEnvironment : public testing::Environment {
 public:
  void SetUp() override { UpdateTestServer::Get().TrustTestCa(); }
  void TearDown() override { UpdateTestServer::Get().DistrustTestCa(); }
};

// Whole file helpers for the tests.
std::vector<std::uint8_t> ReadWholeFile(const std::wstring& path);
bool WriteWholeFile(const std::wstring& path, const std::vector<std::uint8_t>& data);

}  // namespace hivemend::test
