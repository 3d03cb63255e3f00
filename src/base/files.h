// File replacement and the few file operations a run needs. Every output
// is written to a temporary file beside its target and renamed over it, so
// a failing run never leaves a half-written file and never loses the
// previous one; the outputs of one run are replaced as a set (OutputSet).
// Failures throw FileSystemError naming the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
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
// temporary file beside its target (TARGET.tmp-XXXXXX); commit() replaces
// the targets only when every output is complete. While it replaces them,
// the previous files are kept under temporary names of the same kind; when
// a replacement fails, every target already replaced gets its previous
// file back (one that did not exist is removed again), and the failure is
// thrown. Afterwards the directories hold either the whole new set or the
// whole old set, and no temporary file. A set destroyed without commit()
// removes its temporary files and changes nothing.
// The suffix of a temporary name, ".tmp-XXXXXX".
inline constexpr std::size_t kTemporarySuffixLength = 11;

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
  std::vector<std::unique_ptr<Output>> outputs_;
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
// FileSystemError when it exists but cannot be read.
bool read_file(const std::string& path, std::string& bytes);

bool file_exists(const std::string& path);
// Deletes a file; a missing file is no error.
void delete_file(const std::string& path);

// Checks that `dir` is an existing, writable directory.
void check_output_directory(const std::string& dir);

// The directory that holds the running executable, without a trailing "/".
std::string program_directory();

std::string join_path(const std::string& dir, const std::string& name);

}  // namespace sb
