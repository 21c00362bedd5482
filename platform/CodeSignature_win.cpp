#include "platform/CodeSignature.h"

// clang-format off
#include <windows.h>
#include <bcrypt.h>
#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>
// clang-format on

#include "platform/WinString.h"

namespace hivemend {
namespace {

// SHA-256 through BCrypt: the certificate's own SHA-256 property is not
// available everywhere (Wine does not provide it).
bool Sha256(const BYTE* data, DWORD size, CertificateHash* hash) {
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

  // The signer's own certificate, as the verification found it.
  const CERT_CONTEXT* Signer() const {
    CRYPT_PROVIDER_DATA* provider = WTHelperProvDataFromStateData(data_.hWVTStateData);
    if (provider == nullptr) return nullptr;
    CRYPT_PROVIDER_SGNR* signer = WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0);
    if (signer == nullptr || signer->csCertChain == 0 || signer->pasCertChain == nullptr) return nullptr;
    return signer->pasCertChain[0].pCert;
  }

 private:
  WINTRUST_FILE_INFO file_{};
  WINTRUST_DATA data_{};
};

}  // namespace

SignatureCheck CheckCodeSignature(const std::u16string& path, void* file_handle, const CertificateHash& expected) {
  const HANDLE file = static_cast<HANDLE>(file_handle);
  if (file == nullptr || file == INVALID_HANDLE_VALUE) return SignatureCheck::CannotCheck;
  // The check reads from the handle's position onwards.
  LARGE_INTEGER start{};
  if (!SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) return SignatureCheck::CannotCheck;

  TrustCheck check(path, file);
  const LONG status = check.Verify();
  if (status == TRUST_E_NOSIGNATURE || status == TRUST_E_SUBJECT_FORM_UNKNOWN) return SignatureCheck::NotSigned;
  if (status != ERROR_SUCCESS) return SignatureCheck::Invalid;

  const CERT_CONTEXT* signer = check.Signer();
  if (signer == nullptr || signer->pbCertEncoded == nullptr) return SignatureCheck::CannotCheck;
  CertificateHash found{};
  if (!Sha256(signer->pbCertEncoded, signer->cbCertEncoded, &found)) return SignatureCheck::CannotCheck;
  return found == expected ? SignatureCheck::Valid : SignatureCheck::OtherSigner;
}

}  // namespace hivemend
