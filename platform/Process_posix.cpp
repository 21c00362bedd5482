#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/Process.h"
#include "platform/Text.h"

namespace hivemend {

std::u16string ProgramPath() {
  const std::string path = ReadUntilFits<char>(256, 1u << 16, [](char* buffer, std::size_t capacity) -> std::size_t {
    const ssize_t length = readlink("/proc/self/exe", buffer, capacity);
    return length > 0 ? static_cast<std::size_t>(length) : 0;
  });
  return FromUtf8(path);
}

// The child starts a grandchild and ends at once, so that nobody has to wait
// for the program; a pipe that closes on exec tells whether exec succeeded.
bool StartProcess(const std::u16string& program, std::initializer_list<std::u16string_view> arguments) {
  std::vector<std::string> texts{ToUtf8(program)};
  for (std::u16string_view argument : arguments) texts.push_back(ToUtf8(argument));
  std::vector<char*> argv;
  for (std::string& text : texts) argv.push_back(text.data());
  argv.push_back(nullptr);

  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) return false;
  const pid_t child = fork();
  if (child == 0) {
    const pid_t grandchild = fork();
    if (grandchild == 0) {
      execv(argv[0], argv.data());
      const int error = errno;
      (void)!write(report[1], &error, sizeof(error));
      _exit(127);
    }
    _exit(grandchild > 0 ? 0 : 1);
  }
  close(report[1]);
  bool started = false;
  if (child > 0) {
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    int error = 0;
    ssize_t got;
    while ((got = read(report[0], &error, sizeof(error))) < 0 && errno == EINTR) {
    }
    // Nothing to read: exec closed the pipe, or the grandchild was never made.
    started = got == 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }
  close(report[0]);
  return started;
}

// There is no consent prompt here.
long StartProcessElevated(const std::u16string&, const std::vector<std::u16string>&, void*) {
  return 50;  // ERROR_NOT_SUPPORTED
}

bool StartProcessVerbatim(const std::u16string&, std::u16string_view) { return false; }
long StartProcessElevatedVerbatim(const std::u16string&, std::u16string_view, void*) { return 50; }

bool ProcessIsElevated() { return geteuid() == 0; }

}  // namespace hivemend
