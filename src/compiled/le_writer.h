// Little-endian values written byte by byte, whatever the host's order.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "driver/files.h"

namespace sb {

class LeWriter {
 public:
  explicit LeWriter(ByteSink& sink) : sink_(sink) {}
  ~LeWriter() = default;
  LeWriter(const LeWriter&) = delete;
  LeWriter& operator=(const LeWriter&) = delete;

  void u8(uint8_t v) { put(v); }
  void u16(uint16_t v) {
    put(static_cast<uint8_t>(v));
    put(static_cast<uint8_t>(v >> 8));
  }
  void i16(int16_t v) { u16(static_cast<uint16_t>(v)); }
  void i32(int32_t v) {
    auto u = static_cast<uint32_t>(v);
    for (int i = 0; i < 4; ++i) put(static_cast<uint8_t>(u >> (8 * i)));
  }
  void f64(double v) {
    auto u = std::bit_cast<uint64_t>(v);
    for (int i = 0; i < 8; ++i) put(static_cast<uint8_t>(u >> (8 * i)));
  }
  void bytes(std::string_view s) {
    for (char c : s) put(static_cast<uint8_t>(c));
  }
  // Hands what is buffered to the sink; call before the sink is finished.
  void flush() {
    if (used_ > 0) sink_.write(buffer_, used_);
    used_ = 0;
  }

 private:
  void put(uint8_t b) {
    if (used_ == sizeof buffer_) flush();
    buffer_[used_++] = static_cast<char>(b);
  }
  ByteSink& sink_;
  char buffer_[1 << 16];
  std::size_t used_ = 0;
};

}  // namespace sb
