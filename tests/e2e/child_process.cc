#include "child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace vove {

namespace {

std::string without_carriage_returns(std::string text) {
  text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
  return text;
}

ExitStatus decode_status(int raw) {
  ExitStatus status;
  if (WIFEXITED(raw)) {
    status.exited = true;
    status.code = WEXITSTATUS(raw);
  } else if (WIFSIGNALED(raw)) {
    status.signal = WTERMSIG(raw);
  }
  return status;
}

}  // namespace

std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const std::filesystem::path& directory,
                           const std::string& label)
    : stdout_path_(directory / (label + ".stdout")), stderr_path_(directory / (label + ".stderr")) {
  if (argv.empty()) throw std::runtime_error("no program to start");
  std::vector<char*> arguments;
  for (const auto& argument : argv) arguments.push_back(const_cast<char*>(argument.c_str()));
  arguments.push_back(nullptr);

  // Everything the child needs is prepared before fork: after it, only
  // async-signal-safe calls are made.
  const std::string directory_text = directory.string();
  const std::string out_text = stdout_path_.string();
  const std::string err_text = stderr_path_.string();
  int ready[2];
  if (pipe2(ready, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");

  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    close(ready[0]);
    const int out = open(out_text.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(err_text.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int in = open("/dev/null", O_RDONLY);
    if (out < 0 || err < 0 || in < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 || dup2(in, 0) < 0 ||
        chdir(directory_text.c_str()) != 0) {
      _exit(127);
    }
    // Its own process group, so a terminal's Ctrl+C never reaches it.
    setpgid(0, 0);
    // The test decides which signals arrive; start from default actions.
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    execvp(arguments[0], arguments.data());
    const int error = errno;
    (void)!write(ready[1], &error, sizeof error);
    _exit(127);
  }
  close(ready[1]);
  int exec_error = 0;
  const ssize_t got = read(ready[0], &exec_error, sizeof exec_error);
  close(ready[0]);
  if (got == static_cast<ssize_t>(sizeof exec_error)) {
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
    throw std::runtime_error("cannot start " + argv.front());
  }
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0 && !status_) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
}

void ChildProcess::send_signal(int signal_number) const {
  if (pid_ > 0 && !status_) kill(pid_, signal_number);
}

bool ChildProcess::has_ended() {
  int raw = 0;
  rusage usage{};
  if (!status_ && wait4(pid_, &raw, WNOHANG, &usage) == pid_) {
    status_ = decode_status(raw);
    peak_resident_kib_ = usage.ru_maxrss;
  }
  return status_.has_value();
}

std::optional<ExitStatus> ChildProcess::wait_for_exit(std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!has_ended() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return status_;
}

std::string ChildProcess::standard_output() const { return without_carriage_returns(read_file(stdout_path_)); }

std::string ChildProcess::standard_error() const { return without_carriage_returns(read_file(stderr_path_)); }

bool ChildProcess::wait_for_output(const std::string& text, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    // Ended or not, whatever it printed counts.
    const bool ended = has_ended();
    if (standard_output().find(text) != std::string::npos) return true;
    if (ended || std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

}  // namespace vove
