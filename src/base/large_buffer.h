// One large block of memory. From 2 MiB up it is asked of the kernel as
// transparent huge pages where it grants them: 2 MiB then cost one page
// fault rather than 512.
#pragma once

#include <cstddef>

namespace sb {

class LargeBuffer {
 public:
  explicit LargeBuffer(std::size_t size);
  ~LargeBuffer();
  LargeBuffer(const LargeBuffer&) = delete;
  LargeBuffer& operator=(const LargeBuffer&) = delete;

  char* data() const { return data_; }
  std::size_t size() const { return size_; }

 private:
  char* data_ = nullptr;
  std::size_t size_ = 0;
};

// Gives the heap's free pages back to the system. Called before a large
// buffer is taken, it keeps what earlier work freed (the description texts,
// say) from adding to the peak of resident memory.
void release_free_memory();

}  // namespace sb
