#include "base/standard_output.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>

namespace sb {

CheckedStandardOutput::CheckedStandardOutput() {
  setp(buffer_.data(), buffer_.data() + buffer_.size());
  previous_ = std::cout.rdbuf(this);
}

CheckedStandardOutput::~CheckedStandardOutput() {
  flush_buffer();
  std::cout.rdbuf(previous_);
}

void CheckedStandardOutput::write_out(const char* data, std::size_t size) {
  while (size > 0 && error_ == 0) {
    const ssize_t n = ::write(1, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      error_ = errno;
      return;
    }
    if (n == 0) {
      error_ = EIO;
      return;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
}

bool CheckedStandardOutput::flush_buffer() {
  write_out(pbase(), static_cast<std::size_t>(pptr() - pbase()));
  setp(buffer_.data(), buffer_.data() + buffer_.size());
  return error_ == 0;
}

CheckedStandardOutput::int_type CheckedStandardOutput::overflow(int_type c) {
  flush_buffer();
  if (!traits_type::eq_int_type(c, traits_type::eof())) {
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
  }
  return traits_type::not_eof(c);
}

std::streamsize CheckedStandardOutput::xsputn(const char* data, std::streamsize size) {
  const auto room = epptr() - pptr();
  if (size <= room) {
    std::memcpy(pptr(), data, static_cast<std::size_t>(size));
    pbump(static_cast<int>(size));
    return size;
  }
  flush_buffer();
  write_out(data, static_cast<std::size_t>(size));
  return size;
}

int CheckedStandardOutput::sync() {
  flush_buffer();
  return 0;
}

std::string CheckedStandardOutput::finish() {
  flush_buffer();
  if (error_ == 0 || error_ == EPIPE) return "";
  return std::string("cannot write standard output: ") + std::strerror(error_);
}

}  // namespace sb
