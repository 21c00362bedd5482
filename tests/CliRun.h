// The console front end run in this process: its exit code and what it
// printed.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "cli/Cli.h"

namespace hivemend::test {

struct CliRun {
  int code = -1;
  std::string out, err;
};

// What a temporary file holds; closes it.
inline std::string ReadAndClose(std::FILE* f) {
  std::fflush(f);
  std::rewind(f);
  std::string text;
  char buffer[4096];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) text.append(buffer, n);
  std::fclose(f);
  return text;
}

// in: what standard input holds.
inline CliRun Cli(const std::vector<std::u16string>& args, const std::string& in = {}) {
  CliRun run;
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  std::FILE* input = std::tmpfile();
  if (!out || !err || !input) {
    ADD_FAILURE() << "no temporary file";
    for (std::FILE* f : {out, err, input}) if (f) std::fclose(f);
    return run;
  }
  std::fwrite(in.data(), 1, in.size(), input);
  std::rewind(input);
  run.code = RunCli(args, out, err, input);
  std::fclose(input);
  run.out = ReadAndClose(out);
  run.err = ReadAndClose(err);
  return run;
}

// The lines of a text, without their ends.
inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace hivemend::test
