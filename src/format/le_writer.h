// Little-endian values, whatever the host's order, gathered into blocks
// that stay in the cache and go to the sink whole.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

#include "base/files.h"

namespace sb {

class LeWriter {
 public:
  static constexpr std::size_t kBlock = 64 * 1024;

  explicit LeWriter(ByteSink& sink) : sink_(sink), buffer_(new char[kBlock]) {}
  ~LeWriter() = default;
  LeWriter(const LeWriter&) = delete;
  LeWriter& operator=(const LeWriter&) = delete;

  void u8(uint8_t v) { put(v); }
  void u16(uint16_t v) { put(v); }
  void i16(int16_t v) { put(static_cast<uint16_t>(v)); }
  void i32(int32_t v) { put(static_cast<uint32_t>(v)); }
  void f64(double v) { put(std::bit_cast<uint64_t>(v)); }
  void bytes(std::string_view s) {
    while (!s.empty()) {
      if (used_ == kBlock) flush();
      const std::size_t n = std::min(s.size(), kBlock - used_);
      std::memcpy(buffer_.get() + used_, s.data(), n);
      used_ += n;
      s.remove_prefix(n);
    }
  }
  // Hands what is buffered to the sink; call before the sink is finished.
  void flush() {
    if (used_ > 0) sink_.write(buffer_.get(), used_);
    used_ = 0;
  }

 private:
  // One whole value: a single room check, then its bytes, lowest first.
  template <typename Unsigned>
  void put(Unsigned v) {
    if (kBlock - used_ < sizeof v) flush();
    char* out = buffer_.get() + used_;
    if constexpr (std::endian::native == std::endian::little) {
      std::memcpy(out, &v, sizeof v);
    } else {
      for (std::size_t i = 0; i < sizeof v; ++i) out[i] = static_cast<char>(v >> (8 * i));
    }
    used_ += sizeof v;
  }

  ByteSink& sink_;
  std::unique_ptr<char[]> buffer_;
  std::size_t used_ = 0;
};

}  // namespace sb
