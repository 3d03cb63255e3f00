#include "format/line_plan_file.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <exception>
#include <memory>
#include <thread>

namespace sb {
namespace {

constexpr uint16_t kEmpty = 0;
constexpr uint16_t kWhole = 2;  // then a 16-bit whole number
constexpr uint16_t kReal = 5;   // then a double

// A block that stays in the cache while it is filled; written out whole.
constexpr std::size_t kBlock = 64 * 1024;

// Fills blocks of little-endian bytes and hands each full one to `out`,
// which takes (data, size).
template <typename Out>
class BlockWriter {
 public:
  explicit BlockWriter(Out out) : out_(std::move(out)), block_(new char[kBlock]) {}

  // Room for `n` more bytes.
  char* reserve(std::size_t n) {
    if (kBlock - used_ < n) flush();
    return block_.get() + used_;
  }
  void commit(std::size_t n) { used_ += n; }
  void flush() {
    if (used_ > 0) out_(block_.get(), used_);
    used_ = 0;
  }

 private:
  Out out_;
  std::unique_ptr<char[]> block_;
  std::size_t used_ = 0;
};

inline void put16(char* out, uint16_t v) {
  out[0] = static_cast<char>(v & 0xFF);
  out[1] = static_cast<char>(v >> 8);
}

inline void put64(char* out, uint64_t v) {
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(out, &v, sizeof v);
  } else {
    for (int i = 0; i < 8; ++i) out[i] = static_cast<char>(v >> (8 * i));
  }
}

template <typename Out>
void put_whole(BlockWriter<Out>& out, int16_t v) {
  char* p = out.reserve(4);
  put16(p, kWhole);
  put16(p + 2, static_cast<uint16_t>(v));
  out.commit(4);
}

template <typename Out>
void put_empty(BlockWriter<Out>& out, int64_t count) {
  for (int64_t i = 0; i < count; ++i) {
    char* p = out.reserve(2);
    put16(p, kEmpty);
    out.commit(2);
  }
}

// One half of the file, every element of one coordinate: computes the
// whole plan and keeps that coordinate.
template <typename Out>
void write_half(const LinePlan& plan, int coordinate, Out out) {
  BlockWriter<Out> block(std::move(out));
  const int64_t last = plan.last_metre();
  if (plan.origin_set()) {
    put_whole(block, 0);                        // metre 0: (0, 0)
    put_whole(block, coordinate == 0 ? 0 : 1);  // metre 1: (0, 1)
  } else {
    put_empty(block, std::min<int64_t>(2, last + 1));
  }
  auto put_real = [&](double v) {
    char* p = block.reserve(10);
    put16(p, kReal);
    put64(p + 2, std::bit_cast<uint64_t>(v));
    block.commit(10);
  };
  if (coordinate == 0) {
    trace_plan(plan, [&](int64_t, double x, double) { put_real(x); });
  } else {
    trace_plan(plan, [&](int64_t, double, double y) { put_real(y); });
  }
  put_empty(block, last + 1 - std::max<int64_t>(plan.cursor(), std::min<int64_t>(2, last + 1)));
  block.flush();
}

uint64_t half_size(const LinePlan& plan) { return line_plan_file_size(plan) / 2; }

}  // namespace

uint64_t line_plan_file_size(const LinePlan& plan) {
  if (!plan.exists()) return 0;
  const auto metres = static_cast<uint64_t>(plan.last_metre() + 1);
  const auto computed = static_cast<uint64_t>(plan.cursor() - 2);
  uint64_t half = 2 * metres + 8 * computed;
  if (plan.origin_set()) half += 2 * 2;
  return 2 * half;
}

// Metre index runs fastest: all first coordinates, then all second ones.
void write_line_plan(const LinePlan& plan, ByteSink& sink) {
  if (!plan.exists()) return;
  for (int coordinate = 0; coordinate < 2; ++coordinate) {
    write_half(plan, coordinate, [&](const char* data, std::size_t size) { sink.write(data, size); });
  }
}

// Each half knows its offset before a position is computed, so the two are
// computed and written side by side, the second on a thread of its own.
void write_line_plan(const LinePlan& plan, PositionedSink& sink) {
  if (!plan.exists()) return;
  auto half_at = [&](int coordinate) {
    uint64_t offset = coordinate == 0 ? 0 : half_size(plan);
    write_half(plan, coordinate, [&sink, offset](const char* data, std::size_t size) mutable {
      sink.write_at(offset, data, size);
      offset += size;
    });
  };
  std::exception_ptr second_failed;
  std::thread second([&] {
    try {
      half_at(1);
    } catch (...) {
      second_failed = std::current_exception();
    }
  });
  try {
    half_at(0);
  } catch (...) {
    second.join();
    throw;
  }
  second.join();
  if (second_failed) std::rethrow_exception(second_failed);
}

}  // namespace sb
