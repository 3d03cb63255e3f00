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

namespace sb {

// Where a plan's bytes come from.
class PlanBytes {
 public:
  virtual ~PlanBytes() = default;
  virtual uint64_t size() const = 0;
  // Reads up to `n` bytes at `offset` (fewer only at the end).
  virtual std::size_t read_at(uint64_t offset, char* out, std::size_t n) const = 0;
};

class MemoryPlanBytes : public PlanBytes {
 public:
  explicit MemoryPlanBytes(std::string bytes) : bytes_(std::move(bytes)) {}
  uint64_t size() const override { return bytes_.size(); }
  std::size_t read_at(uint64_t offset, char* out, std::size_t n) const override;

 private:
  std::string bytes_;
};

// A plan held in memory, read as a stream: decoded_plan_stream(bytes).
std::shared_ptr<const class LinePlanStream> plan_stream_of(std::string bytes);

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
    bool next(PlanMetre& metre);

    class Elements;  // one half's elements, read through a buffer

   private:
    std::shared_ptr<Elements> first_, second_;
    uint64_t metre_ = 0, metres_ = 0;
  };
  Cursor cursor() const { return Cursor(*this); }

 private:
  std::shared_ptr<const PlanBytes> bytes_;
  uint64_t metres_ = 0;
  uint64_t second_half_ = 0;
};

}  // namespace sb
