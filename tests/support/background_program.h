// The program running in the background, for the tests that need to act
// while it runs (watch, runs that meet each other): its standard error is
// read line by line as it comes.
#pragma once

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <regex>
#include <string>
#include <thread>
#include <vector>

namespace sb::test {

class Background {
 public:
  Background(const std::vector<std::string>& args, const std::string& cwd) {
    int err[2];
    if (::pipe(err) != 0) return;
    std::vector<std::string> words = {SB_EXECUTABLE};
    words.insert(words.end(), args.begin(), args.end());
    pid_ = ::fork();
    if (pid_ == 0) {
      std::vector<char*> argv;
      for (std::string& w : words) argv.push_back(w.data());
      argv.push_back(nullptr);
      ::dup2(err[1], 2);
      ::close(err[0]);
      if (::chdir(cwd.c_str()) != 0) ::_exit(123);
      ::execv(argv[0], argv.data());
      ::_exit(122);
    }
    ::close(err[1]);
    err_ = err[0];
  }
  ~Background() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    if (err_ >= 0) ::close(err_);
  }
  Background(const Background&) = delete;
  Background& operator=(const Background&) = delete;

  // The next line that matches `pattern`, waiting up to `limit`; "" when
  // none came. Every line read is kept in `seen`.
  std::string line_matching(const std::string& pattern,
                            std::chrono::milliseconds limit = std::chrono::milliseconds(10000)) {
    const std::regex wanted(pattern);
    const auto until = std::chrono::steady_clock::now() + limit;
    for (;;) {
      for (std::size_t end; (end = pending_.find('\n')) != std::string::npos;) {
        std::string line = pending_.substr(0, end);
        pending_.erase(0, end + 1);
        seen += line + "\n";
        if (std::regex_search(line, wanted)) return line;
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
      pollfd p{err_, POLLIN, 0};
      if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) return "";
      char buffer[4096];
      const ssize_t n = ::read(err_, buffer, sizeof buffer);
      if (n <= 0) return "";
      pending_.append(buffer, static_cast<std::size_t>(n));
    }
  }

  // Sends `signal` without waiting.
  void signal(int signal) {
    if (pid_ > 0) ::kill(pid_, signal);
  }

  // Waits up to `limit` for the program to end, then reads the rest of
  // its standard error into `seen`. The exit status (128 + the signal's
  // number when a signal ended it); -1 when it was still running (it is
  // killed then).
  int wait(std::chrono::milliseconds limit = std::chrono::milliseconds(10000)) {
    if (pid_ <= 0) return -1;
    const auto until = std::chrono::steady_clock::now() + limit;
    int status = 0;
    pid_t ended = 0;
    while ((ended = ::waitpid(pid_, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < until) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (ended != pid_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
      pid_ = -1;
      return -1;
    }
    pid_ = -1;
    line_matching("(?!)", std::chrono::milliseconds(2000));  // to the end of the output
    seen += pending_;
    pending_.clear();
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

  // Sends `signal` and waits for the exit status.
  int stop(int signal = SIGTERM) {
    this->signal(signal);
    return wait();
  }

  std::string seen;

 private:
  pid_t pid_ = -1;
  int err_ = -1;
  std::string pending_;
};

}  // namespace sb::test
