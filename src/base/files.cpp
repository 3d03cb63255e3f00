#include "base/files.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "base/failures.h"

namespace sb {
namespace {

constexpr std::size_t kBlock = 1 << 20;
constexpr std::size_t kWriteThrough = 1 << 16;

[[noreturn]] void fail(const std::string& action, const std::string& path, int err) {
  throw FileSystemError("cannot " + action + " " + path + ": " + std::strerror(err));
}

mode_t creation_mode() {
  mode_t mask = ::umask(0);
  ::umask(mask);
  return static_cast<mode_t>(0666 & ~mask);
}

}  // namespace

AtomicFile::AtomicFile(std::string path) : path_(std::move(path)) {
  std::vector<char> name(path_.begin(), path_.end());
  const char suffix[] = ".tmp-XXXXXX";
  name.insert(name.end(), suffix, suffix + sizeof suffix);
  fd_ = ::mkstemp(name.data());
  if (fd_ < 0) fail("create", path_, errno);
  temp_path_.assign(name.data());
  if (::fchmod(fd_, creation_mode()) != 0) {
    int err = errno;
    discard();
    fail("create", path_, err);
  }
}

AtomicFile::~AtomicFile() { discard(); }

void AtomicFile::discard() noexcept {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temp_path_.empty()) ::unlink(temp_path_.c_str());
  temp_path_.clear();
}

// Small writes are gathered into blocks; a large one goes straight to the
// file, after what is already gathered, without a copy.
void AtomicFile::write(const char* data, std::size_t size) {
  if (buffer_.size() + size > kBlock || size >= kWriteThrough) flush();
  if (size >= kWriteThrough) {
    write_through(data, size);
    return;
  }
  if (buffer_.capacity() < kBlock) buffer_.reserve(kBlock);
  buffer_.append(data, size);
}

void AtomicFile::flush() {
  write_through(buffer_.data(), buffer_.size());
  buffer_.clear();
}

void AtomicFile::write_through(const char* p, std::size_t left) {
  while (left > 0) {
    ssize_t n = ::write(fd_, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      int err = errno;
      discard();
      fail("write", path_, err);
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
}

void AtomicFile::commit() {
  if (fd_ < 0) throw FileSystemError("cannot write " + path_ + ": file already closed");
  flush();
  if (::close(fd_) != 0) {
    int err = errno;
    fd_ = -1;
    discard();
    fail("write", path_, err);
  }
  fd_ = -1;
  if (::rename(temp_path_.c_str(), path_.c_str()) != 0) {
    int err = errno;
    discard();
    fail("replace", path_, err);
  }
  temp_path_.clear();
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
