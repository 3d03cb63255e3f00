#include "format/line_plan_file.h"

#include <algorithm>
#include <bit>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "base/large_buffer.h"
#include "base/thread_placement.h"
#include "format/decoder.h"
#include "format/le_bytes.h"

namespace sb {
namespace {

using plan_tag::kEmpty;
using plan_tag::kReal;
using plan_tag::kWhole;

// A block that stays in the cache while it is filled; written out whole.
constexpr std::size_t kBlock = 64 * 1024;

// The blocks going round between the computing thread and the writing one.
// Fewer, larger writes cost the kernel less per byte, and a deeper ring lets
// the computing run ahead when a write is slow. Measured on the 1000 km
// compile against cp: 8 x 256 KiB 1.27, 8 x 64 KiB 1.64, 4 x 256 KiB 1.44,
// 4 x 1 MiB 1.43. A plan file smaller than the ring gets fewer blocks.
constexpr std::size_t kPipelineBlock = 256 * 1024;
constexpr std::size_t kPipelineBlocks = 8;

// Each half holds one block while it fills it, so the ring needs at least
// two; one more keeps the writer busy meanwhile.
std::size_t ring_blocks(uint64_t file_size) {
  const uint64_t needed = file_size / kPipelineBlock + 3;
  return needed < kPipelineBlocks ? static_cast<std::size_t>(needed) : kPipelineBlocks;
}

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
  std::size_t room() const { return kBlock - used_; }
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

// The elements of one half, into a writer with reserve(n) / commit(n).
template <typename Writer>
void put_whole(Writer& out, int16_t v) {
  char* p = out.reserve(4);
  store_le(p, kWhole);
  store_le(p + 2, v);
  out.commit(4);
}

// A chunk of reals: as many as fit go into the writer's block with the
// block's room checked once.
template <typename Writer>
void put_reals(Writer& out, const double* values, std::size_t n) {
  while (n > 0) {
    std::size_t fit = out.room() / 10;
    if (fit == 0) {
      out.reserve(10);
      fit = out.room() / 10;
    }
    const std::size_t count = n < fit ? n : fit;
    char* p = out.reserve(10 * count);
    for (std::size_t i = 0; i < count; ++i, p += 10) {
      store_le(p, kReal);
      store_le(p + 2, values[i]);
    }
    out.commit(10 * count);
    values += count;
    n -= count;
  }
}

template <typename Writer>
void put_empty(Writer& out, int64_t count) {
  for (int64_t i = 0; i < count; ++i) {
    char* p = out.reserve(2);
    store_le(p, kEmpty);
    out.commit(2);
  }
}

// Metres 0 and 1 of one half.
template <typename Writer>
void put_start(const LinePlan& plan, int coordinate, Writer& out) {
  if (plan.origin_set()) {
    put_whole(out, 0);                        // metre 0: (0, 0)
    put_whole(out, coordinate == 0 ? 0 : 1);  // metre 1: (0, 1)
  } else {
    put_empty(out, std::min<int64_t>(2, plan.last_metre() + 1));
  }
}

// The metres after the last computed one.
template <typename Writer>
void put_tail(const LinePlan& plan, Writer& out) {
  const int64_t last = plan.last_metre();
  put_empty(out, last + 1 - std::max<int64_t>(plan.cursor(), std::min<int64_t>(2, last + 1)));
}

// One half of the file, every element of one coordinate: computes the
// whole plan and keeps that coordinate.
template <typename Out>
void write_half(const LinePlan& plan, int coordinate, Out out) {
  BlockWriter<Out> block(std::move(out));
  put_start(plan, coordinate, block);
  trace_plan_chunks(plan, [&](int64_t, const double* xs, const double* ys, std::size_t n) {
    put_reals(block, coordinate == 0 ? xs : ys, n);
  });
  put_tail(plan, block);
  block.flush();
}

// Blocks that one thread fills and another writes out: the kernel's copy
// of the bytes runs beside the computing of the next ones. A fixed set of
// blocks goes round, so memory stays bounded whatever the plan's length.
class WritePipeline {
 public:
  struct Block {
    char* bytes = nullptr;
    uint64_t offset = 0;
    std::size_t size = 0;
  };

  WritePipeline(PositionedSink& sink, std::size_t blocks)
      : sink_(sink), memory_(kPipelineBlock * blocks), blocks_(blocks) {
    for (std::size_t i = 0; i < blocks; ++i) {
      blocks_[i].bytes = memory_.data() + i * kPipelineBlock;
      free_.push_back(&blocks_[i]);
    }
    writer_ = std::thread([this] { write_blocks(); });
    placement_.emplace(writer_);
  }
  ~WritePipeline() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      closing_ = true;
    }
    changed_.notify_all();
    if (writer_.joinable()) writer_.join();
  }
  WritePipeline(const WritePipeline&) = delete;
  WritePipeline& operator=(const WritePipeline&) = delete;

  // A free block; rethrows what stopped the writer.
  Block* take() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return !free_.empty() || failure_; });
    if (failure_) std::rethrow_exception(failure_);
    Block* b = free_.front();
    free_.pop_front();
    b->size = 0;
    return b;
  }
  void submit(Block* b) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      full_.push_back(b);
    }
    changed_.notify_all();
  }
  // Waits until every submitted block is written; rethrows a failure.
  void finish() {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      closing_ = true;
      changed_.notify_all();
      changed_.wait(lock, [this] { return (full_.empty() && writing_ == nullptr) || failure_; });
    }
    writer_.join();
    if (failure_) std::rethrow_exception(failure_);
  }

 private:
  void write_blocks() {
    for (;;) {
      Block* b = nullptr;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return !full_.empty() || closing_; });
        if (full_.empty()) return;
        b = writing_ = full_.front();
        full_.pop_front();
      }
      try {
        sink_.write_at(b->offset, b->bytes, b->size);
      } catch (...) {
        std::lock_guard<std::mutex> lock(mutex_);
        failure_ = std::current_exception();
        writing_ = nullptr;
        changed_.notify_all();
        return;
      }
      {
        std::lock_guard<std::mutex> lock(mutex_);
        writing_ = nullptr;
        free_.push_back(b);
      }
      changed_.notify_all();
    }
  }

  PositionedSink& sink_;
  LargeBuffer memory_;
  std::vector<Block> blocks_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Block*> free_;
  std::deque<Block*> full_;
  Block* writing_ = nullptr;
  bool closing_ = false;
  std::exception_ptr failure_;
  std::thread writer_;
  // Computing and writing each get a processor of their own: left to the
  // scheduler, the writer often ended up beside the computing thread (the
  // one that wakes it), and the plan then took 9-10 ms instead of 5-6.
  std::optional<SeparateProcessors> placement_;
};

// One half's blocks, handed to the pipeline as they fill, at the half's
// running offset.
class PipelinedHalf {
 public:
  PipelinedHalf(WritePipeline& pipeline, uint64_t offset) : pipeline_(pipeline), offset_(offset) {}

  char* reserve(std::size_t n) {
    if (block_ == nullptr) block_ = pipeline_.take();
    if (kPipelineBlock - block_->size < n) {
      flush();
      block_ = pipeline_.take();
    }
    return block_->bytes + block_->size;
  }
  void commit(std::size_t n) { block_->size += n; }
  std::size_t room() const { return block_ == nullptr ? 0 : kPipelineBlock - block_->size; }
  void flush() {
    if (block_ == nullptr) return;
    block_->offset = offset_;
    offset_ += block_->size;
    pipeline_.submit(block_);
    block_ = nullptr;
  }

 private:
  WritePipeline& pipeline_;
  WritePipeline::Block* block_ = nullptr;
  uint64_t offset_;
};

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

// Each half knows its offset before a position is computed, so the plan is
// computed once, both coordinates going into blocks of their own half, while
// a second thread writes the full blocks out.
void write_line_plan(const LinePlan& plan, PositionedSink& sink, const std::function<void()>& meanwhile) {
  if (!plan.exists()) return;
  const uint64_t size = line_plan_file_size(plan);
  sink.expect_size(size);
  // The ring is the compile's largest allocation: what the reading freed
  // goes back first rather than adding to the peak.
  release_free_memory();
  WritePipeline pipeline(sink, ring_blocks(size));
  PipelinedHalf first(pipeline, 0);
  PipelinedHalf second(pipeline, half_size(plan));
  put_start(plan, 0, first);
  put_start(plan, 1, second);
  trace_plan_chunks(plan, [&](int64_t, const double* xs, const double* ys, std::size_t n) {
    put_reals(first, xs, n);
    put_reals(second, ys, n);
  });
  put_tail(plan, first);
  put_tail(plan, second);
  first.flush();
  second.flush();
  if (meanwhile) meanwhile();
  pipeline.finish();
}

namespace {

// Compares the blocks handed to it with `bytes` from `offset` on.
class BlockComparison {
 public:
  BlockComparison(std::string_view bytes, uint64_t offset, bool& same) : bytes_(bytes), offset_(offset), same_(same) {}
  void operator()(const char* data, std::size_t n) {
    if (same_ && (bytes_.size() - offset_ < n || std::memcmp(bytes_.data() + offset_, data, n) != 0)) same_ = false;
    offset_ += n;
  }

 private:
  std::string_view bytes_;
  uint64_t offset_;
  bool& same_;
};

// The place of computed metre m (2 .. cursor - 1) in the first half.
uint64_t computed_offset(const LinePlan& plan, int64_t m) {
  return (plan.origin_set() ? 8 : 4) + 10 * static_cast<uint64_t>(m - 2);
}

// Metres `from` .. `to` of the plan, from `state`, compared with `bytes`;
// the start with the first of them, the tail with the last.
bool metres_match(const LinePlan& plan, std::string_view bytes, int64_t from, int64_t to, PlanTraceState state) {
  const uint64_t half = bytes.size() / 2;
  bool same = true;
  const uint64_t offset = from == 2 ? 0 : computed_offset(plan, from);
  BlockWriter<BlockComparison> first(BlockComparison(bytes, offset, same));
  BlockWriter<BlockComparison> second(BlockComparison(bytes, half + offset, same));
  if (from == 2) {
    put_start(plan, 0, first);
    put_start(plan, 1, second);
  }
  trace_plan_chunks_between(plan, from, to, state, [&](int64_t, const double* xs, const double* ys, std::size_t n) {
    put_reals(first, xs, n);
    put_reals(second, ys, n);
  });
  if (to == plan.cursor() - 1) {
    put_tail(plan, first);
    put_tail(plan, second);
  }
  first.flush();
  second.flush();
  return same;
}

// Below this many computed metres one thread compares them all.
constexpr int64_t kSplitFrom = 1 << 16;

}  // namespace

// The computed metres are compared in two parts, one per thread. The
// second part starts from the positions the file holds for the two metres
// before it, which the first part compares: if the first part matches,
// they are the plan's own, so the second part traces the plan's own
// positions, and a match of both is a match of the whole.
bool line_plan_matches(const LinePlan& plan, std::string_view bytes) {
  if (!plan.exists()) return bytes.empty();
  const uint64_t size = line_plan_file_size(plan);
  if (size != bytes.size()) return false;
  const int64_t last = plan.cursor() - 1;
  if (!plan.origin_set() || last - 2 < kSplitFrom) return metres_match(plan, bytes, 2, last, PlanTraceState{});
  const int64_t split = 2 + (last - 2) / 2;
  const uint64_t half = size / 2;
  auto held = [&](uint64_t offset) { return load_le<double>(bytes.data() + offset + 2); };
  const uint64_t before = computed_offset(plan, split - 1), two_before = computed_offset(plan, split - 2);
  const PlanTraceState state{held(two_before), held(half + two_before), held(before), held(half + before)};
  bool second_part = false;
  std::thread second([&] { second_part = metres_match(plan, bytes, split, last, state); });
  bool first_part = false;
  {
    const SeparateProcessors placement(second);
    first_part = metres_match(plan, bytes, 2, split - 1, PlanTraceState{});
    second.join();
  }
  return first_part && second_part;
}

}  // namespace sb
