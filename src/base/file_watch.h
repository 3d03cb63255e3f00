// Waits for changes of a few files (inotify). Each file's directory is
// watched and its events matched by name, so that an editor's save that
// renames a new file over the old one is seen as well as a write in place.
// A directory that is removed or moved away is looked for again at its
// path until one is there; its files then count as changed. (The working
// directory too: it is entered again when it is made again.)
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace sb {

class FileWatch {
 public:
  // Throws FileSystemError when a directory cannot be watched. `notice`
  // is told when a directory goes and when one is back at its path.
  explicit FileWatch(std::vector<std::string> paths, std::function<void(const std::string&)> notice = {});
  ~FileWatch();
  FileWatch(const FileWatch&) = delete;
  FileWatch& operator=(const FileWatch&) = delete;

  // Waits for a change of a watched file, then until `quiet` passes with
  // no further change (a burst of saves is one change; a steady stream
  // ends the wait after `longest`). Returns the files that changed, in the
  // order they were given; nothing when `stop_fd` (if not -1) became
  // readable first.
  std::optional<std::vector<std::string>> wait(int stop_fd, std::chrono::milliseconds quiet,
                                               std::chrono::milliseconds longest = std::chrono::seconds(2));

 private:
  struct Watched {
    std::string path;
    std::string dir;
    std::string name;  // the last component, as the events carry it
    int descriptor;    // of its directory; -1 while the directory is gone
  };
  // Reads the pending events; marks the watched files they name.
  bool read_events(std::vector<bool>& changed);
  // The files of the directory watched by `descriptor` lose it.
  void lose_directory(int descriptor, const char* how);
  // Loses every directory that is no longer at its path (one removed
  // while it is the working directory sends no event).
  void check_directories();
  // Watches again every directory that is back at its path; marks its
  // files changed. True when one was.
  bool find_lost_directories(std::vector<bool>& changed);

  int fd_ = -1;
  std::vector<Watched> files_;
  std::function<void(const std::string&)> notice_;
  std::string working_directory_;  // its path when the watch began
};

}  // namespace sb
