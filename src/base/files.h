// File replacement and the few file operations a run needs. Every output
// is written to a temporary file beside its target and renamed over it, so
// a failing run never leaves a half-written file and never loses the
// previous one. Failures throw FileSystemError naming the file.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace sb {

// Where bytes go. The compiled writers and the text writer write through
// it; a file and an in-memory string are the two kinds.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  virtual void write(const char* data, std::size_t size) = 0;
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

// A file that replaces `path` when commit() is called; until then the
// bytes go to a temporary file in the same directory, which is removed if
// the object is destroyed without a commit.
class AtomicFile : public ByteSink {
 public:
  explicit AtomicFile(std::string path);
  ~AtomicFile() override;
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  void write(const char* data, std::size_t size) override;
  void commit();

 private:
  void flush();
  void write_through(const char* data, std::size_t size);
  void discard() noexcept;
  std::string path_;
  std::string temp_path_;
  int fd_ = -1;
  std::string buffer_;
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
