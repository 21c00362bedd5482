#include "platform/CodeSignature.h"

// clang-format off
// CERT_CHAIN_PARA with its time-out for fetching revocation data.
#define CERT_CHAIN_PARA_HAS_EXTRA_FIELDS
#include <windows.h>
#include <bcrypt.h>
#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>
// clang-format on

#include <algorithm>
#include <vector>

#include "platform/WinString.h"

namespace hivemend {
namespace {

// SHA-256 through BCrypt: the certificate's own SHA-256 property is not
// available everywhere (Wine does not provide it).
bool Sha256(const BYTE* data, DWORD size, KeyPin* hash) {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) return false;
  BCRYPT_HASH_HANDLE hashing = nullptr;
  bool ok = BCRYPT_SUCCESS(BCryptCreateHash(algorithm, &hashing, nullptr, 0, nullptr, 0, 0));
  ok = ok && BCRYPT_SUCCESS(BCryptHashData(hashing, const_cast<BYTE*>(data), size, 0));
  ok = ok && BCRYPT_SUCCESS(BCryptFinishHash(hashing, hash->data(), static_cast<ULONG>(hash->size()), 0));
  if (hashing) BCryptDestroyHash(hashing);
  BCryptCloseAlgorithmProvider(algorithm, 0);
  return ok;
}

// The verification's state, released with WTD_STATEACTION_CLOSE.
class TrustCheck {
 public:
  TrustCheck(const std::u16string& path, HANDLE file) {
    file_.cbStruct = sizeof(file_);
    file_.pcwszFilePath = AsWide(path);
    file_.hFile = file;
    data_.cbStruct = sizeof(data_);
    data_.dwUIChoice = WTD_UI_NONE;
    // Revocation is asked for below, with the signer's chain, under a time-out
    // of our own.
    data_.fdwRevocationChecks = WTD_REVOKE_NONE;
    data_.dwUnionChoice = WTD_CHOICE_FILE;
    data_.pFile = &file_;
    data_.dwStateAction = WTD_STATEACTION_VERIFY;
    data_.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL;
  }
  TrustCheck(const TrustCheck&) = delete;
  TrustCheck& operator=(const TrustCheck&) = delete;
  ~TrustCheck() {
    data_.dwStateAction = WTD_STATEACTION_CLOSE;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data_);
  }

  LONG Verify() {
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    return WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data_);
  }

  // The signer's own certificate, as the verification found it, and the time
  // its validity was judged at (the time stamp's, or now).
  const CERT_CONTEXT* Signer(FILETIME* as_of) const {
    CRYPT_PROVIDER_DATA* provider = WTHelperProvDataFromStateData(data_.hWVTStateData);
    if (provider == nullptr) return nullptr;
    CRYPT_PROVIDER_SGNR* signer = WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0);
    if (signer == nullptr || signer->csCertChain == 0 || signer->pasCertChain == nullptr) return nullptr;
    *as_of = signer->sftVerifyAsOf;
    return signer->pasCertChain[0].pCert;
  }

 private:
  WINTRUST_FILE_INFO file_{};
  WINTRUST_DATA data_{};
};

// The SHA-256 of the certificate's SubjectPublicKeyInfo in DER.
bool PublicKeyPin(const CERT_CONTEXT* certificate, KeyPin* pin) {
  BYTE* encoded = nullptr;
  DWORD size = 0;
  if (!CryptEncodeObjectEx(X509_ASN_ENCODING, X509_PUBLIC_KEY_INFO, &certificate->pCertInfo->SubjectPublicKeyInfo,
                           CRYPT_ENCODE_ALLOC_FLAG, nullptr, &encoded, &size)) {
    return false;
  }
  const bool ok = Sha256(encoded, size, pin);
  LocalFree(encoded);
  return ok;
}

// Whether every certificate of the signer's chain was valid at as_of. Windows'
// own check says so too; Wine's does not look.
bool ChainWasTimeValid(const CERT_CONTEXT* signer, FILETIME as_of) {
  CERT_CHAIN_PARA para{};
  para.cbSize = sizeof(para);
  const CERT_CHAIN_CONTEXT* chain = nullptr;
  if (!CertGetCertificateChain(nullptr, signer, &as_of, signer->hCertStore, &para, 0, nullptr, &chain)) return false;
  bool valid = chain->cChain > 0;
  for (DWORD i = 0; valid && i < chain->rgpChain[0]->cElement; ++i) {
    const CERT_CONTEXT* certificate = chain->rgpChain[0]->rgpElement[i]->pCertContext;
    valid = CertVerifyTimeValidity(&as_of, certificate->pCertInfo) == 0;
  }
  CertFreeCertificateChain(chain);
  return valid;
}

// Builds the signer's chain again (with the certificates the signature
// carries) and asks whether any certificate below the root has been revoked:
// first from what the system has cached, then, only when that does not tell,
// from the network with one time-out for all fetches together.
SignatureCheck CheckRevocation(const CERT_CONTEXT* signer, DWORD timeout_ms) {
  for (const bool cache_only : {true, false}) {
    CERT_CHAIN_PARA para{};
    para.cbSize = sizeof(para);
    para.dwUrlRetrievalTimeout = timeout_ms;
    const DWORD flags = CERT_CHAIN_REVOCATION_CHECK_CHAIN_EXCLUDE_ROOT |
                        (cache_only ? CERT_CHAIN_REVOCATION_CHECK_CACHE_ONLY : CERT_CHAIN_REVOCATION_ACCUMULATIVE_TIMEOUT);
    const CERT_CHAIN_CONTEXT* chain = nullptr;
    if (!CertGetCertificateChain(nullptr, signer, nullptr, signer->hCertStore, &para, flags, nullptr, &chain))
      return SignatureCheck::CannotCheck;
    const DWORD status = chain->TrustStatus.dwErrorStatus;
    CertFreeCertificateChain(chain);
    if (status & CERT_TRUST_IS_REVOKED) return SignatureCheck::Revoked;
    if ((status & (CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION)) == 0)
      return SignatureCheck::Valid;
  }
  return SignatureCheck::RevocationUnknown;
}

}  // namespace

SignatureCheck CheckCodeSignature(const std::u16string& path, void* file_handle, const std::vector<KeyPin>& pins,
                                  unsigned revocation_timeout_ms) {
  const HANDLE file = static_cast<HANDLE>(file_handle);
  if (file == nullptr || file == INVALID_HANDLE_VALUE) return SignatureCheck::CannotCheck;
  // The check reads from the handle's position onwards.
  LARGE_INTEGER start{};
  if (!SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) return SignatureCheck::CannotCheck;

  TrustCheck check(path, file);
  const LONG status = check.Verify();
  if (status == TRUST_E_NOSIGNATURE || status == TRUST_E_SUBJECT_FORM_UNKNOWN) return SignatureCheck::NotSigned;
  if (status == CERT_E_REVOKED) return SignatureCheck::Revoked;
  if (status != ERROR_SUCCESS) return SignatureCheck::Invalid;

  FILETIME as_of{};
  const CERT_CONTEXT* signer = check.Signer(&as_of);
  if (signer == nullptr || signer->pCertInfo == nullptr) return SignatureCheck::CannotCheck;
  if (!ChainWasTimeValid(signer, as_of)) return SignatureCheck::Invalid;
  KeyPin found{};
  if (!PublicKeyPin(signer, &found)) return SignatureCheck::CannotCheck;
  if (std::find(pins.begin(), pins.end(), found) == pins.end()) return SignatureCheck::OtherSigner;
  return CheckRevocation(signer, revocation_timeout_ms);
}

std::optional<std::array<std::uint16_t, 4>> ProgramFileVersion(const std::u16string& path) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(AsWide(path), &ignored);
  if (size == 0) return std::nullopt;
  std::vector<BYTE> block(size);
  if (!GetFileVersionInfoW(AsWide(path), 0, size, block.data())) return std::nullopt;
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&info), &length) || info == nullptr ||
      length < sizeof(VS_FIXEDFILEINFO) || info->dwSignature != VS_FFI_SIGNATURE) {
    return std::nullopt;
  }
  return std::array<std::uint16_t, 4>{HIWORD(info->dwFileVersionMS), LOWORD(info->dwFileVersionMS),
                                      HIWORD(info->dwFileVersionLS), LOWORD(info->dwFileVersionLS)};
}

}  // namespace hivemend
