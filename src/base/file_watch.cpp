#include "base/file_watch.h"

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "base/failures.h"
#include "base/files.h"

namespace sb {
namespace {

// A write in place (modified, then closed), a file created, or one renamed
// into the directory. A file removed or renamed away is not a change: an
// editor that saves that way puts the new file in place right after.
constexpr uint32_t kChangeEvents = IN_MODIFY | IN_CLOSE_WRITE | IN_CREATE | IN_MOVED_TO;

std::string last_component(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

FileWatch::FileWatch(std::vector<std::string> paths) {
  fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (fd_ < 0) throw FileSystemError(std::string("cannot watch files: ") + std::strerror(errno));
  for (std::string& path : paths) {
    const std::string dir = directory_of(path);
    const int descriptor = ::inotify_add_watch(fd_, dir.c_str(), kChangeEvents);
    if (descriptor < 0) {
      const int error = errno;
      ::close(fd_);
      throw FileSystemError("cannot watch the directory " + dir + ": " + std::strerror(error));
    }
    std::string name = last_component(path);
    files_.push_back({std::move(path), std::move(name), descriptor});
  }
}

FileWatch::~FileWatch() {
  if (fd_ >= 0) ::close(fd_);
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
  for (;;) {
    int timeout = -1;
    if (first) {
      const auto left =
          std::min(quiet, std::chrono::duration_cast<std::chrono::milliseconds>(*first + longest - Clock::now()));
      timeout = static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
    }
    pollfd fds[2] = {{fd_, POLLIN, 0}, {stop_fd, POLLIN, 0}};
    const int ready = ::poll(fds, stop_fd >= 0 ? 2 : 1, timeout);
    if (ready < 0 && errno != EINTR)
      throw FileSystemError(std::string("cannot wait for changes: ") + std::strerror(errno));
    if (stop_fd >= 0 && (fds[1].revents & (POLLIN | POLLHUP)) != 0) return std::nullopt;
    if (ready > 0 && (fds[0].revents & POLLIN) != 0) {
      if (read_events(changed) && !first) first = Clock::now();
      continue;
    }
    if (ready == 0 && first) break;
  }
  std::vector<std::string> paths;
  for (std::size_t i = 0; i < files_.size(); ++i) {
    if (changed[i]) paths.push_back(files_[i].path);
  }
  return paths;
}

}  // namespace sb
