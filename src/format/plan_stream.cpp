#include "format/plan_stream.h"

#include "format/le_bytes.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "base/failures.h"
#include "base/files.h"

namespace sb {

std::size_t MemoryPlanBytes::read_at(uint64_t offset, char* out, std::size_t n) const {
  if (offset >= bytes_.size()) return 0;
  const std::size_t count = std::min<uint64_t>(n, bytes_.size() - offset);
  std::memcpy(out, bytes_.data() + offset, count);
  return count;
}

std::shared_ptr<const LinePlanStream> plan_stream_of(std::string bytes) {
  return std::make_shared<LinePlanStream>(std::make_shared<MemoryPlanBytes>(std::move(bytes)));
}

namespace {

// A file mapped read-only. Mapping costs a fraction of reading: the pages
// are the page cache's own, neither zeroed nor copied.
class MappedPlanBytes : public PlanBytes {
 public:
  MappedPlanBytes(const char* data, uint64_t size) : data_(data), size_(size) {}
  ~MappedPlanBytes() override { ::munmap(const_cast<char*>(data_), size_); }
  MappedPlanBytes(const MappedPlanBytes&) = delete;
  MappedPlanBytes& operator=(const MappedPlanBytes&) = delete;
  uint64_t size() const override { return size_; }
  std::size_t read_at(uint64_t offset, char* out, std::size_t n) const override {
    if (offset >= size_) return 0;
    const std::size_t count = std::min<uint64_t>(n, size_ - offset);
    std::memcpy(out, data_ + offset, count);
    return count;
  }
  std::string_view held() const override { return {data_, size_}; }

 private:
  const char* data_;
  uint64_t size_;
};

const char* cut_short_message = "";
int cut_short_status = 1;

extern "C" void on_cut_short(int) {
  // Only what is safe in a signal handler: write(2) and _exit(2).
  const std::size_t length = std::strlen(cut_short_message);
  if (::write(STDERR_FILENO, cut_short_message, length) < 0) {
    // nothing more can be said
  }
  ::_exit(cut_short_status);
}

}  // namespace

void end_run_when_a_mapped_file_is_cut_short(const char* message, int exit_status) {
  cut_short_message = message;
  cut_short_status = exit_status;
  struct sigaction action {};
  action.sa_handler = on_cut_short;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGBUS, &action, nullptr);
}

std::shared_ptr<const PlanBytes> plan_bytes_held(const std::string& path) {
  const FilePlanBytes file(path);
  if (file.size() > 0 && file.size() <= SIZE_MAX) {
    void* mapped = ::mmap(nullptr, file.size(), PROT_READ, MAP_PRIVATE | MAP_POPULATE, file.descriptor(), 0);
    if (mapped != MAP_FAILED) return std::make_shared<MappedPlanBytes>(static_cast<const char*>(mapped), file.size());
  }
  std::string bytes(file.size(), '\0');
  bytes.resize(file.read_at(0, bytes.data(), bytes.size()));
  return std::make_shared<MemoryPlanBytes>(std::move(bytes));
}

FilePlanBytes::FilePlanBytes(const std::string& path) : path_(path) {
  fd_ = open_regular_file(path, size_);
  if (fd_ < 0) throw FileSystemError("cannot read " + path + ": no such file");
}

FilePlanBytes::~FilePlanBytes() {
  if (fd_ >= 0) ::close(fd_);
}

std::size_t FilePlanBytes::read_at(uint64_t offset, char* out, std::size_t n) const {
  std::size_t done = 0;
  while (done < n) {
    const ssize_t got = ::pread(fd_, out + done, n - done, static_cast<off_t>(offset + done));
    if (got < 0) {
      if (errno == EINTR) continue;
      throw FileSystemError("cannot read " + path_ + ": " + std::strerror(errno));
    }
    if (got == 0) break;
    done += static_cast<std::size_t>(got);
  }
  return done;
}

// Plan elements one after another from an offset, through a buffer of its
// own; checks each tag and that the element is whole.
class LinePlanStream::Cursor::Elements {
 public:
  Elements(const PlanBytes& bytes, uint64_t offset) : bytes_(bytes), size_(bytes.size()), at_(offset) {}

  // The element at offset(); false at the end of the file.
  bool next(PlanElement& e) {
    element_at_ = at_;
    if (at_ >= size_) return false;
    if (end_ - begin_ >= 10) {
      // The common case: the longest element is in the buffer already.
      const char* in = buffer_.data() + begin_;
      e.tag = load_le<uint16_t>(in);
      if (e.tag == plan_tag::kReal) {
        e.value = load_le<double>(in + 2);
        begin_ += 10;
        at_ += 10;
        return true;
      }
      if (e.tag == plan_tag::kWhole) {
        e.value = load_le<int16_t>(in + 2);
        begin_ += 4;
        at_ += 4;
        return true;
      }
      if (e.tag == plan_tag::kEmpty) {
        e.value = 0.0;
        begin_ += 2;
        at_ += 2;
        return true;
      }
    }
    if (!ensure(2)) throw DecodeError(element_at_, "plan element cut off: a tag needs 2 bytes, 1 is left");
    e.tag = load_le<uint16_t>(buffer_.data() + begin_);
    e.value = 0.0;
    if (e.tag != plan_tag::kEmpty && e.tag != plan_tag::kWhole && e.tag != plan_tag::kReal) {
      throw DecodeError(element_at_,
                        "unknown plan tag " + std::to_string(e.tag) + " (known: 0 empty, 2 whole, 5 real)");
    }
    const std::size_t size = e.tag == plan_tag::kWhole ? 4 : e.tag == plan_tag::kReal ? 10 : 2;
    if (!ensure(size)) {
      throw DecodeError(element_at_, "plan element cut off: tag " + std::to_string(e.tag) + " needs " +
                                         std::to_string(size) + " bytes, " + std::to_string(size_ - element_at_) +
                                         " are left");
    }
    const char* value = buffer_.data() + begin_ + 2;
    if (e.tag == plan_tag::kWhole) e.value = load_le<int16_t>(value);
    if (e.tag == plan_tag::kReal) e.value = load_le<double>(value);
    begin_ += size;
    at_ += size;
    return true;
  }

  uint64_t element_offset() const { return element_at_; }
  uint64_t offset() const { return at_; }

 private:
  // At least `n` bytes from offset() in the buffer; false when the file
  // ends before.
  bool ensure(std::size_t n) {
    if (end_ - begin_ >= n) return true;
    if (buffer_.empty()) buffer_.resize(1 << 16);
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
    end_ += bytes_.read_at(at_ + end_, buffer_.data() + end_, buffer_.size() - end_);
    return end_ >= n;
  }

  const PlanBytes& bytes_;
  const uint64_t size_;  // asked once: every element would ask again
  uint64_t at_;
  uint64_t element_at_ = 0;
  std::vector<char> buffer_;
  std::size_t begin_ = 0, end_ = 0;
};

bool LinePlanStream::check_held(std::string_view bytes) {
  const char* data = bytes.data();
  const uint64_t size = bytes.size();
  if (size == 0 || size % 2 != 0) return false;
  const uint64_t half = size / 2;
  // A plan that starts with two whole numbers starts at (0, 0), (0, 1).
  if (half >= 8 && load_le<uint16_t>(data) == plan_tag::kWhole && load_le<uint16_t>(data + 4) == plan_tag::kWhole) {
    const bool at_start = load_le<int16_t>(data + 2) == 0 && load_le<int16_t>(data + 6) == 0 &&
                          load_le<int16_t>(data + half + 2) == 0 && load_le<int16_t>(data + half + 6) == 1;
    if (!at_start) return false;
  }
  // One branch per tag, each with its own step: the next element's place
  // is then known before this one's tag is loaded (a run of one tag is
  // predicted), where a step looked up from the tag would wait for it.
  // On the way: whether the tags run whole, whole, real..., empty....
  uint64_t metres = 0, wholes = 0, reals = 0;
  bool compiled_layout = true;
  uint64_t a = 0;
  while (a < half) {
    const uint64_t left = half - a;
    if (left < 2) return false;
    const uint16_t tag = load_le<uint16_t>(data + a);
    if (load_le<uint16_t>(data + half + a) != tag) return false;
    if (tag == plan_tag::kReal) {
      if (left < 10) return false;
      compiled_layout = compiled_layout && wholes == 2 && reals + 2 == metres;
      ++reals;
      a += 10;
    } else if (tag == plan_tag::kEmpty) {
      a += 2;
    } else if (tag == plan_tag::kWhole) {
      if (left < 4) return false;
      compiled_layout = compiled_layout && metres < 2;
      ++wholes;
      a += 4;
    } else {
      return false;
    }
    ++metres;
  }
  metres_ = metres;
  second_half_ = half;
  if (compiled_layout && wholes == 2) {
    held_computed_metres_ = static_cast<int64_t>(2 + reals);
    held_data_ = data;
  }
  return true;
}

LinePlanStream::LinePlanStream(std::shared_ptr<const PlanBytes> bytes) : bytes_(std::move(bytes)) {
  if (!bytes_->held().empty() && check_held(bytes_->held())) return;
  // Every tag, and the count of elements.
  uint64_t count = 0;
  {
    Cursor::Elements all(*bytes_, 0);
    PlanElement e;
    while (all.next(e)) ++count;
  }
  if (count == 0) throw DecodeError(0, "empty file: a line plan holds at least one metre");
  if (count % 2 != 0) {
    throw DecodeError(bytes_->size(), "odd number of plan elements (" + std::to_string(count) +
                                          "): the two halves cannot hold the same metres");
  }
  metres_ = count / 2;
  {
    Cursor::Elements first(*bytes_, 0);
    PlanElement e;
    for (uint64_t m = 0; m < metres_; ++m) first.next(e);
    second_half_ = first.offset();
  }
  // Where the plan starts with whole numbers, they are the line's start;
  // metre by metre both halves carry the same tag.
  Cursor::Elements first(*bytes_, 0), second(*bytes_, second_half_);
  PlanElement a[2], b[2];
  for (uint64_t m = 0; m < metres_; ++m) {
    PlanElement x, y;
    first.next(x);
    second.next(y);
    if (m < 2) {
      a[m] = x;
      b[m] = y;
    }
    if (m == 1 && a[0].tag == plan_tag::kWhole && a[1].tag == plan_tag::kWhole) {
      const PlanElement zero{plan_tag::kWhole, 0.0}, one{plan_tag::kWhole, 1.0};
      if (!(a[0] == zero && a[1] == zero && b[0] == zero && b[1] == one)) {
        throw DecodeError(second_half_,
                          "the second half (metres 0 to " + std::to_string(metres_ - 1) +
                              ") does not start where the first ended: a line plan starts at (0, 0), (0, 1)");
      }
    }
    if (x.tag != y.tag) {
      // The start rule comes first where both could be broken.
      if (m == 0 && metres_ >= 2) {
        PlanElement x1, y1;
        Cursor::Elements f(*bytes_, first.offset()), s(*bytes_, second.offset());
        f.next(x1);
        s.next(y1);
        const PlanElement zero{plan_tag::kWhole, 0.0}, one{plan_tag::kWhole, 1.0};
        if (x.tag == plan_tag::kWhole && x1.tag == plan_tag::kWhole &&
            !(x == zero && x1 == zero && y == zero && y1 == one)) {
          throw DecodeError(second_half_,
                            "the second half (metres 0 to " + std::to_string(metres_ - 1) +
                                ") does not start where the first ended: a line plan starts at (0, 0), (0, 1)");
        }
      }
      throw DecodeError(second.element_offset(), "the second half (from offset " + std::to_string(second_half_) +
                                                     ") does not continue the first: metre " + std::to_string(m) +
                                                     " has tag " + std::to_string(x.tag) + " in the first half and " +
                                                     std::to_string(y.tag) + " in the second");
    }
  }
}

LinePlanStream::Cursor::Cursor(const LinePlanStream& plan) : metres_(plan.metres_) {
  const std::string_view held = plan.bytes_->held();
  if (!held.empty()) {
    first_at_ = held.data();
    second_at_ = held.data() + plan.second_half_;
    return;
  }
  first_ = std::make_shared<Elements>(*plan.bytes_, 0);
  second_ = std::make_shared<Elements>(*plan.bytes_, plan.second_half_);
}

void LinePlanStream::Cursor::next_streamed(PlanMetre& out) {
  first_->next(out.first);
  second_->next(out.second);
}

}  // namespace sb
