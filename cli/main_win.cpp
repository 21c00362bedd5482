#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "cli/Cli.h"
#include "platform/WinString.h"

// Output is UTF-8 bytes, the same on every system; standard input is read as
// bytes, as a file is.
int wmain(int argc, wchar_t** argv) {
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  std::vector<std::u16string> args;
  for (int i = 1; i < argc; ++i) args.push_back(hivemend::AsU16(argv[i]));
  return hivemend::RunCli(args, stdout, stderr);
}
