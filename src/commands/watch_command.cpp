#include "commands/watch_command.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <ctime>
#include <iostream>
#include <map>
#include <optional>

#include "base/encoding.h"
#include "base/failures.h"
#include "base/file_watch.h"
#include "base/files.h"
#include "base/interrupts.h"
#include "commands/compile_trains.h"
#include "commands/output_names.h"
#include "commands/report.h"
#include "commands/view_command.h"
#include "view/page.h"

extern char** environ;

namespace sb {
namespace {

// A burst of saves closer together than this is one change.
constexpr std::chrono::milliseconds kQuiet{100};

std::string joined(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
  return text;
}

// The local time of day, "14:02:31".
std::string clock_now() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  if (::localtime_r(&now, &local) == nullptr) return "";
  char text[16];
  std::strftime(text, sizeof text, "%H:%M:%S", &local);
  return text;
}

// The page server, a program of its own beside this one
// (src/serve/main.cpp): told the number of each new build on its standard
// input, stopped by the end of it.
class PageServer {
 public:
  ~PageServer() { stop(); }

  // Starts it; returns the port it listens on, or an explanation.
  std::optional<int> start(const std::string& address, int port, const std::string& page, std::string& problem) {
    const std::string program = join_path(program_directory(), "scenario-builder-serve");
    int to_server[2], from_server[2];
    if (::pipe2(to_server, O_CLOEXEC) != 0) return fail(problem, "cannot start the page server: no pipe");
    if (::pipe2(from_server, O_CLOEXEC) != 0) {
      ::close(to_server[0]);
      ::close(to_server[1]);
      return fail(problem, "cannot start the page server: no pipe");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, to_server[0], 0);
    posix_spawn_file_actions_adddup2(&actions, from_server[1], 1);
    const std::string port_text = std::to_string(port);
    char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>(address.c_str()),
                    const_cast<char*>(port_text.c_str()), const_cast<char*>(page.c_str()), nullptr};
    const int spawned = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(to_server[0]);
    ::close(from_server[1]);
    if (spawned != 0) {
      ::close(to_server[1]);
      ::close(from_server[0]);
      pid_ = -1;
      return fail(problem, "cannot start the page server " + program + ": " + std::strerror(spawned));
    }
    input_ = to_server[1];
    const std::string answer = read_answer(from_server[0]);
    ::close(from_server[0]);
    if (answer.rfind("listening ", 0) != 0) {
      stop();
      return fail(problem, "the page server did not start");
    }
    return std::atoi(answer.c_str() + 10);
  }

  // Tells it that the page now shows build `number`.
  void announce(long long number) {
    if (input_ < 0) return;
    const std::string line = std::to_string(number) + "\n";
    if (::write(input_, line.data(), line.size()) != static_cast<ssize_t>(line.size())) {
      print_error("the page server has stopped; the page is still written");
      ::close(input_);
      input_ = -1;
    }
  }

  void stop() {
    if (input_ >= 0) ::close(input_);
    input_ = -1;
    if (pid_ > 0) {
      int status = 0;
      while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
      }
    }
    pid_ = -1;
  }

 private:
  static std::optional<int> fail(std::string& problem, std::string why) {
    problem = std::move(why);
    return std::nullopt;
  }

  // Its first line, read within a few seconds.
  static std::string read_answer(int fd) {
    std::string answer;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (answer.find('\n') == std::string::npos) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
      pollfd p{fd, POLLIN, 0};
      if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
      char buffer[256];
      const ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n <= 0) break;
      answer.append(buffer, static_cast<std::size_t>(n));
    }
    return answer;
  }

  pid_t pid_ = -1;
  int input_ = -1;
};

class Watch {
 public:
  Watch(WatchOptions options, std::vector<TrainInput> trains) : o_(std::move(options)), trains_(std::move(trains)) {}

  std::vector<std::string> inputs() const {
    std::vector<std::string> files = {o_.compile.line_file};
    for (const TrainInput& train : trains_) files.push_back(train.file);
    return files;
  }

  std::string page_of(const TrainInput& train) const {
    return o_.page.empty() ? page_name(o_.compile.out_dir, o_.compile.route, train.number) : o_.page;
  }

  void set_live(bool live) { live_ = live; }

  // One build: compile, the set replaced when it compiled cleanly, the
  // pages written either way. Prints its start and end lines.
  void build(const std::string& start_line) {
    ++number_;
    std::cerr << start_line << std::endl;
    const auto started = std::chrono::steady_clock::now();
    std::size_t errors = 0, warnings = 0;
    bool written = false;
    std::string problem;
    try {
      const TrainsOutcome outcome = compile_trains(o_.compile, trains_, [this](auto&... args) { write_page(args...); });
      for (const TrainTally& tally : outcome.trains) {
        errors += tally.errors + tally.failing_warnings + (tally.status == kExitFatal ? 1 : 0);
        warnings += tally.warnings;
      }
      written = outcome.written;
    } catch (const FileSystemError& e) {
      print_error(e.what());
      problem = e.what();
    }
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count();
    if (written) {
      std::cerr << "built in " << ms << " ms: " << tally_text(errors, warnings) << std::endl;
    } else if (!problem.empty()) {
      std::cerr << "failed: " << problem << "; previous outputs kept" << std::endl;
    } else {
      std::cerr << "failed: " << errors << (errors == 1 ? " error" : " errors") << "; previous outputs kept"
                << std::endl;
    }
  }

  long long number() const { return number_; }

 private:
  void write_page(const TrainInput& train, const std::string& line_bytes, const std::string& train_bytes,
                  const Compiled& compiled) {
    CheckRequest inputs;
    inputs.compile = {utf8_to_1252(o_.compile.route).value_or(""), utf8_to_1252(train.number).value_or(""),
                      o_.compile.plan};
    inputs.line = {o_.compile.line_file, line_bytes};
    inputs.train = {train.file, train_bytes};
    view::PageModel model = page_model_of_descriptions(inputs, compiled);
    // The page says when it was built, and a good build after failed ones
    // says when the last of them failed.
    model.build.time = clock_now();
    if (model.build.failed) {
      failed_at_[train.number] = model.build.time;
    } else if (auto failed = failed_at_.find(train.number); failed != failed_at_.end()) {
      model.build.failed_before = failed->second;
      failed_at_.erase(failed);
    }
    if (live_) {
      model.live_events = "/events";
      model.live_build = number_;
    }
    replace_file(page_of(train), view::render_page(model));
  }

  WatchOptions o_;
  std::vector<TrainInput> trains_;
  bool live_ = false;
  long long number_ = 0;
  std::map<std::string, std::string> failed_at_;  // train -> time of its last failed build
};

bool is_loopback(const std::string& address) { return address.rfind("127.", 0) == 0; }

}  // namespace

std::string parse_serve_address(const std::string& text, std::string& address, int& port) {
  const auto colon = text.rfind(':');
  address = colon == std::string::npos ? "127.0.0.1" : text.substr(0, colon);
  if (address == "localhost") address = "127.0.0.1";
  const std::string digits = colon == std::string::npos ? text : text.substr(colon + 1);
  in_addr parsed{};
  if (::inet_pton(AF_INET, address.c_str(), &parsed) != 1) {
    return "--serve " + text + ": " + address + " is not an IPv4 address (write [ADDRESS:]PORT, e.g. 127.0.0.1:8080)";
  }
  if (digits.empty() || digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos ||
      std::stoi(digits) > 65535) {
    return "--serve " + text + ": the port must be a number 0 to 65535";
  }
  port = std::stoi(digits);
  return "";
}

int run_watch(WatchOptions options) {
  std::vector<TrainInput> trains;
  std::string problem = train_inputs(options.compile, trains);
  std::string address;
  int port = 0;
  if (problem.empty() && trains.size() > 1 && !options.page.empty()) {
    problem = "-o names one page: with several trains each page goes to ROUTE_TRAIN.html in --out";
  }
  if (problem.empty() && trains.size() > 1 && !options.serve.empty()) problem = "--serve serves the page of one train";
  if (problem.empty() && !options.serve.empty()) problem = parse_serve_address(options.serve, address, port);
  if (problem.empty()) problem = trains_output_problem(options.compile, trains);
  Watch watch(options, trains);
  if (problem.empty()) {
    std::vector<NamedOutput> outputs;
    for (const TrainInput& train : trains) outputs.push_back({"page", watch.page_of(train)});
    problem = outputs_problem(outputs, watch.inputs());
  }
  if (!problem.empty()) {
    print_error(problem);
    return kExitUsage;
  }
  std::signal(SIGPIPE, SIG_IGN);
  const int stop_fd = interrupts_as_requests();
  // A build that waits for another run's lock stops with the watch too.
  stop_waits_when_readable(stop_fd);
  try {
    FileWatch changes(watch.inputs(), [](const std::string& text) { std::cerr << text << std::endl; });
    watch.set_live(!options.serve.empty());
    watch.build("building " + joined(watch.inputs()));
    PageServer server;
    if (!options.serve.empty()) {
      if (!is_loopback(address)) {
        print_summary("warning: serving on " + address +
                      ", not on this machine's loopback address: other machines may reach the page");
      }
      const std::optional<int> bound = server.start(address, port, watch.page_of(trains.front()), problem);
      if (!bound) {
        print_error(problem);
        return kExitFileSystem;
      }
      server.announce(watch.number());
      std::cerr << "serving the page at http://" << address << ":" << *bound << "/" << std::endl;
    }
    while (const auto changed = changes.wait(stop_fd, kQuiet)) {
      if (changed->empty()) continue;
      watch.build("rebuilding after a change to " + joined(*changed));
      server.announce(watch.number());
    }
    server.stop();
    std::cerr << "stopped watching" << std::endl;
    return kExitSuccess;
  } catch (const FileSystemError& e) {
    print_error(e.what());
    return kExitFileSystem;
  } catch (const WaitStopped& e) {
    std::cerr << "stopped watching: " << e.what() << std::endl;
    return kExitSuccess;
  }
}

}  // namespace sb
