// Running vextrane-cli as a child process (POSIX): to completion, or killed
// with SIGKILL at a chosen moment.
#pragma once

#ifndef _WIN32

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace vx::reliability {

#ifdef VX_CLI_PATH
inline constexpr const char* kCliPath = VX_CLI_PATH;
#else
inline constexpr const char* kCliPath = nullptr;
#endif

#define VX_CLI_OR_SKIP() \
  if (!kCliPath) GTEST_SKIP() << "vextrane-cli is not built in this tree"

inline double Now() {
  timespec ts;
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

struct CliRun {
  int exit_code = -1;   // -1: killed or not run
  bool killed = false;
  double seconds = 0;
};

// Runs the tool with `args`, stdout to `log_path`, stderr discarded. With
// kill_after >= 0, sends SIGKILL that many seconds after the start (if it
// is still running).
inline CliRun RunCli(const std::vector<std::string>& args, const std::string& log_path, double kill_after = -1) {
  CliRun run;
  std::vector<char*> argv;
  std::string program = kCliPath;
  argv.push_back(program.data());
  std::vector<std::string> copy = args;
  for (std::string& a : copy) argv.push_back(a.data());
  argv.push_back(nullptr);
  const double start = Now();
  const pid_t child = ::fork();
  if (child < 0) return run;
  if (child == 0) {
    const int out = ::open(log_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int null = ::open("/dev/null", O_WRONLY);
    if (out < 0 || null < 0) ::_exit(127);
    ::dup2(out, 1);
    ::dup2(null, 2);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  if (kill_after >= 0) {
    const long long ns = static_cast<long long>(kill_after * 1e9);
    timespec delay{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
    while (::nanosleep(&delay, &delay) != 0) {
    }
    run.killed = ::kill(child, SIGKILL) == 0;
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  run.seconds = Now() - start;
  if (WIFEXITED(status)) {
    run.exit_code = WEXITSTATUS(status);
    run.killed = false;  // it had finished before the signal
  }
  return run;
}

}  // namespace vx::reliability

#endif  // _WIN32
