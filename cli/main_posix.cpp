#include "cli/Cli.h"
#include "platform/Text.h"

int main(int argc, char** argv) {
  std::vector<std::u16string> args;
  for (int i = 1; i < argc; ++i) args.push_back(hivemend::FromUtf8(argv[i]));
  return hivemend::RunCli(args, stdout, stderr);
}
