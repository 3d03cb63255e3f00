#include "base/files.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <random>
#include <stdexcept>
#include <vector>

#include "base/failures.h"

namespace sb {
namespace {


[[noreturn]] void fail(const std::string& action, const std::string& path, int err) {
  throw FileSystemError("cannot " + action + " " + path + ": " + std::strerror(err));
}

mode_t creation_mode() {
  static const mode_t mode = [] {
    mode_t mask = ::umask(0);
    ::umask(mask);
    return static_cast<mode_t>(0666 & ~mask);
  }();
  return mode;
}

}  // namespace

// One output of a set: the temporary file that holds its new bytes (none
// for a removal) and, while the set is being replaced, the temporary name
// its previous file is kept under.
class OutputSet::Output : public ByteSink, public PositionedSink {
 public:
  Output(std::string path, bool removal) : path_(std::move(path)), removal_(removal) {
    if (!removal_) create_temporary(path_, temp_path_, fd_, "create", true);
  }
  ~Output() override { discard(); }
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  const std::string& path() const { return path_; }

  // A positioned output stays open until the set is committed: its writes
  // may still be under way while the next outputs are added.
  void set_positioned() { positioned_ = true; }
  bool positioned() const { return positioned_; }

  // Every writer hands over whole blocks (or a whole small file), so each
  // write goes straight to the file, without a copy.
  void write(const char* data, std::size_t size) override {
    if (fd_ < 0) throw FileSystemError("cannot write " + path_ + ": file already closed");
    write_through(data, size);
  }

  // Gives the file its whole size at once, so that the writes at two
  // offsets fill space already laid out; where the file system cannot, the
  // writes lay it out as they go.
  void expect_size(uint64_t size) override {
    if (fd_ >= 0 && size > 0) (void)::posix_fallocate(fd_, 0, static_cast<off_t>(size));
  }

  // Writes at `offset`; safe to call from several threads at once.
  void write_at(uint64_t offset, const char* p, std::size_t left) override {
    while (left > 0) {
      const ssize_t n = ::pwrite(fd_, p, left, static_cast<off_t>(offset));
      if (n < 0) {
        if (errno == EINTR) continue;
        fail("write", path_, errno);
      }
      p += n;
      offset += static_cast<uint64_t>(n);
      left -= static_cast<std::size_t>(n);
    }
  }

  // Closes the temporary file.
  void finish() {
    if (fd_ < 0) return;
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) fail("write", path_, errno);
  }

  // From now on the target is to be gone: the new bytes are dropped.
  void make_removal() noexcept {
    discard_new_bytes();
    removal_ = true;
  }

  // Keeps the previous file (if any) under a temporary name and puts the
  // new one in its place. The previous file is hard-linked to that name, so
  // the target is never missing and the new file replaces it in one step;
  // where no hard link can be made (and for a removal) it is renamed.
  void replace() {
    const char* action = removal_ ? "delete" : "replace";
    struct stat st {};
    if (::lstat(path_.c_str(), &st) == 0) {
      if (S_ISDIR(st.st_mode)) fail(action, path_, EISDIR);
      if (removal_ || !link_previous()) {
        int fd = -1;
        create_temporary(path_, backup_path_, fd, action, false);
        ::close(fd);
        if (::rename(path_.c_str(), backup_path_.c_str()) != 0) fail(action, path_, errno);
      }
      previous_kept_ = true;
    } else if (errno != ENOENT) {
      fail(action, path_, errno);
    }
    if (removal_) return;
    if (::rename(temp_path_.c_str(), path_.c_str()) != 0) fail(action, path_, errno);
    temp_path_.clear();
    in_place_ = true;
  }

  // Undoes replace(). Returns "" or what could not be undone.
  std::string roll_back() noexcept {
    if (previous_kept_) {
      if (previous_linked_ && !in_place_) {
        ::unlink(backup_path_.c_str());  // the target still is the previous file
      } else if (::rename(backup_path_.c_str(), path_.c_str()) != 0) {
        const int err = errno;
        return "the previous " + path_ + " could not be put back (it is kept as " + backup_path_ +
               "): " + std::strerror(err);
      }
      backup_path_.clear();
    } else if (in_place_ && ::unlink(path_.c_str()) != 0 && errno != ENOENT) {
      const int err = errno;
      return "the new " + path_ + " could not be removed again: " + std::strerror(err);
    }
    previous_kept_ = previous_linked_ = in_place_ = false;
    return "";
  }

  // The set is in: the previous file goes.
  void settle() noexcept {
    if (previous_kept_) ::unlink(backup_path_.c_str());
    previous_kept_ = previous_linked_ = false;
    backup_path_.clear();
  }

 private:
  // Links the previous file to a new name PATH.tmp-XXXXXX. False when no
  // link can be made (a file system without hard links, an immutable
  // file): the caller then renames it, or fails.
  bool link_previous() {
    static thread_local std::mt19937_64 random{std::random_device{}()};
    static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::string name = path_ + ".tmp-";
      for (int i = 0; i < 6; ++i) name += kLetters[random() % (sizeof kLetters - 1)];
      if (::link(path_.c_str(), name.c_str()) == 0) {
        backup_path_ = std::move(name);
        previous_linked_ = true;
        return true;
      }
      if (errno != EEXIST) return false;
    }
    return false;
  }

  // A new empty file PATH.tmp-XXXXXX beside `path`; `new_file` gives it
  // the mode a newly created file gets (a name reserved for a previous
  // file needs none: the previous file is renamed over it).
  static void create_temporary(const std::string& path, std::string& temp_path, int& fd, const char* action,
                               bool new_file) {
    std::vector<char> name(path.begin(), path.end());
    const char suffix[] = ".tmp-XXXXXX";
    name.insert(name.end(), suffix, suffix + sizeof suffix);
    fd = ::mkstemp(name.data());
    if (fd < 0) fail(action, path, errno);
    temp_path.assign(name.data());
    if (new_file && ::fchmod(fd, creation_mode()) != 0) {
      int err = errno;
      ::close(fd);
      fd = -1;
      ::unlink(temp_path.c_str());
      temp_path.clear();
      fail(action, path, err);
    }
  }

  void write_through(const char* p, std::size_t left) {
    while (left > 0) {
      ssize_t n = ::write(fd_, p, left);
      if (n < 0) {
        if (errno == EINTR) continue;
        int err = errno;
        discard_new_bytes();
        fail("write", path_, err);
      }
      p += n;
      left -= static_cast<std::size_t>(n);
    }
  }

  void discard_new_bytes() noexcept {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!temp_path_.empty()) ::unlink(temp_path_.c_str());
    temp_path_.clear();
  }

  // Removes every temporary file, except a previous file that could not
  // be put back.
  void discard() noexcept {
    discard_new_bytes();
    if (!backup_path_.empty() && (!previous_kept_ || (previous_linked_ && !in_place_))) {
      ::unlink(backup_path_.c_str());
    }
  }

  std::string path_;
  bool removal_;
  bool positioned_ = false;
  std::string temp_path_;  // the new bytes; empty once renamed or dropped
  int fd_ = -1;
  std::string backup_path_;        // the name the previous file is kept under
  bool previous_kept_ = false;     // the previous file is at backup_path_
  bool previous_linked_ = false;   // ... as a hard link: until in_place_, also at path_
  bool in_place_ = false;          // the new file is at path_
};

OutputSet::OutputSet() = default;
OutputSet::~OutputSet() = default;

OutputSet::Output* OutputSet::find(const std::string& path) {
  for (auto& o : outputs_) {
    if (o->path() == path) return o.get();
  }
  return nullptr;
}

void OutputSet::finish_last() {
  if (!outputs_.empty() && !outputs_.back()->positioned()) outputs_.back()->finish();
}

ByteSink& OutputSet::add(const std::string& path) {
  if (committed_) throw std::logic_error("output added to a committed set: " + path);
  if (find(path) != nullptr) throw std::logic_error("output written twice in one set: " + path);
  finish_last();
  outputs_.push_back(std::make_unique<Output>(path, false));
  return *outputs_.back();
}

PositionedSink& OutputSet::add_positioned(const std::string& path) {
  add(path);
  outputs_.back()->set_positioned();
  return *outputs_.back();
}

void OutputSet::add(const std::string& path, std::string_view bytes) {
  add(path).write(bytes.data(), bytes.size());
}

void OutputSet::remove(const std::string& path) {
  if (committed_) throw std::logic_error("output removed from a committed set: " + path);
  if (Output* o = find(path)) {
    o->make_removal();
    return;
  }
  finish_last();
  outputs_.push_back(std::make_unique<Output>(path, true));
}

void OutputSet::commit() {
  if (committed_) throw std::logic_error("output set committed twice");
  committed_ = true;
  for (auto& o : outputs_) o->finish();
  std::size_t at = 0;
  try {
    for (; at < outputs_.size(); ++at) outputs_[at]->replace();
  } catch (const FileSystemError& failure) {
    std::string message = failure.what();
    for (std::size_t i = at + 1; i-- > 0;) {
      std::string left = outputs_[i]->roll_back();
      if (!left.empty()) message += "; " + left;
    }
    throw FileSystemError(message);
  }
  for (auto& o : outputs_) o->settle();
}

void replace_file(const std::string& path, std::string_view bytes) {
  AtomicFile file(path);
  file.write(bytes.data(), bytes.size());
  file.commit();
}

bool read_file(const std::string& path, std::string& bytes) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return false;
    fail("read", path, errno);
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    int err = S_ISDIR(st.st_mode) ? EISDIR : errno;
    ::close(fd);
    fail("read", path, err);
  }
  bytes.clear();
  if (st.st_size > 0) bytes.reserve(static_cast<std::size_t>(st.st_size));
  char chunk[1 << 16];
  for (;;) {
    ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      int err = errno;
      ::close(fd);
      fail("read", path, err);
    }
    if (n == 0) break;
    bytes.append(chunk, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return true;
}

bool file_exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

void delete_file(const std::string& path) {
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) fail("delete", path, errno);
}

void check_output_directory(const std::string& dir) {
  struct stat st {};
  if (::stat(dir.c_str(), &st) != 0) fail("use directory", dir, errno);
  if (!S_ISDIR(st.st_mode)) fail("use directory", dir, ENOTDIR);
  if (::access(dir.c_str(), W_OK | X_OK) != 0) fail("write into directory", dir, errno);
}

std::string program_directory() {
  std::vector<char> buf(PATH_MAX + 1);
  ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size() - 1);
  if (n <= 0) fail("find the program directory from", "/proc/self/exe", errno);
  std::string exe(buf.data(), static_cast<std::size_t>(n));
  auto slash = exe.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "";  // the root: join_path adds the one "/"
  return exe.substr(0, slash);
}

std::string join_path(const std::string& dir, const std::string& name) {
  return dir + "/" + name;
}

}  // namespace sb
