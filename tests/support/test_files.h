// Helpers shared by the tests that touch the file system or run the
// program: a temporary directory, whole-file reads and writes, the golden
// files, ways to make a file impossible to replace, and one run of the
// executable with its exit status and output.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace sb::test {

// Sanitizers and unoptimised code run the same work several times slower,
// with shadow memory that says nothing about the program's own: time bounds
// stretch by kSlowBuildSlack, and peak memory is measured only in an
// optimised build without sanitizers.
#if defined(__SANITIZE_ADDRESS__) || !defined(__OPTIMIZE__)
#define SB_SLOW_BUILD 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SB_SLOW_BUILD 1
#endif
#endif
#ifdef SB_SLOW_BUILD
inline constexpr double kSlowBuildSlack = 15.0;
inline constexpr bool kMemoryMeasured = false;
#else
inline constexpr double kSlowBuildSlack = 1.0;
inline constexpr bool kMemoryMeasured = true;
#endif

// A fresh directory under the system temporary directory, made with
// mkdtemp and removed with everything in it when the object goes.
// `created()` is false when mkdtemp failed; a fixture asserts on it.
class TempDir {
 public:
  explicit TempDir(std::string_view prefix = "sb_test_") {
    std::string tmpl = (std::filesystem::temp_directory_path() / (std::string(prefix) + "XXXXXX")).string();
    if (::mkdtemp(tmpl.data()) != nullptr) path_ = tmpl;
  }
  ~TempDir() {
    if (path_.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  bool created() const { return !path_.empty(); }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// The whole file; empty when it cannot be opened.
inline std::string read_bytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The whole file of one that must be there: a file that cannot be opened
// fails the current test (and reads as empty).
inline std::string read_existing(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in) << path.string();
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Replaces the file (or makes it) with exactly `bytes`.
inline void write_bytes(const std::filesystem::path& path, std::string_view bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// The lines of a text, without their LF ends; a last line without an end
// counts too.
inline std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

// Every regular file of a directory (subdirectories left out), by name,
// with its bytes.
inline std::map<std::string, std::string> snapshot(const std::filesystem::path& dir) {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (entry.is_regular_file()) files[entry.path().filename().string()] = read_bytes(entry.path());
  }
  return files;
}

// The names of everything in a directory, files and directories alike.
inline std::set<std::string> names_in(const std::filesystem::path& dir) {
  std::set<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir)) names.insert(e.path().filename().string());
  return names;
}

// Sets or clears the immutable flag of a file, as `chattr +i` / `chattr -i`
// do. Returns "" or why it could not be done (no privilege, a file system
// without the flag).
inline std::string set_immutable(const std::filesystem::path& path, bool on) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return "cannot open " + path.string() + ": " + std::strerror(errno);
  int flags = 0;
  std::string problem;
  if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) != 0) {
    problem = std::string("cannot read the file flags: ") + std::strerror(errno);
  } else {
    flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
    if (::ioctl(fd, FS_IOC_SETFLAGS, &flags) != 0) {
      problem = std::string("cannot set the immutable flag: ") + std::strerror(errno);
    }
  }
  ::close(fd);
  return problem;
}

// A file made immutable for the life of the object; the flag is always
// cleared again, so that the temporary directory can be removed.
class ImmutableFile {
 public:
  explicit ImmutableFile(std::filesystem::path path) : path_(std::move(path)) { problem_ = set_immutable(path_, true); }
  ~ImmutableFile() {
    if (problem_.empty()) set_immutable(path_, false);
  }
  ImmutableFile(const ImmutableFile&) = delete;
  ImmutableFile& operator=(const ImmutableFile&) = delete;

  // "" when the flag is set, otherwise why not.
  const std::string& problem() const { return problem_; }

 private:
  std::filesystem::path path_;
  std::string problem_;
};

// Whether a directory without write permission stops this process from
// creating files in it; it does not for root (or with CAP_DAC_OVERRIDE).
// Tried in a directory made and removed under `scratch`.
inline bool directory_permissions_apply(const std::filesystem::path& scratch) {
  const std::filesystem::path dir = scratch / "permission_probe";
  std::filesystem::create_directory(dir);
  ::chmod(dir.c_str(), 0555);
  const int fd = ::open((dir / "probe").c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd >= 0) ::close(fd);
  ::chmod(dir.c_str(), 0755);
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
  return fd < 0;
}

// Where the golden file `name` lies.
inline std::filesystem::path golden_path(const std::string& name) { return std::string(SB_GOLDEN_DIR) + "/" + name; }

// The bytes of the golden file `name`, which must be there.
inline std::string golden(const std::string& name) { return read_existing(golden_path(name)); }

// Whether SB_BLESS=1 asks the tests that compare with recorded
// expectations (the diagnostics cases, the compiled file sums) to record
// what the program does now instead.
inline bool bless_requested() {
  const char* bless = std::getenv("SB_BLESS");
  return bless != nullptr && std::string_view(bless) == "1";
}

// How a run of the program ended.
struct Outcome {
  int status = -1;       // exit status; 128 + signal number when killed; -1 when it could not run
  std::string out;       // standard output
  std::string err;       // standard error
  long max_rss_kib = 0;  // peak resident memory of the run
  double seconds = 0;    // wall-clock time of the run
};

// Runs the program (SB_EXECUTABLE) with `args`: standard input from
// /dev/null (or the file `input`), standard output and error caught in
// files of a temporary directory of its own. A non-empty `cwd` is the
// child's working directory; `file_size_limit` > 0 lowers RLIMIT_FSIZE in
// the child.
inline Outcome run_program(const std::vector<std::string>& args, const std::filesystem::path& cwd = {},
                           rlim_t file_size_limit = 0, const std::filesystem::path& input = {}) {
  Outcome o;
  const TempDir capture("sb_capture_");
  if (!capture.created()) return o;
  const std::filesystem::path out_path = capture.path() / "stdout", err_path = capture.path() / "stderr";
  std::vector<std::string> words = {SB_EXECUTABLE};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);

  const auto started = std::chrono::steady_clock::now();
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int in = ::open(input.empty() ? "/dev/null" : input.c_str(), O_RDONLY);
    const int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0) ::_exit(120);
    if (!cwd.empty() && ::chdir(cwd.c_str()) != 0) ::_exit(123);
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(err, 2);
    if (file_size_limit > 0) {
      struct rlimit limit {
        file_size_limit, file_size_limit
      };
      if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(121);
    }
    ::execv(argv[0], argv.data());
    ::_exit(122);
  }
  if (pid < 0) return o;
  int wstatus = 0;
  struct rusage usage {};
  if (::wait4(pid, &wstatus, 0, &usage) != pid) return o;
  o.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  o.max_rss_kib = usage.ru_maxrss;
  o.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
  o.out = read_bytes(out_path);
  o.err = read_bytes(err_path);
  return o;
}

}  // namespace sb::test
