#include "platform/SystemText.h"

#include "platform/Text.h"

namespace hivemend {

// The portable half: the messages the program meets without a system to ask.
std::u16string PortableErrorMessage(long code) {
  switch (code) {
    case 2: return u"The system cannot find the file specified.";
    case 3: return u"The system cannot find the path specified.";
    case 5: return u"Access is denied.";
    case 6: return u"The handle is invalid.";
    case 50: return u"The request is not supported.";
    case 87: return u"The parameter is incorrect.";
    case 161: return u"The specified path is invalid.";
    case 234: return u"More data is available.";
    case 259: return u"No more data is available.";
    case 1009: return u"The configuration registry database is corrupt.";
    case 1018: return u"Illegal operation attempted on a registry key that has been marked for deletion.";
    default: return u"Unknown error.";
  }
}

}  // namespace hivemend
