// The console front end: the same engine as the window, for scripts and tests.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "engine/ChangeEntry.h"  // EscapeField

namespace hivemend {

// args excludes the program name. Writes UTF-8 to out and err and reads the
// file named "-" from in; returns the process exit code (see the usage text:
// 0 normal end, 1 a load that ended with an error, 2 usage, and the codes of
// diff --exit-code).
int RunCli(const std::vector<std::u16string>& args, std::FILE* out, std::FILE* err, std::FILE* in = stdin);

class Registry;
// Tests: commands without --baseline use this registry in place of the
// system's (none: the system's again).
void SetSystemRegistryForTesting(Registry* registry);

}  // namespace hivemend
