#include "tests/update/UpdateTestServer_win.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <iterator>
#include <fstream>
#include <sstream>

namespace hivemend::test {
namespace {

std::wstring Widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }

std::u16string HostAt(int port) {
  const std::string host = "localhost:" + std::to_string(port);
  return std::u16string(host.begin(), host.end());
}

std::wstring CaKeyPath(const std::wstring& sha1) {
  return L"Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\" + sha1;
}

}  // namespace

std::vector<std::uint8_t> ReadWholeFile(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool WriteWholeFile(const std::wstring& path, const std::vector<std::uint8_t>& data) {
  const std::wstring temporary = path + L".tmp";
  {
    std::ofstream out(temporary.c_str(), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    if (!out) return false;
  }
  return MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

UpdateTestServer& UpdateTestServer::Get() {
  static UpdateTestServer* server = [] {
    auto* s = new UpdateTestServer();
    const char* folder = std::getenv("HIVEMEND_TEST_SERVER_STATE");
    if (folder == nullptr) {
      ADD_FAILURE() << "HIVEMEND_TEST_SERVER_STATE is not set: run through run_with_update_server.py";
      return s;
    }
    s->folder_ = Widen(folder);
    std::ifstream in((s->folder_ + L"\\server.txt").c_str());
    std::string line;
    while (std::getline(in, line)) {
      const auto eq = line.find('=');
      if (eq == std::string::npos) continue;
      const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
      if (key == "trusted_port") s->trusted_port_ = std::atoi(value.c_str());
      if (key == "untrusted_port") s->untrusted_port_ = std::atoi(value.c_str());
      if (key == "down_port") s->down_port_ = std::atoi(value.c_str());
      if (key == "ca_sha1") s->ca_sha1_ = Widen(value);
      if (key == "publisher_pin") s->publisher_pin_ = value;
      if (key == "successor_pin") s->successor_pin_ = value;
    }
    if (s->trusted_port_ == 0 || s->ca_sha1_.empty()) ADD_FAILURE() << "server.txt is incomplete";
    return s;
  }();
  return *server;
}

std::u16string UpdateTestServer::TrustedHost() const { return HostAt(trusted_port_); }
std::u16string UpdateTestServer::UntrustedHost() const { return HostAt(untrusted_port_); }
std::u16string UpdateTestServer::DownHost() const { return HostAt(down_port_); }

void UpdateTestServer::SetAnswer(const std::string& route, const std::vector<std::uint8_t>& body,
                                 int status) const {
  const std::wstring base = folder_ + L"\\routes\\" + Widen(route);
  const std::string status_text = std::to_string(status);
  ASSERT_TRUE(WriteWholeFile(base + L".status", std::vector<std::uint8_t>(status_text.begin(), status_text.end())));
  ASSERT_TRUE(WriteWholeFile(base + L".body", body));
}

void UpdateTestServer::SetAnswer(const std::string& route, const std::string& body, int status) const {
  SetAnswer(route, std::vector<std::uint8_t>(body.begin(), body.end()), status);
}

void UpdateTestServer::RemoveAnswer(const std::string& route) const {
  const std::wstring base = folder_ + L"\\routes\\" + Widen(route);
  DeleteFileW((base + L".body").c_str());
  DeleteFileW((base + L".status").c_str());
}

void UpdateTestServer::SetMode(const std::string& route, const std::string& mode) const {
  const std::wstring path = folder_ + L"\\routes\\" + Widen(route) + L".mode";
  DeleteFileW((folder_ + L"\\release").c_str());
  if (mode.empty()) {
    DeleteFileW(path.c_str());
    return;
  }
  ASSERT_TRUE(WriteWholeFile(path, std::vector<std::uint8_t>(mode.begin(), mode.end())));
}

void UpdateTestServer::ReleaseStalled() const {
  ASSERT_TRUE(WriteWholeFile(folder_ + L"\\release", {}));
}

std::vector<std::uint8_t> UpdateTestServer::Installer(const std::string& kind) const {
  std::vector<std::uint8_t> bytes = ReadWholeFile(folder_ + L"\\installers\\" + Widen(kind) + L".exe");
  EXPECT_FALSE(bytes.empty()) << "no prepared installer " << kind;
  return bytes;
}

std::vector<std::string> UpdateTestServer::Requests() const {
  std::vector<std::string> lines;
  std::ifstream in((folder_ + L"\\requests.log").c_str());
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

void UpdateTestServer::ClearRequests() const { DeleteFileW((folder_ + L"\\requests.log").c_str()); }

void UpdateTestServer::TrustTestCa() const {
  const std::vector<std::uint8_t> der = ReadWholeFile(folder_ + L"\\ca.der");
  ASSERT_FALSE(der.empty());
  // A serialised certificate property: id 32 (the certificate), 1, length, DER.
  std::vector<std::uint8_t> blob(12);
  const std::uint32_t header[3] = {32, 1, static_cast<std::uint32_t>(der.size())};
  memcpy(blob.data(), header, sizeof(header));
  blob.insert(blob.end(), der.begin(), der.end());
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, CaKeyPath(ca_sha1_).c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                            nullptr, &key, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExW(key, L"Blob", 0, REG_BINARY, blob.data(), static_cast<DWORD>(blob.size())),
            ERROR_SUCCESS);
  RegCloseKey(key);
}

void UpdateTestServer::DistrustTestCa() const {
  if (!ca_sha1_.empty()) RegDeleteTreeW(HKEY_CURRENT_USER, CaKeyPath(ca_sha1_).c_str());
}

}  // namespace hivemend::test
