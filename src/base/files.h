// File replacement and the few file operations a run needs. Every output
// is written to a temporary file beside its target and renamed over it, so
// a failing run never leaves a half-written file and never loses the
// previous one; the outputs of one run are replaced as a set (OutputSet).
// Failures throw FileSystemError naming the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace sb {

// Where bytes go. The compiled writers and the text writer write through
// it; a file and an in-memory string are the two kinds.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  virtual void write(const char* data, std::size_t size) = 0;
};

// Where bytes go at known offsets: a file written in pieces, possibly from
// several threads at once.
class PositionedSink {
 public:
  virtual ~PositionedSink() = default;
  virtual void write_at(uint64_t offset, const char* data, std::size_t size) = 0;
  // The whole size the bytes will take, known before the first write.
  virtual void expect_size(uint64_t) {}
};

class StringSink : public ByteSink {
 public:
  void write(const char* data, std::size_t size) override { bytes.append(data, size); }
  std::string bytes;
};

// Counts the bytes and keeps the last one, so that nothing written can be
// optimised away.
class CountingSink : public ByteSink {
 public:
  void write(const char* data, std::size_t size) override {
    count += size;
    if (size > 0) last = static_cast<unsigned char>(data[size - 1]);
  }
  std::size_t count = 0;
  unsigned char last = 0;
};

// The outputs of one run, replaced as one set. Each output is written to a
// temporary file beside its target (TARGET.sbtmp-XXXXXX); commit() replaces
// the targets only when every output is complete.
//
// Runs exclude each other per directory: the first output in a directory
// takes an advisory lock on the directory, held until the set is gone, so
// two runs into one directory replace their sets one after the other. Under
// the lock the set first finishes a commit that a killed run left (its
// journal), and removes temporary files of its targets that such a run
// left. A set of several outputs writes a journal into each of its
// directories, naming that directory's renames, before the first rename and
// removes it after the last, so that a run killed in between is finished by
// the next one. A journal that is not exactly what this tool writes (one
// that names another directory, a file of a kind the tool does not write,
// or that is damaged or cut short) is refused with FileSystemError and
// nothing is touched. SIGINT and SIGTERM remove the
// temporary files (base/interrupts.h) and wait while the targets are
// replaced. While it replaces them,
// the previous files are kept under temporary names of the same kind; when
// a replacement fails, every target already replaced gets its previous
// file back (one that did not exist is removed again), and the failure is
// thrown. Afterwards the directories hold either the whole new set or the
// whole old set, and no temporary file. A set destroyed without commit()
// removes its temporary files and changes nothing.
// The suffix of a temporary name, ".sbtmp-XXXXXX".
inline constexpr std::size_t kTemporarySuffixLength = 13;

// How output sets behave towards other runs, for the whole program.
struct OutputSetSettings {
  // Wait for another run that writes into the same directory (false: fail
  // at once).
  bool wait_for_other_runs = true;
  // Where the sets say what they did besides writing: waiting for another
  // run, an earlier run's commit finished, stale temporary files removed.
  std::function<void(const std::string&)> notice;
};
void set_output_set_settings(OutputSetSettings settings);

// For a run that stops on request (watch): from now on a wait for another
// run's lock ends, throwing WaitStopped, as soon as `fd` is readable (the
// byte is left there). -1 lets waits go on.
void stop_waits_when_readable(int fd);
class WaitStopped : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The name of the journal a set with more than one output keeps in its
// directory while it replaces its targets.
inline constexpr const char* kCommitJournalName = ".scenario-builder-commit";

// True when `dir` holds the journal of a commit that a killed run left
// unfinished: its set may be part old, part new.
bool has_unfinished_commit(const std::string& dir);

// Takes the directory's lock and finishes what a killed run left: the
// renames its journal names, then the temporary files of those targets.
// Returns the number of files put in place; 0 when there was no journal.
std::size_t finish_unfinished_commit(const std::string& dir);

// The directory part of `path` ("." when it has none).
std::string directory_of(const std::string& path);

// An advisory lock on a directory (flock), held while the object lives.
// Where another run holds it, waits (saying so) or, when the settings say
// not to wait, throws FileSystemError. A directory that cannot be opened
// or locked is not locked: writing into it then fails with its own message.
class DirectoryLock {
 public:
  explicit DirectoryLock(const std::string& dir);
  ~DirectoryLock();
  DirectoryLock(const DirectoryLock&) = delete;
  DirectoryLock& operator=(const DirectoryLock&) = delete;

  // Whether `dir` names the locked directory, by whatever path.
  bool is(const std::string& dir) const;
  // The open directory (-1 when it could not be opened).
  int fd() const { return fd_; }

 private:
  int fd_ = -1;
  uint64_t device_ = 0, inode_ = 0;
  bool identified_ = false;
};

class OutputSet {
 public:
  OutputSet();
  ~OutputSet();
  OutputSet(const OutputSet&) = delete;
  OutputSet& operator=(const OutputSet&) = delete;

  // Starts the output `path` (its temporary file is created now) and
  // returns where its bytes go. The sink is finished, and must not be used
  // any more, when the next output is added or the set is committed.
  ByteSink& add(const std::string& path);
  // The same for an output written at known offsets (write_at may be called
  // from several threads at once). It stays open while further outputs are
  // added, until commit(); every write to it must have returned by then.
  PositionedSink& add_positioned(const std::string& path);
  // An output whose bytes are all known.
  void add(const std::string& path, std::string_view bytes);
  // `path` is to be gone once the set is in: an output added for it is
  // dropped, and a file there is removed together with the set (and put
  // back if the set fails).
  void remove(const std::string& path);
  // Replaces every target, or none.
  void commit();

 private:
  class Output;
  Output* find(const std::string& path);
  void finish_last();
  void claim_directory_of(const std::string& path);
  void write_journals();
  void remove_journals() noexcept;
  std::vector<std::unique_ptr<DirectoryLock>> locks_;
  std::vector<std::unique_ptr<Output>> outputs_;
  std::vector<std::string> journals_;
  std::size_t stale_removed_ = 0;
  bool committed_ = false;
};

// A file that replaces `path` when commit() is called: a set of one.
class AtomicFile : public ByteSink {
 public:
  explicit AtomicFile(const std::string& path) : sink_(&set_.add(path)) {}

  void write(const char* data, std::size_t size) override { sink_->write(data, size); }
  void commit() { set_.commit(); }

 private:
  OutputSet set_;
  ByteSink* sink_;
};

// Writes `bytes` as the whole new content of `path`, atomically.
void replace_file(const std::string& path, std::string_view bytes);

// Reads a whole file. Returns false when it does not exist; throws
// FileSystemError when it exists but cannot be read, and when it is not a
// regular file (a directory, a FIFO, a device) or is larger than
// `max_bytes`.
inline constexpr uint64_t kMaxReadBytes = uint64_t{1} << 30;
bool read_file(const std::string& path, std::string& bytes, uint64_t max_bytes = kMaxReadBytes);

// Opens a file to read: a regular file only (a FIFO or a device is refused
// without waiting for it). Returns -1 when it does not exist; throws
// FileSystemError otherwise. `size` gets its size.
int open_regular_file(const std::string& path, uint64_t& size);

bool file_exists(const std::string& path);
// Deletes a file; a missing file is no error.
void delete_file(const std::string& path);

// Checks that `dir` is an existing, writable directory.
void check_output_directory(const std::string& dir);

// The directory that holds the running executable, without a trailing "/".
std::string program_directory();

std::string join_path(const std::string& dir, const std::string& name);

}  // namespace sb
