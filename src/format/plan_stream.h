// A line plan file read metre by metre, its two halves side by side,
// without holding it: memory stays the same whatever the file's size. The
// checks are those of decode_line_plan, made before the first metre is
// handed out, so a refused file gets its one error line and no listing.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "format/decoder.h"
#include "format/le_bytes.h"

namespace sb {

// Where a plan's bytes come from.
class PlanBytes {
 public:
  virtual ~PlanBytes() = default;
  virtual uint64_t size() const = 0;
  // Reads up to `n` bytes at `offset` (fewer only at the end).
  virtual std::size_t read_at(uint64_t offset, char* out, std::size_t n) const = 0;
  // All the bytes at once where they are held in memory; empty otherwise.
  virtual std::string_view held() const { return {}; }
};

class MemoryPlanBytes : public PlanBytes {
 public:
  explicit MemoryPlanBytes(std::string bytes) : bytes_(std::move(bytes)) {}
  uint64_t size() const override { return bytes_.size(); }
  std::size_t read_at(uint64_t offset, char* out, std::size_t n) const override;
  std::string_view held() const override { return bytes_; }

 private:
  std::string bytes_;
};

// A plan held in memory, read as a stream: decoded_plan_stream(bytes).
std::shared_ptr<const class LinePlanStream> plan_stream_of(std::string bytes);
// A plan file held in memory whole, for a tool that reads it more than
// once: mapped, or read where it cannot be mapped. The errors are those of
// FilePlanBytes. A mapped file that another program cuts short while it is
// read raises SIGBUS; the tool that maps it says what to do then.
std::shared_ptr<const PlanBytes> plan_bytes_held(const std::string& path);
// From now on, a mapped file cut short ends the process with `message` on
// standard error and `exit_status`, in place of the bare signal.
void end_run_when_a_mapped_file_is_cut_short(const char* message, int exit_status);

// A file, read with pread; it stays open while the object lives. Throws
// FileSystemError (naming the file) when it cannot be read, or is no
// regular file.
class FilePlanBytes : public PlanBytes {
 public:
  explicit FilePlanBytes(const std::string& path);
  ~FilePlanBytes() override;
  FilePlanBytes(const FilePlanBytes&) = delete;
  FilePlanBytes& operator=(const FilePlanBytes&) = delete;
  uint64_t size() const override { return size_; }
  std::size_t read_at(uint64_t offset, char* out, std::size_t n) const override;
  int descriptor() const { return fd_; }

 private:
  std::string path_;
  int fd_ = -1;
  uint64_t size_ = 0;
};

struct PlanMetre {
  uint64_t metre = 0;
  PlanElement first;
  PlanElement second;
};

class LinePlanStream {
 public:
  // Checks the whole file; throws DecodeError as decode_line_plan does.
  explicit LinePlanStream(std::shared_ptr<const PlanBytes> bytes);

  uint64_t size() const { return bytes_->size(); }
  uint64_t metres() const { return metres_; }
  int64_t last_metre() const { return static_cast<int64_t>(metres_) - 1; }
  uint64_t second_half_offset() const { return second_half_; }
  // The file's bytes as they are.
  const PlanBytes& bytes() const { return *bytes_; }

  // The metres in order, from metre 0.
  class Cursor {
   public:
    explicit Cursor(const LinePlanStream& plan);
    bool next(PlanMetre& metre) {
      if (metre_ >= metres_) return false;
      metre.metre = metre_++;
      if (first_at_ != nullptr) {
        first_at_ = take_held(first_at_, metre.first);
        second_at_ = take_held(second_at_, metre.second);
        return true;
      }
      next_streamed(metre);
      return true;
    }

    class Elements;  // one half's elements, read through a buffer

   private:
    friend class LinePlanStream;
    // An element of bytes held in memory and checked already: no bound or
    // tag to check again.
    static const char* take_held(const char* at, PlanElement& e) {
      e.tag = load_le<uint16_t>(at);
      if (e.tag == plan_tag::kReal) {
        e.value = load_le<double>(at + 2);
        return at + 10;
      }
      if (e.tag == plan_tag::kWhole) {
        e.value = load_le<int16_t>(at + 2);
        return at + 4;
      }
      e.value = 0.0;
      return at + 2;
    }
    void next_streamed(PlanMetre& metre);

    std::shared_ptr<Elements> first_, second_;
    const char* first_at_ = nullptr;
    const char* second_at_ = nullptr;
    uint64_t metre_ = 0, metres_ = 0;
  };
  Cursor cursor() const { return Cursor(*this); }

  // Where the bytes are held in memory and laid out as a compile writes
  // them (metres 0 and 1 whole numbers, then real numbers, then empty
  // metres only): how many metres hold values. -1 otherwise.
  int64_t held_computed_metres() const { return held_computed_metres_; }
  // Metre `m` of such bytes, found without reading the metres before it;
  // m < held_computed_metres().
  PlanMetre held_metre(uint64_t m) const {
    const char* data = held_data_;
    const uint64_t offset = m < 2 ? 4 * m : 8 + 10 * (m - 2);
    PlanMetre metre;
    metre.metre = m;
    Cursor::take_held(data + offset, metre.first);
    Cursor::take_held(data + second_half_ + offset, metre.second);
    return metre;
  }
  // Asks for metre `m` of such bytes to be brought into the cache, for a
  // reader that will soon want it.
  void prefetch_held_metre(uint64_t m) const {
    const uint64_t offset = m < 2 ? 4 * m : 8 + 10 * (m - 2);
    __builtin_prefetch(held_data_ + offset);
    __builtin_prefetch(held_data_ + second_half_ + offset);
  }

 private:
  // The checks on bytes held in memory, in one pass over both halves at
  // once: halves that carry the same tags metre by metre are as long as
  // each other, so a sound file's second half starts in its middle. False
  // when any check fails: the streamed checks then find the same fault
  // and say what it is.
  bool check_held(std::string_view bytes);

  std::shared_ptr<const PlanBytes> bytes_;
  uint64_t metres_ = 0;
  uint64_t second_half_ = 0;
  int64_t held_computed_metres_ = -1;
  const char* held_data_ = nullptr;  // where held_computed_metres_ is known
};

}  // namespace sb
