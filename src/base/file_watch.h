// Waits for changes of a few files (inotify). Each file's directory is
// watched and its events matched by name, so that an editor's save that
// renames a new file over the old one is seen as well as a write in place.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace sb {

class FileWatch {
 public:
  // Throws FileSystemError when a directory cannot be watched.
  explicit FileWatch(std::vector<std::string> paths);
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
    std::string name;  // the last component, as the events carry it
    int descriptor;    // of its directory
  };
  // Reads the pending events; marks the watched files they name.
  bool read_events(std::vector<bool>& changed);

  int fd_ = -1;
  std::vector<Watched> files_;
};

}  // namespace sb
