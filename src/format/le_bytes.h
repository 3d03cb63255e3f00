// Little-endian bytes, both directions, whatever the host's order: one
// pair of helpers (store_le / load_le) that every writer and reader of the
// compiled files goes through, a block writer that gathers values into
// blocks that stay in the cache, and a checked reader over a byte range.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>

#include "base/files.h"

namespace sb {

// The value's bytes, lowest first, at `out`.
template <typename T>
inline void store_le(char* out, T value) {
  static_assert(std::is_arithmetic_v<T>);
  using Unsigned = std::make_unsigned_t<
      std::conditional_t<std::is_floating_point_v<T>, std::conditional_t<sizeof(T) == 8, int64_t, int32_t>, T>>;
  const auto bits = std::bit_cast<Unsigned>(value);
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(out, &bits, sizeof bits);
  } else {
    for (std::size_t i = 0; i < sizeof bits; ++i) out[i] = static_cast<char>(bits >> (8 * i));
  }
}

// The value whose bytes, lowest first, start at `in`.
template <typename T>
inline T load_le(const char* in) {
  static_assert(std::is_arithmetic_v<T>);
  using Unsigned = std::make_unsigned_t<
      std::conditional_t<std::is_floating_point_v<T>, std::conditional_t<sizeof(T) == 8, int64_t, int32_t>, T>>;
  Unsigned bits = 0;
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(&bits, in, sizeof bits);
  } else {
    for (std::size_t i = 0; i < sizeof bits; ++i)
      bits |= static_cast<Unsigned>(static_cast<Unsigned>(static_cast<unsigned char>(in[i])) << (8 * i));
  }
  return std::bit_cast<T>(bits);
}

class LeWriter {
 public:
  static constexpr std::size_t kBlock = 64 * 1024;

  explicit LeWriter(ByteSink& sink) : sink_(sink), buffer_(new char[kBlock]) {}
  ~LeWriter() = default;
  LeWriter(const LeWriter&) = delete;
  LeWriter& operator=(const LeWriter&) = delete;

  // One whole value: a single room check, then its bytes.
  template <typename T>
  void put(T value) {
    if (kBlock - used_ < sizeof value) flush();
    store_le(buffer_.get() + used_, value);
    used_ += sizeof value;
  }
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
  ByteSink& sink_;
  std::unique_ptr<char[]> buffer_;
  std::size_t used_ = 0;
};

// Reads from a byte range. The caller checks left() before it takes.
class LeReader {
 public:
  explicit LeReader(std::string_view bytes) : bytes_(bytes) {}

  std::size_t offset() const { return at_; }
  std::size_t left() const { return bytes_.size() - at_; }
  bool at_end() const { return at_ == bytes_.size(); }

  template <typename T>
  T take() {
    const T value = load_le<T>(bytes_.data() + at_);
    at_ += sizeof(T);
    return value;
  }
  template <typename T>
  T peek(std::size_t ahead) const {
    return load_le<T>(bytes_.data() + at_ + ahead);
  }
  std::string text(std::size_t size) {
    std::string s(bytes_.substr(at_, size));
    at_ += size;
    return s;
  }

 private:
  std::string_view bytes_;
  std::size_t at_ = 0;
};

}  // namespace sb
