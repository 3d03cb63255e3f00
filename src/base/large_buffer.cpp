#include "base/large_buffer.h"

#include <sys/mman.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <cstdlib>
#include <new>

namespace sb {
namespace {

constexpr std::size_t kHugePage = 2 * 1024 * 1024;

}  // namespace

LargeBuffer::LargeBuffer(std::size_t size) : size_(size) {
  if (size < kHugePage) {
    // Too small for a huge page: ordinary pages, touched only where used.
    data_ = static_cast<char*>(std::malloc(size > 0 ? size : 1));
    if (data_ == nullptr) throw std::bad_alloc();
    return;
  }
  const std::size_t rounded = (size + kHugePage - 1) / kHugePage * kHugePage;
  data_ = static_cast<char*>(std::aligned_alloc(kHugePage, rounded));
  if (data_ == nullptr) throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
  (void)::madvise(data_, rounded, MADV_HUGEPAGE);  // only a hint
#endif
}

LargeBuffer::~LargeBuffer() { std::free(data_); }

void release_free_memory() {
#ifdef __GLIBC__
  (void)::malloc_trim(0);
#endif
}

}  // namespace sb
