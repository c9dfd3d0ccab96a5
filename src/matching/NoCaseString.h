// NoCaseString: an owned byte string whose byte equality ignores ASCII case,
// with the substring search that decides every verdict of the library.
#ifndef TAVRIN_MATCHING_NOCASESTRING_H_
#define TAVRIN_MATCHING_NOCASESTRING_H_

#include <cstddef>
#include <string>

namespace Tavrin {

// Character traits of plain bytes whose equality ignores ASCII case; every
// other trait is std::char_traits<char>'s. Only eq is used to compare
// (NoCaseString::find below), so it alone is redefined; the string's own
// std::basic_string members that compare otherwise are never called.
struct NoCaseTraits : std::char_traits<char> {
  static bool eq(char a, char b) noexcept;
};

// A byte string that holds any bytes but zero, keeps a terminating zero after
// its last byte, and knows nothing of encodings: a GBK character is two
// independent bytes to it.
class NoCaseString {
 public:
  using size_type = std::size_t;
  static constexpr size_type npos = static_cast<size_type>(-1);

  // Copies the bytes of `text` before its first zero. `text` must not be
  // null. Throws std::bad_alloc when storage cannot be had.
  explicit NoCaseString(const char* text);

  size_type size() const noexcept { return bytes_.size(); }
  bool empty() const noexcept { return bytes_.empty(); }
  const char* data() const noexcept { return bytes_.data(); }
  const char* c_str() const noexcept { return bytes_.c_str(); }

  // The offset of the first occurrence of `word`, bytes compared with
  // NoCaseTraits::eq, searching from offset 0; npos when there is none.
  // A word longer than this string is never found, nothing is found in the
  // empty string (not even the empty word), and the empty word is found at 0
  // in any other string.
  size_type find(const NoCaseString& word) const noexcept;

 private:
  std::basic_string<char, NoCaseTraits> bytes_;
};

}  // namespace Tavrin

#endif  // TAVRIN_MATCHING_NOCASESTRING_H_
