#include "ChildProcess.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>

extern char** environ;

namespace vorlane::testing {

namespace {

std::vector<char*> NullTerminated(std::vector<std::string>& strings) {
  std::vector<char*> result;
  for (std::string& s : strings) result.push_back(s.data());
  result.push_back(nullptr);
  return result;
}

// Reads both pipes until they close or the deadline passes.
void Collect(int outFd, int errFd, pid_t pid, double timeoutSeconds, TChildResult& result) {
  const auto deadline = std::chrono::steady_clock::now() +
                        std::chrono::milliseconds(static_cast<long>(timeoutSeconds * 1000));
  pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
  std::string* sinks[2] = {&result.Out, &result.Err};
  int open = 2;
  while (open > 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    if (left <= 0) {
      result.TimedOut = true;
      kill(pid, SIGKILL);
      break;
    }
    if (poll(fds, 2, static_cast<int>(left)) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (pollfd& f : fds) {
      if (f.fd < 0 || f.revents == 0) continue;
      char buffer[4096];
      const ssize_t n = read(f.fd, buffer, sizeof buffer);
      if (n > 0) {
        sinks[&f - fds]->append(buffer, static_cast<std::size_t>(n));
      } else {
        close(f.fd);
        f.fd = -1;
        --open;
      }
    }
  }
  for (pollfd& f : fds)
    if (f.fd >= 0) close(f.fd);
}

}  // namespace

TChildResult RunChild(const std::string& path, const std::vector<std::string>& args,
                      const std::map<std::string, std::string>& env, double timeoutSeconds) {
  std::vector<std::string> argStrings{path};
  argStrings.insert(argStrings.end(), args.begin(), args.end());
  std::vector<std::string> envStrings;
  for (char** e = environ; *e != nullptr; ++e)
    if (std::strncmp(*e, "VORLANE_JOYSTICK_", 17) != 0) envStrings.emplace_back(*e);
  for (const auto& [name, value] : env) envStrings.push_back(name + "=" + value);
  std::vector<char*> argv = NullTerminated(argStrings);
  std::vector<char*> envp = NullTerminated(envStrings);

  int out[2], err[2];
  if (pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  if (pipe2(err, O_CLOEXEC) != 0) {
    close(out[0]);
    close(out[1]);
    throw std::runtime_error("pipe failed");
  }
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    dup2(out[1], STDOUT_FILENO);
    dup2(err[1], STDERR_FILENO);
    const int null = open("/dev/null", O_RDONLY);
    dup2(null, STDIN_FILENO);
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  close(out[1]);
  close(err[1]);

  TChildResult result;
  Collect(out[0], err[0], pid, timeoutSeconds, result);
  int status = 0;
  waitpid(pid, &status, 0);
  if (!result.TimedOut && WIFEXITED(status)) result.ExitCode = WEXITSTATUS(status);
  return result;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t begin = 0;
  while (begin < text.size()) {
    std::size_t end = text.find('\n', begin);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(begin, end - begin));
    begin = end + 1;
  }
  return lines;
}

}  // namespace vorlane::testing
