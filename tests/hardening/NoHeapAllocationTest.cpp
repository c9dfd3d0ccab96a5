// Under AddressSanitizer, which sees every heap allocation (malloc, strdup
// and operator new alike): the first calls, which fill the word list and
// build the scanner, and every later call allocate nothing at all. So no call
// can fail for want of memory.
#include <sanitizer/allocator_interface.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "Tavrin.h"
#include "tavrin_c.h"

namespace {

std::atomic<bool> counting{false};
std::atomic<long> allocations{0};

void OnAllocate(const volatile void*, std::size_t) {
  if (counting.load(std::memory_order_relaxed)) ++allocations;
}
void OnRelease(const volatile void*) {}

// Calls both functions, and the C interface's calls on GBK text, on a few
// texts; returns the heap allocations made.
long AllocationsDuring(const std::vector<std::string>& texts,
                       std::vector<char>& out) {
  const char* pointers[8];
  std::size_t lengths[8];
  unsigned char results[8];
  tavrin_match matches[54];
  allocations = 0;
  counting = true;
  std::size_t n = 0;
  for (const std::string& text : texts) {
    Tavrin::IsValid(text.c_str());
    Tavrin::Filtrate(out.data(), static_cast<unsigned int>(out.size() - 1),
                     text.c_str());
    Tavrin::Filtrate(out.data(), 3, text.c_str());
    tavrin_is_valid(text.data(), text.size());
    tavrin_find(text.data(), text.size(), matches, 54);
    pointers[n] = text.data();
    lengths[n++] = text.size();
  }
  tavrin_is_valid_many(pointers, lengths, n, results);
  Tavrin::IsValid(nullptr);
  Tavrin::Filtrate(nullptr, 8, "x");
  counting = false;
  return allocations.load();
}

}  // namespace

int main() {
  if (__sanitizer_install_malloc_and_free_hooks(OnAllocate, OnRelease) == 0) {
    std::fprintf(stderr, "the allocator hooks could not be installed\n");
    return 1;
  }
  std::string long_text(1 << 16, 'q');
  std::vector<std::string> texts = {"hello", "x.COM", "\xB1\xC8\xD5\xE2",
                                    long_text, long_text + "<a"};
  std::vector<char> out(long_text.size() + 16);

  // The hooks themselves must see an allocation made here, or a zero below
  // would prove nothing.
  counting = true;
  void* volatile probe = std::malloc(100);
  std::free(probe);
  counting = false;
  if (allocations.load() == 0) {
    std::fprintf(stderr, "the allocator hooks saw no allocation\n");
    return 1;
  }

  const long first = AllocationsDuring(texts, out);
  const long later = AllocationsDuring(texts, out);
  std::printf("heap allocations: %ld in the first calls, %ld in later ones\n",
              first, later);
  return first == 0 && later == 0 ? 0 : 1;
}
