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

#include <array>
#include <optional>
#include <random>
#include <set>
#include <stdexcept>
#include <vector>

#include "base/failures.h"
#include "base/interrupts.h"
#include "base/sha256.h"

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

// Every temporary name of this tool carries this marker.
constexpr char kTemporaryMarker[] = ".sbtmp-";
constexpr std::size_t kRandomLetters = 6;

bool is_alphanumeric(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'); }

// TARGET.sbtmp-XXXXXX: the marker keeps a user's own TARGET.tmp-backup
// out of the clean-up.
bool is_temporary_name_of(const std::string& name, const std::string& target_name) {
  const std::string prefix = target_name + kTemporaryMarker;
  if (name.size() != prefix.size() + kRandomLetters || name.compare(0, prefix.size(), prefix) != 0) return false;
  for (std::size_t i = prefix.size(); i < name.size(); ++i) {
    if (!is_alphanumeric(name[i])) return false;
  }
  return true;
}

// A fresh temporary name for `path`: PATH.sbtmp-XXXXXX.
std::string temporary_name_for(const std::string& path) {
  static thread_local std::mt19937_64 random{std::random_device{}()};
  static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::string name = path + kTemporaryMarker;
  for (std::size_t i = 0; i < kRandomLetters; ++i) name += kLetters[random() % (sizeof kLetters - 1)];
  return name;
}

// Creates a new empty file PATH.sbtmp-XXXXXX (mode 0666 less the umask).
// With `registered`, the name is handed to the interrupt handlers before
// the file exists, so that no interrupt can leave it behind.
int create_temporary_file(const std::string& path, std::string& temp_path, TemporaryName* registered,
                          const char* action) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = temporary_name_for(path);
    if (registered != nullptr) registered->set(name.c_str());
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      temp_path = std::move(name);
      interrupt_test_point("created");
      return fd;
    }
    const int err = errno;
    if (registered != nullptr) registered->clear();
    if (err != EEXIST) fail(action, path, err);
  }
  fail(action, path, EEXIST);
}

// The names in directory `dir_fd` that are temporary names of one of
// `targets`.
std::vector<std::string> stale_temporaries(int dir_fd, const std::vector<std::string>& targets) {
  std::vector<std::string> stale;
  const int listing_fd = ::openat(dir_fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (listing_fd < 0) return stale;
  DIR* listing = ::fdopendir(listing_fd);
  if (listing == nullptr) {
    ::close(listing_fd);
    return stale;
  }
  while (const dirent* entry = ::readdir(listing)) {
    const std::string name = entry->d_name;
    const std::size_t marker = name.rfind(kTemporaryMarker);
    if (marker == std::string::npos) continue;
    for (const std::string& target : targets) {
      if (marker == target.size() && is_temporary_name_of(name, target)) {
        stale.push_back(name);
        break;
      }
    }
  }
  ::closedir(listing);
  return stale;
}

// Removes the temporary files TARGET.sbtmp-XXXXXX beside `target` that an
// earlier run left; the caller holds the directory's lock, so no live run
// owns them. Returns how many went.
std::size_t remove_stale_temporaries(const std::string& target) {
  const int dir_fd = ::open(directory_of(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir_fd < 0) return 0;
  std::size_t removed = 0;
  for (const std::string& s : stale_temporaries(dir_fd, {base_name_of(target)})) {
    removed += ::unlinkat(dir_fd, s.c_str(), 0) == 0 ? 1 : 0;
  }
  ::close(dir_fd);
  return removed;
}

// The commit journal. A set writes one into each directory it replaces
// files in, naming that directory's renames by file name alone:
//
//   scenario-builder commit journal 2
//   entries N
//   LENGTH:TEMPORARY NAME      (empty for a file the set removes)
//   LENGTH:TARGET NAME         (N pairs of these two lines)
//   end SHA-256 OF EVERYTHING ABOVE, IN HEX
//
// A journal in a directory may have come from anywhere (an archive, a
// copied folder), so one that is not exactly of this shape, or that names
// anything but this tool's own temporary files and outputs, is refused
// before anything is touched.
struct JournalEntry {
  std::string temporary;
  std::string target;
};

constexpr char kJournalHead[] = "scenario-builder commit journal 2\n";
constexpr uint64_t kMaxJournalBytes = uint64_t{1} << 20;
constexpr std::size_t kMaxJournalEntries = 4096;

// How the names of the files this tool writes in a set end; only such
// files may be named by a journal, and only description files removed.
constexpr const char* kOutputEndings[] = {"_linea.txt",        "-.txt", "_note.txt", "_rallentamenti.txt",
                                          "_scheda_treno.txt", ".dat",  ".sim"};
constexpr const char* kRemovableEndings[] = {"_linea.txt", "-.txt"};

template <std::size_t N>
bool ends_with_one_of(const std::string& name, const char* const (&endings)[N]) {
  for (const char* ending : endings) {
    const std::string_view e = ending;
    if (name.size() > e.size() && name.compare(name.size() - e.size(), e.size(), e) == 0) return true;
  }
  return false;
}

std::string hex_of(const std::array<uint8_t, 32>& digest) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  for (uint8_t b : digest) {
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
  }
  return out;
}

void append_field(std::string& out, const std::string& field) {
  out += std::to_string(field.size()) + ":" + field + "\n";
}

std::string journal_text(const std::vector<JournalEntry>& entries) {
  std::string out = kJournalHead;
  out += "entries " + std::to_string(entries.size()) + "\n";
  for (const JournalEntry& e : entries) {
    append_field(out, e.temporary);
    append_field(out, e.target);
  }
  out += "end " + hex_of(sha256(out)) + "\n";
  return out;
}

// A journal that is not one this tool wrote for this directory.
struct ForeignJournal {
  std::string why;
};

// A whole number of at most `max_digits` digits ending at `end` in
// `text` from `at`.
std::size_t number_at(const std::string& text, std::size_t& at, char end, std::size_t max_digits) {
  std::size_t value = 0, digits = 0;
  while (at < text.size() && text[at] >= '0' && text[at] <= '9' && digits < max_digits) {
    value = value * 10 + static_cast<std::size_t>(text[at++] - '0');
    ++digits;
  }
  if (digits == 0 || at >= text.size() || text[at] != end) throw ForeignJournal{"it is damaged or cut short"};
  ++at;
  return value;
}

bool is_plain_file_name(const std::string& name) {
  if (name.empty() || name.size() > 255 || name == "." || name == "..") return false;
  return name.find('/') == std::string::npos && name.find('\0') == std::string::npos;
}

std::vector<JournalEntry> parse_journal(const std::string& text) {
  const std::string_view head = kJournalHead;
  if (text.compare(0, head.size(), head) != 0) throw ForeignJournal{"it does not start as this tool's journals do"};
  std::size_t at = head.size();
  if (text.compare(at, 8, "entries ") != 0) throw ForeignJournal{"it is damaged or cut short"};
  at += 8;
  const std::size_t count = number_at(text, at, '\n', 6);
  if (count == 0 || count > kMaxJournalEntries) throw ForeignJournal{"it names more files than any set holds"};
  auto field = [&] {
    const std::size_t length = number_at(text, at, ':', 3);
    if (length > text.size() - at || at + length >= text.size() || text[at + length] != '\n') {
      throw ForeignJournal{"it is damaged or cut short"};
    }
    std::string value = text.substr(at, length);
    at += length + 1;
    return value;
  };
  std::vector<JournalEntry> entries;
  for (std::size_t i = 0; i < count; ++i) {
    JournalEntry e;
    e.temporary = field();
    e.target = field();
    entries.push_back(std::move(e));
  }
  const std::string expected_end = "end " + hex_of(sha256(std::string_view(text).substr(0, at))) + "\n";
  if (text.compare(at, std::string::npos, expected_end) != 0) throw ForeignJournal{"it is damaged or cut short"};

  std::set<std::string> targets;
  for (const JournalEntry& e : entries) {
    if (!is_plain_file_name(e.target) || !ends_with_one_of(e.target, kOutputEndings)) {
      throw ForeignJournal{"it names a file this tool does not write"};
    }
    if (e.temporary.empty() ? !ends_with_one_of(e.target, kRemovableEndings)
                            : !is_temporary_name_of(e.temporary, e.target)) {
      throw ForeignJournal{"it names a file this tool does not write"};
    }
    if (!targets.insert(e.target).second) throw ForeignJournal{"it names one file twice"};
  }
  return entries;
}

// What is at `name` in the directory, without following a symbolic link:
// 0 when nothing is.
mode_t kind_at(int dir_fd, const std::string& name, const std::string& journal) {
  struct stat st {};
  if (::fstatat(dir_fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) return st.st_mode & S_IFMT;
  if (errno == ENOENT) return 0;
  fail("finish the interrupted replacement of", journal, errno);
}

const char* kind_name(mode_t kind) {
  return kind == S_IFLNK ? "a symbolic link" : kind == S_IFDIR ? "a directory" : "not a regular file";
}

// Reads the journal of the directory `dir_fd`. nullopt when there is none.
std::optional<std::string> read_journal(int dir_fd, const std::string& journal) {
  const mode_t kind = kind_at(dir_fd, kCommitJournalName, journal);
  if (kind == 0) return std::nullopt;
  if (kind != S_IFREG) throw ForeignJournal{std::string("it is ") + kind_name(kind)};
  const int fd = ::openat(dir_fd, kCommitJournalName, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) fail("read the commit journal", journal, errno);
  std::string text;
  char chunk[1 << 14];
  for (;;) {
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int err = errno;
      ::close(fd);
      fail("read the commit journal", journal, err);
    }
    if (n == 0) break;
    if (text.size() + static_cast<std::size_t>(n) > kMaxJournalBytes) {
      ::close(fd);
      throw ForeignJournal{"it is larger than any journal this tool writes"};
    }
    text.append(chunk, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return text;
}

[[noreturn]] void refuse_journal(const std::string& journal, const std::string& why) {
  throw FileSystemError("the commit journal " + journal + " is not one this version of scenario-builder wrote (" + why +
                        "); nothing was changed. If the folder came from someone else, delete the journal; if a "
                        "run of yours was killed while it wrote here, delete the journal and run that command again");
}

// Under the directory's lock: checks a killed run's journal, then does the
// renames and removals it names, removes the temporary files of its
// targets, then the journal. Returns nullopt when there was no journal,
// else how many files were put in place or removed.
std::optional<std::size_t> roll_forward(const std::string& dir, int locked_fd) {
  const std::string journal = join_path(dir, kCommitJournalName);
  const int dir_fd = locked_fd >= 0 ? locked_fd : ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir_fd < 0) return std::nullopt;
  struct Closer {
    int fd;
    bool own;
    ~Closer() {
      if (own) ::close(fd);
    }
  } closer{dir_fd, locked_fd < 0};

  std::vector<JournalEntry> entries;
  try {
    const std::optional<std::string> text = read_journal(dir_fd, journal);
    if (!text) return std::nullopt;
    entries = parse_journal(*text);
    for (const JournalEntry& e : entries) {
      const mode_t temporary = e.temporary.empty() ? 0 : kind_at(dir_fd, e.temporary, journal);
      if (temporary != 0 && temporary != S_IFREG) {
        throw ForeignJournal{e.temporary + " is " + kind_name(temporary)};
      }
      const mode_t target = kind_at(dir_fd, e.target, journal);
      if (target == S_IFDIR) throw ForeignJournal{e.target + " is a directory"};
    }
  } catch (const ForeignJournal& foreign) {
    refuse_journal(journal, foreign.why);
  }

  std::size_t done = 0;
  std::vector<std::string> targets;
  for (const JournalEntry& e : entries) {
    targets.push_back(e.target);
    if (e.temporary.empty()) {
      if (::unlinkat(dir_fd, e.target.c_str(), 0) == 0) ++done;
    } else if (::renameat(dir_fd, e.temporary.c_str(), dir_fd, e.target.c_str()) == 0) {
      ++done;
    } else if (errno != ENOENT) {
      fail("finish the interrupted replacement of", join_path(dir, e.target), errno);
    }
  }
  for (const std::string& s : stale_temporaries(dir_fd, targets)) ::unlinkat(dir_fd, s.c_str(), 0);
  if (::unlinkat(dir_fd, kCommitJournalName, 0) != 0) fail("remove the commit journal", journal, errno);
  return done;
}

}  // namespace

// One output of a set: the temporary file that holds its new bytes (none
// for a removal) and, while the set is being replaced, the temporary name
// its previous file is kept under.
class OutputSet::Output : public ByteSink, public PositionedSink {
 public:
  Output(std::string path, bool removal) : path_(std::move(path)), removal_(removal) {
    if (!removal_) fd_ = create_temporary_file(path_, temp_path_, &temp_name_, "create");
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
        ::close(create_temporary_file(path_, backup_path_, nullptr, action));
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
  // Links the previous file to a new name PATH.sbtmp-XXXXXX. False when
  // no link can be made (a file system without hard links, an immutable
  // file): the caller then renames it, or fails.
  bool link_previous() {
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::string name = temporary_name_for(path_);
      if (::link(path_.c_str(), name.c_str()) == 0) {
        backup_path_ = std::move(name);
        previous_linked_ = true;
        return true;
      }
      if (errno != EEXIST) return false;
    }
    return false;
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
  return roll_forward(dir, lock.fd()).value_or(0);
}

OutputSet::OutputSet() = default;

OutputSet::~OutputSet() {
  outputs_.clear();
  remove_journals();
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
  if (const std::optional<std::size_t> finished = roll_forward(dir, locks_.back()->fd())) {
    notice("finished the replacement of " + std::to_string(*finished) + " file" + (*finished == 1 ? "" : "s") + " in " +
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

// One journal in each directory of the set, naming that directory's
// renames.
void OutputSet::write_journals() {
  for (const auto& lock : locks_) {
    std::vector<JournalEntry> entries;
    std::string dir;
    for (const auto& o : outputs_) {
      if (!lock->is(directory_of(o->path()))) continue;
      dir = directory_of(o->path());
      entries.push_back({base_name_of(o->temporary_path()), base_name_of(o->path())});
    }
    if (entries.empty()) continue;
    const std::string journal = join_path(dir, kCommitJournalName);
    std::string temporary;
    const int fd = create_temporary_file(journal, temporary, nullptr, "write the commit journal");
    const std::string text = journal_text(entries);
    std::size_t written = 0;
    while (written < text.size()) {
      const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        const int err = n < 0 ? errno : ENOSPC;
        ::close(fd);
        ::unlink(temporary.c_str());
        fail("write the commit journal", journal, err);
      }
      written += static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0 || ::rename(temporary.c_str(), journal.c_str()) != 0) {
      const int err = errno;
      ::unlink(temporary.c_str());
      fail("write the commit journal", journal, err);
    }
    journals_.push_back(journal);
  }
}

void OutputSet::remove_journals() noexcept {
  for (const std::string& journal : journals_) ::unlink(journal.c_str());
  journals_.clear();
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
  if (outputs_.size() > 1) write_journals();
  std::size_t at = 0;
  try {
    for (; at < outputs_.size(); ++at) outputs_[at]->replace();
  } catch (const FileSystemError& failure) {
    // The journals go first: the set is being put back, not forward.
    remove_journals();
    std::string message = failure.what();
    for (std::size_t i = at + 1; i-- > 0;) {
      std::string left = outputs_[i]->roll_back();
      if (!left.empty()) message += "; " + left;
    }
    throw FileSystemError(message);
  }
  // Every target is in place: a journal left now would finish nothing.
  remove_journals();
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
