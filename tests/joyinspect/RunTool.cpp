#include "RunTool.hpp"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>

extern char** environ;

namespace vorlane::JoyInspect::testing {

namespace {

void ClosePipe(int fds[2]) {
  for (int i = 0; i < 2; ++i)
    if (fds[i] >= 0) close(fds[i]);
}

}  // namespace

TRunResult RunJoyinspect(const std::vector<std::string>& args,
                         const std::map<std::string, std::string>& env, int timeoutSeconds) {
  std::vector<std::string> environment;
  for (char** e = environ; *e != nullptr; ++e)
    if (std::strncmp(*e, "VORLANE_JOYSTICK_", 17) != 0) environment.emplace_back(*e);
  std::map<std::string, std::string> extra{{"VORLANE_JOYSTICK_BACKENDS", "virtual"}};
  for (const auto& [k, v] : env) extra[k] = v;
  for (const auto& [k, v] : extra) environment.push_back(k + "=" + v);

  std::vector<std::string> argvStrings{JOYINSPECT_PATH};
  argvStrings.insert(argvStrings.end(), args.begin(), args.end());
  std::vector<char*> argv, envp;
  for (auto& s : argvStrings) argv.push_back(s.data());
  argv.push_back(nullptr);
  for (auto& s : environment) envp.push_back(s.data());
  envp.push_back(nullptr);

  int out[2] = {-1, -1}, err[2] = {-1, -1};
  if (pipe(out) != 0 || pipe(err) != 0) {
    ClosePipe(out);
    ClosePipe(err);
    throw std::runtime_error("pipe failed");
  }
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    dup2(out[1], STDOUT_FILENO);
    dup2(err[1], STDERR_FILENO);
    ClosePipe(out);
    ClosePipe(err);
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  close(out[1]);
  close(err[1]);

  TRunResult result;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  std::string* sinks[2] = {&result.Out, &result.Err};
  int open = 2;
  bool killed = false;
  while (open > 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      kill(pid, SIGKILL);
      killed = true;
      break;
    }
    if (poll(fds, 2, static_cast<int>(left.count())) < 0 && errno != EINTR) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[4096];
      const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        sinks[i]->append(buffer, static_cast<std::size_t>(n));
      } else {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
  for (auto& f : fds)
    if (f.fd >= 0) close(f.fd);
  int status = 0;
  waitpid(pid, &status, 0);
  result.ExitCode = !killed && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

std::vector<std::string> Lines(const std::string& text) {
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

}  // namespace vorlane::JoyInspect::testing
