// The block loop shared by the UTF-8 to GBK conversions (Utf8Kernels.h has
// their contract, DESIGN.md's "UTF-8 to GBK, a block at a time" the
// reasoning). Each conversion's file includes it and instantiates it with
// its own vector operations, so it is compiled with that instruction set;
// everything here has internal linkage, as in BlockScan.h.
#ifndef TAVRIN_MATCHING_KERNELS_UTF8BLOCKS_H_
#define TAVRIN_MATCHING_KERNELS_UTF8BLOCKS_H_

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "matching/kernels/Utf8Kernels.h"

namespace Tavrin {
namespace Scan {
namespace {

constexpr std::size_t kUtf8BlockLength = 64;

// A table entry is stored as a word to put its bytes in order.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "the UTF-8 conversions store GBK forms little-endian");

// Keiser and Lemire's check of well-formed UTF-8 ("Validating UTF-8 in less
// than one instruction per byte", 2021): each byte is judged with the one
// before it, by three 16-entry lookups (the high and low nibble of the byte
// before, the high nibble of this one) whose results are ANDed; a bit that
// survives is an error, except kTwoContinuations, which must be set exactly
// where the byte is the third or fourth of a character. Together they refuse
// every form RFC 3629 refuses: a continuation byte with no lead, a lead cut
// short, overlong forms, surrogates, leads F5..FF (the 5- and 6-byte forms
// among them) and F4 sequences above U+10FFFF.
enum : std::uint8_t {
  kTooShort = 1 << 0,         // a lead, then a byte that is not a continuation
  kTooLong = 1 << 1,          // ASCII, then a continuation
  kOverlong3 = 1 << 2,        // E0 80..9F
  kTooLarge = 1 << 3,         // F4 90..BF, or F5..FF then 90..BF
  kSurrogate = 1 << 4,        // ED A0..BF
  kOverlong2 = 1 << 5,        // C0..C1, then a continuation
  kTooLarge1000 = 1 << 6,     // F5..FF 80..8F
  kOverlong4 = 1 << 6,        // F0 80..8F
  kTwoContinuations = 1 << 7, // a continuation, then another
  kCarry = kTooShort | kTooLong | kTwoContinuations,
};

// Each table is repeated four times, so that a vector of any width loads
// it already copied into each of its 16-byte lanes.
#define TAVRIN_UTF8_TABLE(...) {__VA_ARGS__, __VA_ARGS__, __VA_ARGS__, __VA_ARGS__}
// By the high nibble of the byte before.
alignas(64) constexpr std::uint8_t kBeforeHigh[64] = TAVRIN_UTF8_TABLE(
    kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong,
    kTwoContinuations, kTwoContinuations, kTwoContinuations, kTwoContinuations,
    kTooShort | kOverlong2, kTooShort, kTooShort | kOverlong3 | kSurrogate,
    kTooShort | kTooLarge | kTooLarge1000 | kOverlong4);
// By the low nibble of the byte before.
alignas(64) constexpr std::uint8_t kBeforeLow[64] = TAVRIN_UTF8_TABLE(
    kCarry | kOverlong3 | kOverlong2 | kOverlong4, kCarry | kOverlong2, kCarry, kCarry,
    kCarry | kTooLarge, kCarry | kTooLarge | kTooLarge1000,
    kCarry | kTooLarge | kTooLarge1000, kCarry | kTooLarge | kTooLarge1000,
    kCarry | kTooLarge | kTooLarge1000, kCarry | kTooLarge | kTooLarge1000,
    kCarry | kTooLarge | kTooLarge1000, kCarry | kTooLarge | kTooLarge1000,
    kCarry | kTooLarge | kTooLarge1000, kCarry | kTooLarge | kTooLarge1000 | kSurrogate,
    kCarry | kTooLarge | kTooLarge1000, kCarry | kTooLarge | kTooLarge1000);
// By the high nibble of the byte itself.
alignas(64) constexpr std::uint8_t kThisHigh[64] = TAVRIN_UTF8_TABLE(
    kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort,
    kTooLong | kOverlong2 | kTwoContinuations | kOverlong3 | kTooLarge1000 | kOverlong4,
    kTooLong | kOverlong2 | kTwoContinuations | kOverlong3 | kTooLarge,
    kTooLong | kOverlong2 | kTwoContinuations | kSurrogate | kTooLarge,
    kTooLong | kOverlong2 | kTwoContinuations | kSurrogate | kTooLarge,
    kTooShort, kTooShort, kTooShort, kTooShort);
#undef TAVRIN_UTF8_TABLE

// `Ops`, a conversion's vector operations, has
//   using Vector;  static constexpr std::size_t kLanes;  // 16, 32 or 64 bytes
//   static constexpr bool kWholeBlocks;  // whether it has Emit and ConvertShort
//       // (below); else its blocks are emitted character by character
//       // (EmitByCodePoints) and shorter texts left to the caller
//   Vector Load(const unsigned char*);  void Store(unsigned char*, Vector);
//   Vector Zero();  Vector LoadTable(const std::uint8_t* table);  // aligned
//   Vector Shuffle(Vector table, Vector nibbles);  Vector High(Vector);  Vector Low(Vector)
//   Vector Before1/2/3(Vector v, Vector before);  // v's bytes shifted on by 1, 2, 3,
//                                                 // the last of `before` shifted in
//   Vector And(Vector, Vector), Or, Xor;  Vector AndByte(Vector, std::uint8_t)
//   Vector AtLeast(Vector, std::uint8_t);  // 0xFF where the byte is at least the value
//   bool IsZero(Vector);
//   std::uint64_t HighBits(const Vector* block);        // bit i: byte i >= 0x80
//   std::uint64_t Continuations(const Vector* block);   // bit i: byte i is 10xxxxxx
// and where kWholeBlocks
//   std::size_t Emit(const std::uint16_t* gbk_forms, const unsigned char* at,
//                    const Vector* block, const Vector* next, std::uint64_t high,
//                    std::uint64_t continuations, unsigned char* out);
// Emit writes the GBK forms of the characters that begin in the block at
// `at` (its bytes in `block`, the next block's in `next`: the characters'
// other bytes may lie up to 3 past it), all well-formed, and returns how
// many bytes; it may write up to kUtf8BlockRoom bytes, and read
// at[0 .. 2 * kUtf8BlockLength). ConvertShort converts a text shorter than
// two blocks (a line, a message) as ConvertUtf8Blocks would a longer one,
// or nothing.
template <class Ops>
struct Utf8Block {
  typename Ops::Vector v[kUtf8BlockLength / Ops::kLanes];
};

template <class Ops>
inline Utf8Block<Ops> LoadUtf8Block(const unsigned char* at) {
  Utf8Block<Ops> block;
  for (std::size_t j = 0; j < kUtf8BlockLength / Ops::kLanes; ++j)
    block.v[j] = Ops::Load(at + j * Ops::kLanes);
  return block;
}

// Whether the block holds an ill-formed sequence or ends one of `before`
// (the block before it, or zeros at the start of a text) cut short.
template <class Ops>
inline bool HasUtf8Errors(const Utf8Block<Ops>& block, const Utf8Block<Ops>& before) {
  using Vector = typename Ops::Vector;
  constexpr std::size_t kVectors = kUtf8BlockLength / Ops::kLanes;
  const Vector before_high = Ops::LoadTable(kBeforeHigh);
  const Vector before_low = Ops::LoadTable(kBeforeLow);
  const Vector this_high = Ops::LoadTable(kThisHigh);
  Vector errors = Ops::Zero();
  for (std::size_t j = 0; j < kVectors; ++j) {
    const Vector v = block.v[j];
    const Vector previous = j == 0 ? before.v[kVectors - 1] : block.v[j - 1];
    const Vector before1 = Ops::Before1(v, previous);
    const Vector special = Ops::And(Ops::And(Ops::Shuffle(before_high, Ops::High(before1)),
                                             Ops::Shuffle(before_low, Ops::Low(before1))),
                                    Ops::Shuffle(this_high, Ops::High(v)));
    // 0x80 where the byte must be the third or fourth of a character.
    const Vector must_continue =
        Ops::AndByte(Ops::Or(Ops::AtLeast(Ops::Before2(v, previous), 0xE0),
                             Ops::AtLeast(Ops::Before3(v, previous), 0xF0)),
                     kTwoContinuations);
    errors = Ops::Or(errors, Ops::Xor(special, must_continue));
  }
  return !Ops::IsZero(errors);
}

// The code point at every byte of the block at `at`, as if a character
// began there, into code_points[0 .. 64). Only those at the bytes that do
// begin characters are used: ASCII as itself, two- and three-byte
// characters decoded, and four-byte ones as a surrogate (0xD8.. in the high
// byte), whose GBK form is '?'. Written byte-wise, low and high bytes apart:
//   two bytes    110abcde 10fghijk       -> high 00000abc, low defghijk
//   three bytes  1110abcd 10efghij 10klm -> high abcdefgh, low ijklmnop
// Ops also has ShiftLeft<n> and ShiftRight<n> (of each byte), Select(mask,
// a, b) and StoreWords(low, high, std::uint16_t*) (the pairs as
// little-endian words). DecodeVector does one vector's bytes, b0, given the
// bytes one and two after each, b1 and b2, into code_points[0 .. kLanes).
template <class Ops>
inline void DecodeVector(typename Ops::Vector b0, typename Ops::Vector b1,
                         typename Ops::Vector b2, std::uint16_t* code_points) {
  using Vector = typename Ops::Vector;
  const Vector two = Ops::AtLeast(b0, 0xC0), three = Ops::AtLeast(b0, 0xE0),
               four = Ops::AtLeast(b0, 0xF0);
  // The bytes that give the low byte of the code point: the last two.
  const Vector x = Ops::Select(three, b1, b0), y = Ops::Select(three, b2, b1);
  const Vector low = Ops::Select(
      two, Ops::Or(Ops::template ShiftLeft<6>(x), Ops::AndByte(y, 0x3F)), b0);
  const Vector high_of_three = Ops::template ShiftLeft<4>(Ops::And(b0, three));
  const Vector high = Ops::Or(
      Ops::And(two, Ops::Or(high_of_three,
                            Ops::AndByte(Ops::template ShiftRight<2>(x), 0x0F))),
      Ops::AndByte(four, 0xD8));
  Ops::StoreWords(low, high, code_points);
}

template <class Ops>
inline void DecodeCodePoints(const unsigned char* at, std::uint16_t* code_points) {
  for (std::size_t j = 0; j < kUtf8BlockLength; j += Ops::kLanes)
    DecodeVector<Ops>(Ops::Load(at + j), Ops::Load(at + j + 1), Ops::Load(at + j + 2),
                      code_points + j);
}

// Writes the GBK forms of the characters beginning at the set bits of
// `firsts`, whose code points are code_points[bit], to `out`; returns how
// many bytes. Each form is stored whole (two bytes), and `out` moves on by
// its length, so a one-byte form's zero is overwritten by the next.
inline std::size_t EmitEachCharacter(const std::uint16_t* gbk_forms,
                                     const std::uint16_t* code_points,
                                     std::uint64_t firsts, unsigned char* out) {
  unsigned char* at = out;
  for (; firsts != 0; firsts &= firsts - 1) {
    const std::uint32_t form =
        gbk_forms[code_points[static_cast<unsigned>(__builtin_ctzll(firsts))]];
    std::memcpy(at, &form, 2);  // little-endian: the second byte is the high one
    at += (form + 0x1FF00u) >> 16;  // 1, or 2 for a two-byte form
  }
  return static_cast<std::size_t>(at - out);
}

// A block emitted character by character: where Ops has no Emit.
template <class Ops>
inline std::size_t EmitByCodePoints(const std::uint16_t* gbk_forms, const unsigned char* at,
                                    std::uint64_t continuations, unsigned char* out) {
  alignas(64) std::uint16_t code_points[kUtf8BlockLength];
  DecodeCodePoints<Ops>(at, code_points);
  return EmitEachCharacter(gbk_forms, code_points, ~continuations, out);
}

// The block conversion (Utf8Kernels.h). Blocks lie at fixed offsets, so
// that where one begins never waits on the one before (a loop whose next
// load depends on the last block's contents ran at a third of the speed);
// a character belongs to the block its first byte is in. A block is
// converted once the block after it has passed the check too, since a
// character may end there, and the check of that block takes the last bytes
// of this one as its context.
template <class Ops>
Utf8Blocks ConvertUtf8Blocks(const std::uint16_t* gbk_forms, const unsigned char* in,
                             std::size_t length, unsigned char* out,
                             std::size_t capacity) noexcept {
  constexpr std::size_t kBlock = kUtf8BlockLength;
  if (length < 2 * kBlock) {
    if constexpr (Ops::kWholeBlocks) return Ops::ConvertShort(gbk_forms, in, length, out, capacity);
    return {0, 0};
  }
  if (capacity < kUtf8BlockRoom) return {0, 0};
  Utf8Block<Ops> zeros;
  for (auto& v : zeros.v) v = Ops::Zero();
  Utf8Block<Ops> current = LoadUtf8Block<Ops>(in);
  std::uint64_t high = Ops::HighBits(current.v);
  if (high != 0 && HasUtf8Errors<Ops>(current, zeros)) return {0, 0};
  std::size_t i = 0, o = 0;
  while (length - i >= 2 * kBlock && capacity - o >= kUtf8BlockRoom) {
    const Utf8Block<Ops> next = LoadUtf8Block<Ops>(in + i + kBlock);
    const std::uint64_t next_high = Ops::HighBits(next.v);
    // ASCII after ASCII needs no check.
    if ((high | next_high) != 0 && HasUtf8Errors<Ops>(next, current)) break;
    if (high == 0) {
      for (std::size_t j = 0; j < kBlock / Ops::kLanes; ++j)
        Ops::Store(out + o + j * Ops::kLanes, current.v[j]);
      o += kBlock;
    } else {
      const std::uint64_t continuations = Ops::Continuations(current.v);
      if constexpr (Ops::kWholeBlocks) {
        o += Ops::Emit(gbk_forms, in + i, current.v, next.v, high, continuations, out + o);
      } else {
        o += EmitByCodePoints<Ops>(gbk_forms, in + i, continuations, out + o);
      }
    }
    i += kBlock;
    current = next;
    high = next_high;
  }
  // The block not converted begins with the last bytes of a character that
  // was (none, where the loop stopped at once: `in` begins a character).
  const std::uint64_t firsts = ~Ops::Continuations(current.v);
  return {i + (firsts != 0 ? static_cast<std::size_t>(__builtin_ctzll(firsts)) : 0), o};
}

}  // namespace

// The entry point of a kernel Name's UTF-8 conversion, Utf8ToGbk<Name>
// (Utf8Kernels.h), over its operations Ops.
#define TAVRIN_UTF8_KERNEL(Name, Ops)                                             \
  Utf8Blocks Utf8ToGbk##Name(const std::uint16_t* gbk_forms,                      \
                             const unsigned char* in, std::size_t length,         \
                             unsigned char* out, std::size_t capacity) noexcept { \
    return ConvertUtf8Blocks<Ops>(gbk_forms, in, length, out, capacity);          \
  }

}  // namespace Scan
}  // namespace Tavrin

#endif  // TAVRIN_MATCHING_KERNELS_UTF8BLOCKS_H_
