// Filtering target: Filtrate with a text, an outSize and a placement of `out`
// taken from the input. The result and every byte around `out` must be what
// the outcome table of Filtrate says:
//
//   text longer than outSize            false  nothing written
//   clean text                          false  the text and its zero
//   banned text, outSize at least 7     true   "***<br>" and its zero
//   banned text, outSize below 7        true   a zero in out[0], nothing else
//
// so no byte outside out[0] .. out[outSize] ever changes, and no byte inside
// changes beyond the ones listed.
//
// Input: byte 0 picks how outSize is formed (low 2 bits) and moves the
// buffers off the allocator's alignment (the other 6); byte 1 is a parameter
// for outSize; byte 2 places `out`: bit 7 clear, a buffer of its own; set,
// overlapping `in` at a shift of (byte & 0x7F) - 64 bytes from it. The rest,
// cut at its first zero, is the text.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "FuzzSupport.h"
#include "Tavrin.h"

namespace {

constexpr std::size_t kGuard = 32;
constexpr char kMarker[] = "***<br>";  // with its zero, 8 bytes

unsigned int ChooseOutSize(std::uint8_t how, std::uint8_t parameter,
                           std::size_t length) {
  switch (how % 4) {
    case 0: {
      // Around the text's length: refused, an exact fit, or room to spare.
      const long long size =
          static_cast<long long>(length) + static_cast<std::int8_t>(parameter);
      return size < 0 ? 0u : static_cast<unsigned int>(size);
    }
    case 1:
      // Below, at and just above the length of the marker.
      return parameter % 16;
    case 2:
      // Sizes far beyond any buffer made here; a call that keeps to the
      // table still writes only into the room allotted below.
      return 0xFFFFFFFFu - parameter;
    default:
      return parameter;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  if (size < 3) return 0;
  const std::uint8_t how = data[0];
  const std::uint8_t parameter = data[1];
  const std::uint8_t placement = data[2];
  data += 3;
  size -= 3;
  const std::size_t length = Tavrin::Fuzz::TextLength(data, size);
  const unsigned int out_size = ChooseOutSize(how, parameter, length);
  const std::size_t misalign = how >> 2;
  const bool overlap = (placement & 0x80) != 0;
  const std::ptrdiff_t shift = overlap ? (placement & 0x7F) - 64 : 0;

  // The room given to `out`: out[0] .. out[outSize] when that is small,
  // otherwise more than any outcome writes. Past it lies the guard.
  const std::size_t room = std::min<std::size_t>(out_size, length + 16) + 1;

  // The arena: a guard, the span holding `out` (and `in` when they overlap),
  // a guard. Both guards are poisoned during the call, and every byte of the
  // arena is compared with the expected outcome after it.
  const std::size_t front = kGuard + misalign;
  std::size_t out_pos = front;
  std::size_t in_pos = 0;
  std::size_t span_end = front + room;
  if (overlap) {
    in_pos = front + static_cast<std::size_t>(shift < 0 ? -shift : 0);
    out_pos = in_pos + shift;
    span_end = std::max(in_pos + length + 1, out_pos + room);
  }
  const std::size_t arena_size = span_end + kGuard;
  std::vector<char> arena(arena_size);
  for (std::size_t i = 0; i < arena_size; ++i)
    arena[i] = static_cast<char>(0xA5 ^ (i * 37));

  // `in` of its own sits exactly at the end of its allocation.
  const Tavrin::Fuzz::PlacedText separate_in(data, length, misalign);
  const char* in = separate_in.c_str();
  if (overlap) {
    std::memcpy(&arena[in_pos], data, length);
    arena[in_pos + length] = '\0';
    in = &arena[in_pos];
  }
  char* const out = &arena[out_pos];

  const bool banned = Tavrin::Fuzz::ReferenceFindsBannedWord(in);
  std::vector<char> expected = arena;
  bool expected_result = false;
  if (length <= out_size) {
    if (!banned) {
      std::memmove(&expected[out_pos], in, length + 1);
    } else if (out_size >= 7) {
      std::memcpy(&expected[out_pos], kMarker, sizeof kMarker);
      expected_result = true;
    } else {
      expected[out_pos] = '\0';
      expected_result = true;
    }
  }

  ASAN_POISON_MEMORY_REGION(arena.data(), front);
  ASAN_POISON_MEMORY_REGION(arena.data() + span_end, kGuard);
  const bool result = Tavrin::Filtrate(out, out_size, in);
  ASAN_UNPOISON_MEMORY_REGION(arena.data(), arena_size);

  if (result != expected_result) {
    Tavrin::Fuzz::Fail(result ? "Filtrate returned true, the table says false"
                             : "Filtrate returned false, the table says true",
                      separate_in.c_str());
  }
  const auto mismatch =
      std::mismatch(arena.begin(), arena.end(), expected.begin());
  if (mismatch.first != arena.end()) {
    std::fprintf(
        stderr,
        "outSize %u, out at %td from in%s: byte out[%td] is %02X, "
        "expected %02X\n",
        out_size, shift, overlap ? "" : " (separate buffers)",
        (mismatch.first - arena.begin()) - static_cast<std::ptrdiff_t>(out_pos),
        static_cast<unsigned char>(*mismatch.first),
        static_cast<unsigned char>(*mismatch.second));
    Tavrin::Fuzz::Fail(
        "the bytes around out are not what the outcome table says",
        separate_in.c_str());
  }
  if (std::memcmp(separate_in.c_str(), data, length) != 0) {
    Tavrin::Fuzz::Fail("Filtrate changed a text it does not share with out",
                      separate_in.c_str());
  }
  return 0;
}
