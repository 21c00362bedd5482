// Whether a program file carries a valid Authenticode signature made with one
// of a few public keys. Windows only: elsewhere no file is ever accepted.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace hivemend {

// The SHA-256 of a signer's public key: of the DER bytes of its certificate's
// SubjectPublicKeyInfo. It stays the same when the certificate is renewed
// with the same key.
using KeyPin = std::array<std::uint8_t, 32>;

enum class SignatureCheck {
  Valid,              // a valid signature by a certificate whose key is pinned, and no certificate of its chain revoked
  NotSigned,          // no signature at all
  Invalid,            // a signature that does not hold: changed bytes, an untrusted or expired chain, ...
  OtherSigner,        // a valid signature made with a key that is not pinned
  Revoked,            // a certificate of the signer's chain (below its root) has been revoked
  RevocationUnknown,  // whether one has been revoked could not be found out in time
  CannotCheck,        // the check itself failed (or this system cannot check)
};

// Checks the file at path through file_handle, an open handle to it (a
// HANDLE on Windows) that the check reads from, so that what is checked is
// what the handle holds. No window is shown. Revocation is asked for every
// certificate of the chain but its root: from cached data first, and only
// when that does not tell, from the network within revocation_timeout_ms in
// all.
SignatureCheck CheckCodeSignature(const std::u16string& path, void* file_handle, const std::vector<KeyPin>& pins,
                                  unsigned revocation_timeout_ms);

// The file version of a program file's version resource, its four fields
// most significant first; nothing when it has none (or elsewhere than on
// Windows).
std::optional<std::array<std::uint16_t, 4>> ProgramFileVersion(const std::u16string& path);

}  // namespace hivemend
