#include "base/file_watch.h"

#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "base/failures.h"
#include "base/files.h"

namespace sb {
namespace {

// A write in place (modified, then closed), a file created, or one renamed
// into the directory. A file removed or renamed away is not a change: an
// editor that saves that way puts the new file in place right after.
constexpr uint32_t kChangeEvents = IN_MODIFY | IN_CLOSE_WRITE | IN_CREATE | IN_MOVED_TO;
// The directory itself removed or moved away: the files are looked for
// again at their paths.
constexpr uint32_t kDirectoryGone = IN_DELETE_SELF | IN_MOVE_SELF;
// How often a directory that went is looked for.
constexpr std::chrono::milliseconds kLookAgain{100};
// How often the watched directories are checked to be there: the working
// directory, removed, reports nothing while this program is in it.
constexpr std::chrono::milliseconds kCheckThere{1000};

std::string last_component(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

FileWatch::FileWatch(std::vector<std::string> paths, std::function<void(const std::string&)> notice)
    : notice_(std::move(notice)) {
  if (char* here = ::getcwd(nullptr, 0)) {
    working_directory_ = here;
    std::free(here);
  }
  fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (fd_ < 0) throw FileSystemError(std::string("cannot watch files: ") + std::strerror(errno));
  for (std::string& path : paths) {
    std::string dir = directory_of(path);
    const int descriptor = ::inotify_add_watch(fd_, dir.c_str(), kChangeEvents | kDirectoryGone);
    if (descriptor < 0) {
      const int error = errno;
      ::close(fd_);
      throw FileSystemError("cannot watch the directory " + dir + ": " + std::strerror(error));
    }
    std::string name = last_component(path);
    files_.push_back({std::move(path), std::move(dir), std::move(name), descriptor});
  }
}

FileWatch::~FileWatch() {
  if (fd_ >= 0) ::close(fd_);
}

void FileWatch::lose_directory(int descriptor, const char* how) {
  bool told = false;
  for (Watched& file : files_) {
    if (file.descriptor != descriptor) continue;
    file.descriptor = -1;
    if (!told && notice_) notice_("the directory " + file.dir + " was " + how + "; waiting for it to be there again");
    told = true;
  }
  // A directory moved away would go on reporting from its new place.
  if (told) ::inotify_rm_watch(fd_, descriptor);
}

bool FileWatch::find_lost_directories(std::vector<bool>& changed) {
  // A working directory removed or moved away and made again is entered
  // again, so that the relative paths name the files of the new one; while
  // there is none, they name nothing.
  bool relative_paths = true;
  if (!working_directory_.empty()) {
    struct stat here {
    }, there{};
    if (::stat(working_directory_.c_str(), &there) != 0) {
      relative_paths = false;
    } else if (::stat(".", &here) != 0 || here.st_nlink == 0 || here.st_dev != there.st_dev ||
               here.st_ino != there.st_ino) {
      relative_paths = ::chdir(working_directory_.c_str()) == 0;
    }
  }
  bool any = false;
  for (std::size_t i = 0; i < files_.size(); ++i) {
    if (files_[i].descriptor >= 0 || (files_[i].dir.front() != '/' && !relative_paths)) continue;
    const int descriptor = ::inotify_add_watch(fd_, files_[i].dir.c_str(), kChangeEvents | kDirectoryGone);
    if (descriptor < 0) continue;
    if (notice_) notice_("watching the directory " + files_[i].dir + " again");
    for (std::size_t j = i; j < files_.size(); ++j) {
      if (files_[j].descriptor < 0 && files_[j].dir == files_[i].dir) {
        files_[j].descriptor = descriptor;
        changed[j] = true;
      }
    }
    any = true;
  }
  return any;
}

void FileWatch::check_directories() {
  for (const Watched& file : files_) {
    struct stat st {};
    if (file.descriptor >= 0 && (::stat(file.dir.c_str(), &st) != 0 || st.st_nlink == 0)) {
      lose_directory(file.descriptor, "removed");
    }
  }
}

bool FileWatch::read_events(std::vector<bool>& changed) {
  alignas(inotify_event) char buffer[16384];
  bool any = false;
  for (;;) {
    const ssize_t n = ::read(fd_, buffer, sizeof buffer);
    if (n <= 0) return any;
    for (ssize_t at = 0; at < n;) {
      inotify_event event;
      std::memcpy(&event, buffer + at, sizeof event);
      const char* name = buffer + at + sizeof event;
      const std::size_t name_length = event.len > 0 ? ::strnlen(name, event.len) : 0;
      if ((event.mask & (kDirectoryGone | IN_IGNORED)) != 0) {
        lose_directory(event.wd, (event.mask & IN_MOVE_SELF) != 0 ? "moved away" : "removed");
      }
      for (std::size_t i = 0; i < files_.size(); ++i) {
        if (files_[i].descriptor == event.wd && (event.mask & kChangeEvents) != 0 &&
            files_[i].name == std::string_view(name, name_length)) {
          changed[i] = true;
          any = true;
        }
      }
      at += static_cast<ssize_t>(sizeof event + event.len);
    }
  }
}

std::optional<std::vector<std::string>> FileWatch::wait(int stop_fd, std::chrono::milliseconds quiet,
                                                        std::chrono::milliseconds longest) {
  using Clock = std::chrono::steady_clock;
  std::vector<bool> changed(files_.size(), false);
  std::optional<Clock::time_point> first;
  const auto lost = [this] {
    return std::any_of(files_.begin(), files_.end(), [](const Watched& f) { return f.descriptor < 0; });
  };
  Clock::time_point next_check = Clock::now() + kCheckThere;
  for (;;) {
    if (Clock::now() >= next_check) {
      check_directories();
      next_check = Clock::now() + kCheckThere;
    }
    if (lost() && find_lost_directories(changed) && !first) first = Clock::now();
    int timeout = -1;
    if (first) {
      const auto left =
          std::min(quiet, std::chrono::duration_cast<std::chrono::milliseconds>(*first + longest - Clock::now()));
      timeout = static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
    }
    // While a directory is gone, poll wakes to look for it.
    const auto wake = std::chrono::duration_cast<std::chrono::milliseconds>(
        lost() ? kLookAgain : std::max(next_check - Clock::now(), Clock::duration::zero()));
    const bool cut_short = timeout < 0 || timeout > wake.count();
    if (cut_short) timeout = static_cast<int>(wake.count());
    pollfd fds[2] = {{fd_, POLLIN, 0}, {stop_fd, POLLIN, 0}};
    const int ready = ::poll(fds, stop_fd >= 0 ? 2 : 1, timeout);
    if (ready < 0 && errno != EINTR)
      throw FileSystemError(std::string("cannot wait for changes: ") + std::strerror(errno));
    if (stop_fd >= 0 && (fds[1].revents & (POLLIN | POLLHUP)) != 0) return std::nullopt;
    if (ready > 0 && (fds[0].revents & POLLIN) != 0) {
      if (read_events(changed) && !first) first = Clock::now();
      continue;
    }
    if (ready == 0 && first && !cut_short) break;
  }
  std::vector<std::string> paths;
  for (std::size_t i = 0; i < files_.size(); ++i) {
    if (changed[i]) paths.push_back(files_[i].path);
  }
  return paths;
}

}  // namespace sb
