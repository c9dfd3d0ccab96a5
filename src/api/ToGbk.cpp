#include "api/ToGbk.h"

#include <iconv.h>

#include <atomic>
#include <cstdint>
#include <cstring>

#include "matching/LibrarySetup.h"
#include "matching/Scanner.h"
#include "matching/ThreadYield.h"
#include "matching/kernels/Utf8Kernels.h"

// Design: each table entry is what one character becomes in GBK, read from
// iconv once, one character per call (so that a character iconv refuses
// cannot hide its neighbours' answers): its first GBK byte, plus its second
// times 256 (none for a single byte; '?' where GBK has none), or 0 for a
// sequence that is not well-formed (GB18030 only; no GB18030 sequence but
// the byte 00 is U+0000). The UTF-8 table is indexed by code point, and is
// also the one the block conversions read (kernels/Utf8Kernels.h); the
// GB18030 tables by the code of a two-byte sequence, and by the linear
// number of a four-byte one in the Basic Multilingual Plane. Building them
// all takes about 6 ms and 250 KiB of static storage, touched only when used.
namespace Tavrin {
namespace {

constexpr std::uint16_t kIllFormed = 0;

// GB18030: two-byte sequences are 81..FE then 40..7E or 80..FE; four-byte
// ones are 81..FE 30..39 81..FE 30..39, numbered linearly from 81 30 81 30.
constexpr unsigned kTwoByteTrails = 190;
constexpr unsigned kTwoByteCodes = 126 * kTwoByteTrails;
// The four-byte sequences of the Basic Multilingual Plane, 81 30 81 30 to
// 84 31 A4 39, and where the supplementary planes begin (90 30 81 30).
constexpr std::uint32_t kFourByteBmpCodes = 39420;
constexpr std::uint32_t kFourByteSupplementaryStart = 189000;

struct Tables {
  // By code point; every surrogate, and the padding past U+FFFF, '?'.
  alignas(64) std::uint16_t from_unicode[Scan::kGbkFormCount];
  std::uint16_t gb18030_two[kTwoByteCodes];
  std::uint16_t gb18030_four[kFourByteBmpCodes];
};
Tables tables;

// The block conversion that goes with the selected kernel, or nullptr:
// written once, with the tables, and published by the same release store.
Scan::Utf8Kernel utf8_kernel = nullptr;

enum State : int { kEmpty, kBuilding, kReady, kUnavailable };
std::atomic<int> utf8_state{kEmpty};
std::atomic<int> gb18030_state{kEmpty};

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
constexpr bool kLittleEndian = false;
#else
constexpr bool kLittleEndian = true;
#endif

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

// The table entry of GBK bytes first, second (0 for none).
constexpr std::uint16_t GbkForm(unsigned first, unsigned second = 0) noexcept {
  return static_cast<std::uint16_t>(first | second << 8);
}

constexpr std::uint16_t kNoGbkForm = GbkForm('?');

// The number of GBK bytes of a table entry (not kIllFormed).
constexpr std::size_t GbkLength(std::uint16_t form) noexcept {
  return form > 0xFF ? 2 : 1;
}

// Appends the bytes of a table entry (not kIllFormed) to out[o ..).
void PutGbk(std::uint16_t form, unsigned char* out, std::size_t& o) noexcept {
  out[o++] = static_cast<unsigned char>(form);
  if (form > 0xFF) out[o++] = static_cast<unsigned char>(form >> 8);
}

// Converts one character with `cd` (reset first) into `out`; the number of
// bytes written, or 0 when iconv refuses it.
std::size_t ConvertOne(iconv_t cd, const unsigned char* in, std::size_t length,
                       unsigned char* out, std::size_t capacity) noexcept {
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char* in_at = reinterpret_cast<char*>(const_cast<unsigned char*>(in));
  char* out_at = reinterpret_cast<char*>(out);
  std::size_t in_left = length, out_left = capacity;
  if (iconv(cd, &in_at, &in_left, &out_at, &out_left) == static_cast<std::size_t>(-1) ||
      in_left != 0)
    return 0;
  return capacity - out_left;
}

void PutUtf32(std::uint32_t code_point, unsigned char* bytes) noexcept {
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<unsigned char>(code_point >> (8 * i));
}

std::uint32_t GetUtf32(const unsigned char* bytes) noexcept {
  return std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 |
         std::uint32_t{bytes[2]} << 16 | std::uint32_t{bytes[3]} << 24;
}

bool BuildFromUnicode() noexcept {
  const iconv_t cd = iconv_open("GBK", "UTF-32LE");
  if (cd == kNoConverter) return false;
  for (std::uint32_t cp = 0; cp < Scan::kGbkFormCount; ++cp) {
    std::uint16_t value = kNoGbkForm;
    if (cp < 0x80) {
      value = GbkForm(cp);
    } else if (cp < 0x10000 && (cp < 0xD800 || cp > 0xDFFF)) {
      unsigned char in[4], out[8];
      PutUtf32(cp, in);
      const std::size_t n = ConvertOne(cd, in, 4, out, sizeof out);
      if (n == 1) value = GbkForm(out[0]);
      if (n == 2) value = GbkForm(out[0], out[1]);
    }
    tables.from_unicode[cp] = value;
  }
  iconv_close(cd);
  // The block conversion follows the scanner's kernel, which the library's
  // setup picks (TAVRIN_FORCE_KERNEL included).
  EnsureWordList();
  utf8_kernel = Scan::Utf8KernelFunction(Utf8KernelFor(SelectedScanKernel()));
  return true;
}

// What a character GB18030 decodes to becomes in GBK.
std::uint16_t GbkOfCharacter(std::uint32_t cp) noexcept {
  return cp < 0x10000 ? tables.from_unicode[cp] : kNoGbkForm;
}

bool BuildGb18030() noexcept {
  const iconv_t cd = iconv_open("UTF-32LE", "GB18030");
  if (cd == kNoConverter) return false;
  unsigned char out[8];
  for (unsigned code = 0; code < kTwoByteCodes; ++code) {
    const unsigned trail = code % kTwoByteTrails;
    const unsigned char in[2] = {
        static_cast<unsigned char>(0x81 + code / kTwoByteTrails),
        static_cast<unsigned char>(trail < 0x3F ? 0x40 + trail : 0x41 + trail)};
    tables.gb18030_two[code] = ConvertOne(cd, in, 2, out, sizeof out) == 4
                                   ? GbkOfCharacter(GetUtf32(out))
                                   : kIllFormed;
  }
  for (std::uint32_t linear = 0; linear < kFourByteBmpCodes; ++linear) {
    const unsigned char in[4] = {
        static_cast<unsigned char>(0x81 + linear / 12600),
        static_cast<unsigned char>(0x30 + linear / 1260 % 10),
        static_cast<unsigned char>(0x81 + linear / 10 % 126),
        static_cast<unsigned char>(0x30 + linear % 10)};
    tables.gb18030_four[linear] = ConvertOne(cd, in, 4, out, sizeof out) == 4
                                      ? GbkOfCharacter(GetUtf32(out))
                                      : kIllFormed;
  }
  iconv_close(cd);
  return true;
}

bool Prepare(std::atomic<int>& state, bool (*build)()) noexcept {
  for (;;) {
    int now = state.load(std::memory_order_acquire);
    if (now == kReady) return true;
    if (now == kUnavailable) return false;
    if (now == kEmpty &&
        state.compare_exchange_strong(now, kBuilding, std::memory_order_acquire)) {
      const bool built = build();
      state.store(built ? kReady : kUnavailable, std::memory_order_release);
      return built;
    }
    YieldThread();  // another thread is building: a few milliseconds
  }
}

// The index of the first byte (in memory order) whose bit 7 is set in
// `high`, a word of such bits, not zero.
std::size_t FirstHighByte(std::uint64_t high) noexcept {
  if (!kLittleEndian) {
    std::size_t n = 0;
    while (((high >> (56 - 8 * n)) & 0x80u) == 0) ++n;
    return n;
  }
#if defined(__GNUC__)
  return static_cast<std::size_t>(__builtin_ctzll(high)) / 8;
#else
  std::size_t n = 0;
  while (((high >> (8 * n)) & 0x80u) == 0) ++n;
  return n;
#endif
}

// One decoded character: its input length (0: ill-formed) and table entry.
struct Character {
  std::size_t length;
  std::uint16_t gbk;
};

// The well-formed UTF-8 sequence at in[i], whose lead byte is not ASCII:
// its length (0 when ill-formed) and code point. The checks are RFC 3629's:
// no overlong forms, no surrogates, nothing above U+10FFFF.
struct Utf8Sequence {
  std::size_t length;
  std::uint32_t code_point;
};

Utf8Sequence DecodeUtf8Sequence(const unsigned char* in, std::size_t length,
                                std::size_t i) noexcept {
  const unsigned lead = in[i];
  const std::size_t left = length - i;
  const auto continuation = [&](std::size_t k) {
    return (in[i + k] & 0xC0u) == 0x80u;
  };
  if (lead >= 0xE0 && lead < 0xF0) {  // most CJK: three bytes
    if (left < 3 || !continuation(1) || !continuation(2)) return {0, 0};
    const unsigned cp = (lead & 0x0Fu) << 12 | (in[i + 1] & 0x3Fu) << 6 | (in[i + 2] & 0x3Fu);
    if (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF)) return {0, 0};
    return {3, cp};
  }
  if (lead >= 0xC2 && lead < 0xE0) {
    if (left < 2 || !continuation(1)) return {0, 0};
    return {2, (lead & 0x1Fu) << 6 | (in[i + 1] & 0x3Fu)};
  }
  if (lead >= 0xF0 && lead <= 0xF4) {
    if (left < 4 || !continuation(1) || !continuation(2) || !continuation(3))
      return {0, 0};
    const unsigned cp = (lead & 0x07u) << 18 | (in[i + 1] & 0x3Fu) << 12 |
                        (in[i + 2] & 0x3Fu) << 6 | (in[i + 3] & 0x3Fu);
    if (cp < 0x10000 || cp > 0x10FFFF) return {0, 0};
    return {4, cp};
  }
  return {0, 0};
}

// The character at in[i], whose lead byte is not ASCII.
Character DecodeUtf8(const unsigned char* in, std::size_t length,
                     std::size_t i) noexcept {
  const Utf8Sequence sequence = DecodeUtf8Sequence(in, length, i);
  if (sequence.length == 0) return {0, kIllFormed};
  // Beyond the Basic Multilingual Plane, GBK has nothing.
  return {sequence.length, sequence.code_point < 0x10000
                               ? tables.from_unicode[sequence.code_point]
                               : kNoGbkForm};
}

Character DecodeGb18030(const unsigned char* in, std::size_t length,
                        std::size_t i) noexcept {
  const unsigned b1 = in[i];
  if (b1 < 0x80) return {1, GbkForm(b1)};
  if (b1 == 0x80 || b1 == 0xFF || length - i < 2) return {0, kIllFormed};
  const unsigned b2 = in[i + 1];
  if ((b2 >= 0x40 && b2 <= 0x7E) || (b2 >= 0x80 && b2 <= 0xFE)) {
    const unsigned code = (b1 - 0x81) * kTwoByteTrails + b2 - (b2 < 0x80 ? 0x40 : 0x41);
    const std::uint16_t gbk = tables.gb18030_two[code];
    return {gbk == kIllFormed ? 0u : 2u, gbk};
  }
  if (b2 < 0x30 || b2 > 0x39 || length - i < 4) return {0, kIllFormed};
  const unsigned b3 = in[i + 2], b4 = in[i + 3];
  if (b3 < 0x81 || b3 > 0xFE || b4 < 0x30 || b4 > 0x39) return {0, kIllFormed};
  const std::uint32_t linear =
      (((b1 - 0x81) * 10 + (b2 - 0x30)) * 126 + (b3 - 0x81)) * 10 + (b4 - 0x30);
  if (linear < kFourByteBmpCodes) {
    const std::uint16_t gbk = tables.gb18030_four[linear];
    return {gbk == kIllFormed ? 0u : 4u, gbk};
  }
  // The supplementary planes: U+10000 .. U+10FFFF, none of them in GBK.
  if (linear >= kFourByteSupplementaryStart &&
      linear - kFourByteSupplementaryStart <= 0xFFFFF)
    return {4, kNoGbkForm};
  return {0, kIllFormed};
}

// The characters of in[i ..) that begin before `stop` (at most in_length;
// the last may end past it), converted character by character into
// out[o ..): until then, to the first ill-formed sequence, or until `out`
// has no room for the next character.
ToGbkStep ConvertCharacters(InputEncoding encoding, const unsigned char* in,
                            std::size_t in_length, std::size_t stop, unsigned char* out,
                            std::size_t out_capacity, std::size_t i,
                            std::size_t o) noexcept {
  if (encoding == InputEncoding::kUtf8 && kLittleEndian) {
    // Far from both ends, the common characters without bounds checks:
    // ASCII a word at a time, and three-byte characters (most of Chinese)
    // tested and decoded from one four-byte load. Others, and the ends,
    // take the general loop below.
    while (i + 16 <= stop && out_capacity - o >= 16) {
      std::uint64_t word;
      std::memcpy(&word, in + i, 8);
      std::memcpy(out + o, &word, 8);
      const std::uint64_t high = word & 0x8080808080808080u;
      if (high == 0) {
        i += 8;
        o += 8;
        continue;
      }
      const std::size_t ascii = FirstHighByte(high);
      i += ascii;
      o += ascii;
      std::uint32_t c;
      std::memcpy(&c, in + i, 4);
      if ((c & 0xC0C0F0u) != 0x8080E0u) {  // not 1110xxxx 10xxxxxx 10xxxxxx
        const Character general = DecodeUtf8(in, in_length, i);
        if (general.length == 0) return {i, o, true};
        PutGbk(general.gbk, out, o);
        i += general.length;
        continue;
      }
      const unsigned cp = (c & 0x0Fu) << 12 | (c & 0x3F00u) >> 2 | (c & 0x3F0000u) >> 16;
      if (cp < 0x800 || cp - 0xD800u < 0x800u) return {i, o, true};
      PutGbk(tables.from_unicode[cp], out, o);
      i += 3;
    }
  }
  for (;;) {
    // ASCII, eight bytes at a time while both sides have room: each word is
    // stored whole, and its bytes count up to its first non-ASCII one.
    while (i + 8 <= stop && out_capacity - o >= 8) {
      std::uint64_t word;
      std::memcpy(&word, in + i, 8);
      std::memcpy(out + o, &word, 8);
      const std::uint64_t high = word & 0x8080808080808080u;
      if (high != 0) {
        const std::size_t ascii = FirstHighByte(high);
        i += ascii;
        o += ascii;
        break;
      }
      i += 8;
      o += 8;
    }
    if (i >= stop) break;
    const unsigned lead = in[i];
    if (lead < 0x80) {
      if (o == out_capacity) break;
      out[o++] = static_cast<unsigned char>(lead);
      ++i;
      continue;
    }
    const Character c = encoding == InputEncoding::kUtf8
                            ? DecodeUtf8(in, in_length, i)
                            : DecodeGb18030(in, in_length, i);
    if (c.length == 0) return {i, o, true};
    if (out_capacity - o < GbkLength(c.gbk)) break;
    PutGbk(c.gbk, out, o);
    i += c.length;
  }
  return {i, o, false};
}

// Bytes converted character by character after a block conversion stops,
// before it is asked again: past the block it could not vouch for and the
// one after, which held or ended what stopped it.
constexpr std::size_t kCharacterStretch = 2 * 64;

// TranscodeToGbk, with `kernel` (nullptr: none) taking the blocks it can.
ToGbkStep Transcode(Scan::Utf8Kernel kernel, InputEncoding encoding,
                    const unsigned char* in, std::size_t in_length, unsigned char* out,
                    std::size_t out_capacity) noexcept {
  std::size_t i = 0, o = 0;
  for (;;) {
    std::size_t stop = in_length;
    if (kernel != nullptr) {
      const Scan::Utf8Blocks blocks = kernel(tables.from_unicode, in + i, in_length - i,
                                             out + o, out_capacity - o);
      i += blocks.read;
      o += blocks.written;
      if (in_length - i > kCharacterStretch) stop = i + kCharacterStretch;
    }
    const ToGbkStep step =
        ConvertCharacters(encoding, in, in_length, stop, out, out_capacity, i, o);
    // Done, ill-formed, or out of room; else blocks again.
    if (step.ill_formed || step.read < stop || stop == in_length) return step;
    i = step.read;
    o = step.written;
  }
}

}  // namespace

std::size_t AsciiPrefixLength(const char* text, std::size_t length) noexcept {
  std::size_t n = 0;
  for (; n + 8 <= length; n += 8) {
    std::uint64_t word;
    std::memcpy(&word, text + n, 8);
    if (word & 0x8080808080808080u) break;
  }
  while (n < length && static_cast<unsigned char>(text[n]) < 0x80) ++n;
  return n;
}

std::size_t FindInvalidUtf8(std::string_view text) noexcept {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  std::size_t i = 0;
  while (i < text.size()) {
    i += AsciiPrefixLength(text.data() + i, text.size() - i);
    if (i == text.size()) break;
    const std::size_t size = DecodeUtf8Sequence(bytes, text.size(), i).length;
    if (size == 0) return i;
    i += size;
  }
  return std::string_view::npos;
}

bool PrepareToGbk(InputEncoding encoding) noexcept {
  if (!Prepare(utf8_state, BuildFromUnicode)) return false;
  return encoding == InputEncoding::kUtf8 || Prepare(gb18030_state, BuildGb18030);
}

ToGbkStep TranscodeToGbk(InputEncoding encoding, const char* in,
                         std::size_t in_length, char* out,
                         std::size_t out_capacity) noexcept {
  return Transcode(encoding == InputEncoding::kUtf8 ? utf8_kernel : nullptr, encoding,
                   reinterpret_cast<const unsigned char*>(in), in_length,
                   reinterpret_cast<unsigned char*>(out), out_capacity);
}

ToGbkStep TranscodeUtf8ToGbkUsing(ScanKernel kernel, const char* in,
                                  std::size_t in_length, char* out,
                                  std::size_t out_capacity) noexcept {
  return Transcode(Scan::Utf8KernelFunction(Utf8KernelFor(kernel)), InputEncoding::kUtf8,
                   reinterpret_cast<const unsigned char*>(in), in_length,
                   reinterpret_cast<unsigned char*>(out), out_capacity);
}

bool ConvertToGbk(InputEncoding encoding, std::string_view text,
                  std::string& gbk, std::size_t* bad_offset) {
  gbk.resize(text.size());
  const ToGbkStep step =
      TranscodeToGbk(encoding, text.data(), text.size(), &gbk[0], gbk.size());
  gbk.resize(step.written);
  if (step.ill_formed) *bad_offset = step.read;
  return !step.ill_formed;
}

}  // namespace Tavrin
