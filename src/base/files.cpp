#include "base/files.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <random>
#include <stdexcept>
#include <vector>

#include "base/failures.h"
#include "base/interrupts.h"

namespace sb {
namespace {

[[noreturn]] void fail(const std::string& action, const std::string& path, int err) {
  throw FileSystemError("cannot " + action + " " + path + ": " + std::strerror(err));
}

OutputSetSettings& settings() {
  static OutputSetSettings instance;
  return instance;
}

int& stop_fd() {
  static int fd = -1;
  return fd;
}

void notice(const std::string& text) {
  if (settings().notice) settings().notice(text);
}

std::string base_name_of(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// `path` with its directory made absolute, so that a journal names the
// same files from any working directory.
std::string absolute_path(const std::string& path) {
  const std::string dir = directory_of(path);
  char* real = ::realpath(dir.c_str(), nullptr);
  if (real == nullptr) fail("find the directory of", path, errno);
  std::string out = real;
  std::free(real);
  if (out != "/") out += "/";
  return out + base_name_of(path);
}

bool is_temporary_name_of(const std::string& name, const std::string& target_name) {
  const std::string prefix = target_name + ".tmp-";
  if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0) return false;
  for (std::size_t i = prefix.size(); i < name.size(); ++i) {
    const char c = name[i];
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) return false;
  }
  return true;
}

// Removes the temporary files TARGET.tmp-XXXXXX beside `target` that an
// earlier run left; the caller holds the directory's lock, so no live run
// owns them. Returns how many went.
std::size_t remove_stale_temporaries(const std::string& target) {
  const std::string dir = directory_of(target), name = base_name_of(target);
  DIR* listing = ::opendir(dir.c_str());
  if (listing == nullptr) return 0;
  std::vector<std::string> stale;
  while (const dirent* entry = ::readdir(listing)) {
    if (is_temporary_name_of(entry->d_name, name)) stale.emplace_back(entry->d_name);
  }
  ::closedir(listing);
  std::size_t removed = 0;
  for (const std::string& s : stale) removed += ::unlink(join_path(dir, s).c_str()) == 0 ? 1 : 0;
  return removed;
}

// One rename of a journal: a new file to put in place, or (no temporary
// name) a target to remove.
struct JournalEntry {
  std::string temporary;
  std::string target;
};

void append_field(std::string& out, const std::string& field) {
  out += std::to_string(field.size()) + ":" + field + "\n";
}

std::string journal_text(const std::vector<JournalEntry>& entries) {
  std::string out = "scenario-builder commit journal 1\n";
  for (const JournalEntry& e : entries) {
    append_field(out, e.temporary);
    append_field(out, e.target);
  }
  return out;
}

std::vector<JournalEntry> parse_journal(const std::string& path, const std::string& text) {
  const std::string head = "scenario-builder commit journal 1\n";
  auto damaged = [&] { return FileSystemError("the commit journal " + path + " is damaged; remove it by hand"); };
  if (text.compare(0, head.size(), head) != 0) throw damaged();
  std::vector<JournalEntry> entries;
  std::size_t at = head.size();
  auto field = [&]() {
    const std::size_t colon = text.find(':', at);
    if (colon == std::string::npos || colon == at || colon - at > 9) throw damaged();
    std::size_t length = 0;
    for (std::size_t i = at; i < colon; ++i) {
      if (text[i] < '0' || text[i] > '9') throw damaged();
      length = length * 10 + static_cast<std::size_t>(text[i] - '0');
    }
    if (colon + 1 + length >= text.size() || text[colon + 1 + length] != '\n') throw damaged();
    std::string value = text.substr(colon + 1, length);
    at = colon + 2 + length;
    return value;
  };
  while (at < text.size()) {
    JournalEntry e;
    e.temporary = field();
    e.target = field();
    if (e.target.empty()) throw damaged();
    entries.push_back(std::move(e));
  }
  return entries;
}

// Under the directory's lock: does the renames and removals a killed run's
// journal names, removes its temporary files, then the journal.
std::size_t roll_forward(const std::string& dir) {
  const std::string journal = join_path(dir, kCommitJournalName);
  std::string text;
  if (!read_file(journal, text)) return 0;
  const std::vector<JournalEntry> entries = parse_journal(journal, text);
  std::size_t done = 0;
  for (const JournalEntry& e : entries) {
    if (e.temporary.empty()) {
      if (::unlink(e.target.c_str()) == 0) ++done;
      continue;
    }
    if (::rename(e.temporary.c_str(), e.target.c_str()) == 0) {
      ++done;
    } else if (errno != ENOENT) {
      fail("finish the interrupted replacement of", e.target, errno);
    }
  }
  for (const JournalEntry& e : entries) remove_stale_temporaries(e.target);
  if (::unlink(journal.c_str()) != 0) fail("remove the commit journal", journal, errno);
  return done == 0 ? entries.size() : done;
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
  const std::string& temporary_path() const { return temp_path_; }
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
    interrupt_test_point("rename");
    if (::rename(temp_path_.c_str(), path_.c_str()) != 0) fail(action, path_, errno);
    temp_path_.clear();
    temp_name_.clear();
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
  void create_temporary(const std::string& path, std::string& temp_path, int& fd, const char* action, bool new_file) {
    std::vector<char> name(path.begin(), path.end());
    const char suffix[] = ".tmp-XXXXXX";
    name.insert(name.end(), suffix, suffix + sizeof suffix);
    fd = ::mkstemp(name.data());
    if (fd < 0) fail(action, path, errno);
    temp_path.assign(name.data());
    if (new_file) temp_name_.set(temp_path.c_str());
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
    temp_name_.clear();
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
  std::string temp_path_;    // the new bytes; empty once renamed or dropped
  TemporaryName temp_name_;  // ... removed by an interrupt while it exists
  int fd_ = -1;
  std::string backup_path_;       // the name the previous file is kept under
  bool previous_kept_ = false;    // the previous file is at backup_path_
  bool previous_linked_ = false;  // ... as a hard link: until in_place_, also at path_
  bool in_place_ = false;         // the new file is at path_
};

DirectoryLock::DirectoryLock(const std::string& dir) {
  struct stat st {};
  if (::stat(dir.c_str(), &st) == 0) {
    device_ = st.st_dev;
    inode_ = st.st_ino;
    identified_ = true;
  }
  fd_ = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd_ < 0) return;
  if (::flock(fd_, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK) return;
  if (!settings().wait_for_other_runs) {
    ::close(fd_);
    fd_ = -1;
    throw FileSystemError("another run is writing into " + dir + "; not waiting for it (--no-wait)");
  }
  notice("waiting for another run that writes into " + dir);
  const int stop = stop_fd();
  if (stop < 0) {
    while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
    }
    return;
  }
  // Looked at again every few milliseconds, so that a stop request ends
  // the wait at once.
  for (;;) {
    pollfd request{stop, POLLIN, 0};
    if (::poll(&request, 1, 20) > 0 && (request.revents & (POLLIN | POLLHUP)) != 0) {
      ::close(fd_);
      fd_ = -1;
      throw WaitStopped("the wait for another run that writes into " + dir + " was stopped");
    }
    if (::flock(fd_, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK) return;
  }
}

DirectoryLock::~DirectoryLock() {
  if (fd_ >= 0) ::close(fd_);
}

bool DirectoryLock::is(const std::string& dir) const {
  struct stat st {};
  return identified_ && ::stat(dir.c_str(), &st) == 0 && st.st_dev == device_ && st.st_ino == inode_;
}

void set_output_set_settings(OutputSetSettings s) { settings() = std::move(s); }

void stop_waits_when_readable(int fd) { stop_fd() = fd; }

std::string directory_of(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool has_unfinished_commit(const std::string& dir) {
  struct stat st {};
  return ::lstat(join_path(dir, kCommitJournalName).c_str(), &st) == 0;
}

std::size_t finish_unfinished_commit(const std::string& dir) {
  const DirectoryLock lock(dir);
  remove_stale_temporaries(join_path(dir, kCommitJournalName));
  return roll_forward(dir);
}

OutputSet::OutputSet() = default;

OutputSet::~OutputSet() {
  outputs_.clear();
  if (!journal_.empty()) ::unlink(journal_.c_str());
  if (stale_removed_ > 0 && !committed_) {
    try {
      notice("removed " + std::to_string(stale_removed_) + " temporary file" + (stale_removed_ == 1 ? "" : "s") +
             " that an interrupted run had left");
    } catch (...) {
    }
  }
}

void OutputSet::claim_directory_of(const std::string& path) {
  const std::string dir = directory_of(path);
  for (const auto& lock : locks_) {
    if (lock->is(dir)) {
      stale_removed_ += remove_stale_temporaries(path);
      return;
    }
  }
  locks_.push_back(std::make_unique<DirectoryLock>(dir));
  remove_stale_temporaries(join_path(dir, kCommitJournalName));
  const std::size_t finished = roll_forward(dir);
  if (finished > 0) {
    notice("finished the replacement of " + std::to_string(finished) + " file" + (finished == 1 ? "" : "s") + " in " +
           dir + " that an interrupted run had begun");
  }
  stale_removed_ += remove_stale_temporaries(path);
}

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
  claim_directory_of(path);
  outputs_.push_back(std::make_unique<Output>(path, false));
  interrupt_test_point("output");
  return *outputs_.back();
}

PositionedSink& OutputSet::add_positioned(const std::string& path) {
  add(path);
  outputs_.back()->set_positioned();
  return *outputs_.back();
}

void OutputSet::add(const std::string& path, std::string_view bytes) { add(path).write(bytes.data(), bytes.size()); }

void OutputSet::remove(const std::string& path) {
  if (committed_) throw std::logic_error("output removed from a committed set: " + path);
  if (Output* o = find(path)) {
    o->make_removal();
    return;
  }
  finish_last();
  claim_directory_of(path);
  outputs_.push_back(std::make_unique<Output>(path, true));
}

void OutputSet::write_journal() {
  std::vector<JournalEntry> entries;
  for (const auto& o : outputs_)
    entries.push_back(
        {o->temporary_path().empty() ? "" : absolute_path(o->temporary_path()), absolute_path(o->path())});
  const std::string journal = join_path(directory_of(outputs_.front()->path()), kCommitJournalName);
  std::vector<char> name(journal.begin(), journal.end());
  const char suffix[] = ".tmp-XXXXXX";
  name.insert(name.end(), suffix, suffix + sizeof suffix);
  const int fd = ::mkstemp(name.data());
  if (fd < 0) fail("write the commit journal", journal, errno);
  const std::string text = journal_text(entries);
  std::size_t written = 0;
  while (written < text.size()) {
    const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int err = n < 0 ? errno : ENOSPC;
      ::close(fd);
      ::unlink(name.data());
      fail("write the commit journal", journal, err);
    }
    written += static_cast<std::size_t>(n);
  }
  if (::close(fd) != 0 || ::rename(name.data(), journal.c_str()) != 0) {
    const int err = errno;
    ::unlink(name.data());
    fail("write the commit journal", journal, err);
  }
  journal_ = journal;
}

void OutputSet::commit() {
  if (committed_) throw std::logic_error("output set committed twice");
  committed_ = true;
  if (stale_removed_ > 0) {
    notice("removed " + std::to_string(stale_removed_) + " temporary file" + (stale_removed_ == 1 ? "" : "s") +
           " that an interrupted run had left");
  }
  for (auto& o : outputs_) o->finish();
  const InterruptShield shield;
  if (outputs_.size() > 1) write_journal();
  std::size_t at = 0;
  try {
    for (; at < outputs_.size(); ++at) outputs_[at]->replace();
  } catch (const FileSystemError& failure) {
    // The journal goes first: the set is being put back, not forward.
    if (!journal_.empty()) ::unlink(journal_.c_str());
    journal_.clear();
    std::string message = failure.what();
    for (std::size_t i = at + 1; i-- > 0;) {
      std::string left = outputs_[i]->roll_back();
      if (!left.empty()) message += "; " + left;
    }
    throw FileSystemError(message);
  }
  // Every target is in place: a journal left now would finish nothing.
  if (!journal_.empty()) ::unlink(journal_.c_str());
  journal_.clear();
  for (auto& o : outputs_) o->settle();
}

void replace_file(const std::string& path, std::string_view bytes) {
  AtomicFile file(path);
  file.write(bytes.data(), bytes.size());
  file.commit();
}

int open_regular_file(const std::string& path, uint64_t& size) {
  // Not blocking: opening a FIFO would wait for a writer.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    if (errno == ENOENT) return -1;
    fail("read", path, errno);
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    const int err = errno;
    ::close(fd);
    fail("read", path, err);
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    if (S_ISDIR(st.st_mode)) fail("read", path, EISDIR);
    const char* kind = S_ISFIFO(st.st_mode)                         ? "a FIFO"
                       : S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode) ? "a device"
                       : S_ISSOCK(st.st_mode)                       ? "a socket"
                                                                    : "no regular file";
    throw FileSystemError("cannot read " + path + ": it is " + kind + ", not a regular file");
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) (void)::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  size = static_cast<uint64_t>(st.st_size);
  return fd;
}

bool read_file(const std::string& path, std::string& bytes, uint64_t max_bytes) {
  uint64_t size = 0;
  const int fd = open_regular_file(path, size);
  if (fd < 0) return false;
  if (size > max_bytes) {
    ::close(fd);
    throw FileSystemError("cannot read " + path + ": it is " + std::to_string(size) + " bytes, more than the " +
                          std::to_string(max_bytes) + " a file of its kind may hold");
  }
  bytes.clear();
  bytes.reserve(static_cast<std::size_t>(size));
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
    if (bytes.size() + static_cast<std::size_t>(n) > max_bytes) {
      ::close(fd);
      throw FileSystemError("cannot read " + path + ": it grew past " + std::to_string(max_bytes) +
                            " bytes while it was read");
    }
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

std::string join_path(const std::string& dir, const std::string& name) { return dir + "/" + name; }

}  // namespace sb
