// The one conversion of UTF-8 text to the GBK bytes the library screens,
// shared by the C interface (tavrin_is_valid_utf8, tavrin_find_utf8) and the
// tavrin tool's --encoding utf-8, so that every language that reaches the
// library, and the tool, screens a UTF-8 text as the same bytes.
//
// It needs the C library's iconv with a GBK converter; the Windows module,
// built without iconv, leaves it out.
#ifndef TAVRIN_API_UTF8TOGBK_H_
#define TAVRIN_API_UTF8TOGBK_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace Tavrin {

// The offset of the first byte that does not begin a well-formed UTF-8
// sequence (RFC 3629: no overlong forms, no surrogates, nothing above
// U+10FFFF), or npos when all of `text` is well-formed. Zero bytes are
// well-formed (U+0000).
std::size_t FindInvalidUtf8(std::string_view text) noexcept;

// Converts well-formed UTF-8 to GBK. A character that GBK cannot represent
// (an emoji, say) becomes '?', a byte that no banned row holds. Each object
// owns one iconv descriptor, which serves one thread at a time.
class Utf8ToGbk {
 public:
  Utf8ToGbk() noexcept;
  ~Utf8ToGbk();
  Utf8ToGbk(const Utf8ToGbk&) = delete;
  Utf8ToGbk& operator=(const Utf8ToGbk&) = delete;

  // False when this C library offers no UTF-8 to GBK conversion (or could
  // not open one); Convert must not be called then.
  bool ok() const noexcept;

  // Replaces `gbk` with the conversion of `utf8`. Returns false, with
  // *bad_offset set to FindInvalidUtf8(utf8), when `utf8` is not well-formed.
  // Throws std::bad_alloc when `gbk` cannot grow.
  bool Convert(std::string_view utf8, std::string& gbk,
               std::size_t* bad_offset);

 private:
  void* cd_;  // iconv_t
};

}  // namespace Tavrin

#endif  // TAVRIN_API_UTF8TOGBK_H_
