// Standard output whose every write is checked. The program's listings go
// through std::cout; while this object lives, std::cout writes through it
// to descriptor 1, and the first failure is kept. A reader that went away
// (EPIPE) ends the output quietly, as a pipe into `head` expects.
#pragma once

#include <array>
#include <streambuf>
#include <string>

namespace sb {

class CheckedStandardOutput : public std::streambuf {
 public:
  CheckedStandardOutput();
  ~CheckedStandardOutput() override;
  CheckedStandardOutput(const CheckedStandardOutput&) = delete;
  CheckedStandardOutput& operator=(const CheckedStandardOutput&) = delete;

  // Writes what is left; returns "" or what went wrong ("cannot write
  // standard output: No space left on device").
  std::string finish();

 protected:
  int_type overflow(int_type c) override;
  int sync() override;
  std::streamsize xsputn(const char* data, std::streamsize size) override;

 private:
  bool flush_buffer();
  void write_out(const char* data, std::size_t size);

  std::array<char, 1 << 16> buffer_{};
  std::streambuf* previous_ = nullptr;
  int error_ = 0;  // the first errno of a failed write
};

}  // namespace sb
