#pragma once
// Starting the project's programs from a test: a child with its own environment and its output in
// a file, waited for with a time limit.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace test {

class Process {
 public:
  // Starts `args[0]` with the current environment plus `env` ("NAME=value"), whose values win over
  // inherited ones of the same name; standard output and error go to `outputFile`.
  Process(const std::vector<std::string>& args, const std::vector<std::string>& env,
          const std::string& outputFile)
      : output_(outputFile) {
    std::vector<std::string> environment;
    const auto nameOf = [](const std::string& entry) { return entry.substr(0, entry.find('=')); };
    for (char** e = environ; *e; ++e) {
      const std::string inherited(*e);
      bool overridden = false;
      for (const auto& own : env) overridden = overridden || nameOf(own) == nameOf(inherited);
      if (!overridden) environment.push_back(inherited);
    }
    environment.insert(environment.end(), env.begin(), env.end());
    std::vector<char*> argv, envp;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    for (const auto& e : environment) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Process() {
    if (pid_ > 0 && !exited_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  bool started() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }
  void signal(int sig) { if (pid_ > 0) kill(pid_, sig); }
  // The exit code, or -1 when the child did not end within the time (or died of a signal).
  int wait(int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < end) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        exited_ = true;
        if (WIFSIGNALED(status)) endSignal_ = WTERMSIG(status);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return -1;
  }
  // The signal that ended the child (0: it exited, or has not ended).
  int endSignal() const { return endSignal_; }
  std::string output() const {
    std::ifstream in(output_);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

 private:
  pid_t pid_ = -1;
  bool exited_ = false;
  int endSignal_ = 0;
  std::string output_;
};

// Polls `ready` every 20 ms until it holds or the time runs out.
template <typename Ready>
bool eventually(Ready ready, int timeoutMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < end) {
    if (ready()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return ready();
}

}  // namespace test
