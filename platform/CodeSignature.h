// Whether a program file carries a valid Authenticode signature made by one
// particular signer. Windows only: elsewhere no file is ever accepted.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace hivemend {

// The SHA-256 of a signer's certificate (its DER bytes).
using CertificateHash = std::array<std::uint8_t, 32>;

enum class SignatureCheck {
  Valid,        // a valid signature whose signer's certificate has the expected hash
  NotSigned,    // no signature at all
  Invalid,      // a signature that does not hold: changed bytes, an untrusted or revoked chain, ...
  OtherSigner,  // a valid signature by someone else
  CannotCheck,  // the check itself failed (or this system cannot check)
};

// Checks the file at path through file_handle, an open handle to it (a
// HANDLE on Windows) that the check reads from, so that what is checked is
// what the handle holds. No window is shown and nothing is fetched from the
// network.
SignatureCheck CheckCodeSignature(const std::u16string& path, void* file_handle, const CertificateHash& signer);

}  // namespace hivemend
