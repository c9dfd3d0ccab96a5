/* Tavrin's C interface: the same screening as Tavrin.h, for C and for every
 * language that reaches native code through C (Python's ctypes or cffi, Go's
 * cgo, C#'s P/Invoke, Java's JNA or Panama, node's FFI).
 *
 * A text is banned when any row of the built-in list of 54 banned words
 * occurs anywhere in it as a run of bytes, with the ASCII letters A-Z and a-z
 * compared without regard to case (and no other bytes folded, whatever the
 * locale). Texts are ASCII or GBK (code page 936) bytes and are never
 * decoded, except by the _utf8 functions, which convert UTF-8 to GBK first:
 * each character becomes the bytes the C library's own GBK converter gives
 * it, read once into tables by the first _utf8 call (a few milliseconds),
 * and a character GBK lacks (an emoji, say) is screened as '?'.
 *
 * Unlike the C++ functions, these take a text as a pointer and a length:
 * text[0 .. length) is screened, and a zero byte in it is an ordinary byte
 * (no row holds one, so a zero byte only ever separates). `text` may be NULL
 * when `length` is 0. Nothing outside text[0 .. length) is read.
 *
 * Every function may be called from any number of threads at once, at any
 * time while the library is loaded; the first call of any function builds
 * the word list. None keeps a pointer it was given or writes outside the
 * buffers it was given, and no C++ exception leaves the library. Once the
 * first call has returned, no call allocates memory or takes a lock, except
 * tavrin_find_utf8, which allocates for the GBK form of its text.
 *
 * They fail closed: when a text cannot be screened (NULL with a nonzero
 * length, or for the _utf8 calls no UTF-8 to GBK converter in the C library,
 * or for tavrin_find_utf8 no memory for the conversion), the answer is never
 * "clean". Each function says below what it returns then.
 *
 * These functions are in libtavrin.so.1, beside the two C++ functions.
 * Tavrin.dll, for Windows hosts, exports only the two C++ functions.
 *
 * Stack: a call needs about 4 KiB of the caller's stack; the first _utf8
 * call about 5 KiB, and tavrin_screen_lines_utf8 about 8 KiB (it converts
 * lines into a buffer on the stack). A thread with a 16 KiB stack, the least
 * glibc allows, can make any call.
 *
 * This header is plain C89 and compiles as C++ too.
 */
#ifndef TAVRIN_C_H_
#define TAVRIN_C_H_

#include <stddef.h>

#if defined(__GNUC__) && !defined(_WIN32)
#  define TAVRIN_C_API __attribute__((visibility("default")))
#else
#  define TAVRIN_C_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Returns 1 when no row occurs in text[0 .. length), 0 when one does or when
 * the text cannot be screened. */
TAVRIN_C_API int tavrin_is_valid(const char* text, size_t length);

/* The same for UTF-8 input: text[0 .. length) is converted to GBK exactly as
 * `tavrin check --encoding utf-8` converts a line, and the GBK bytes are
 * screened. Returns 1 when clean, 0 when banned or when it cannot be
 * screened, and -1 when the text is not well-formed UTF-8 (RFC 3629: no
 * overlong forms, no surrogates, nothing above U+10FFFF), wherever a row
 * occurs. */
TAVRIN_C_API int tavrin_is_valid_utf8(const char* text, size_t length);

/* One row found in a text. */
typedef struct tavrin_match {
  unsigned row;  /* 1 to 54, as numbered in the table (see tavrin_row) */
  size_t offset; /* the byte offset of the row's first occurrence */
} tavrin_match;

/* What tavrin_find and tavrin_find_utf8 return when they cannot screen the
 * text. Treat the text as banned. */
#define TAVRIN_FIND_FAILED ((size_t)-1)

/* Finds every row that occurs in text[0 .. length), in row order, each with
 * the offset of its first occurrence. Writes the first `capacity` of them to
 * matches[0 .. capacity) and returns how many rows occur, which may be more
 * than `capacity` (at most 54: rows 4 and 11 are the same word, and are both
 * reported). 0 means the text is clean. `matches` may be NULL when
 * `capacity` is 0. Returns TAVRIN_FIND_FAILED, writing nothing, when the text
 * cannot be screened.
 *
 * It answers exactly as tavrin_is_valid: a text is clean when it returns 0. */
TAVRIN_C_API size_t tavrin_find(const char* text, size_t length,
                                tavrin_match* matches, size_t capacity);

/* tavrin_find for UTF-8 input, converted as tavrin_is_valid_utf8 converts
 * it. The offsets count the GBK bytes screened, as `tavrin explain
 * --encoding utf-8` counts them. Returns TAVRIN_FIND_FAILED, writing
 * nothing, when the text is not well-formed UTF-8 or cannot be screened. */
TAVRIN_C_API size_t tavrin_find_utf8(const char* text, size_t length,
                                     tavrin_match* matches, size_t capacity);

/* Screens `count` texts in one call, texts[i][0 .. lengths[i]) for each i,
 * and sets results[i] to what tavrin_is_valid would return for that text:
 * 1 clean, 0 banned or not screened. Meant for bindings, so that a batch of
 * lines crosses the language boundary once. `texts` and `lengths` may be
 * NULL when `count` is 0; when either is NULL otherwise, every result is 0.
 * Nothing is written when `results` is NULL. */
TAVRIN_C_API void tavrin_is_valid_many(const char* const* texts,
                                       const size_t* lengths, size_t count,
                                       unsigned char* results);

/* The verdict of one line, in the array tavrin_screen_lines fills. */
#define TAVRIN_CLEAN 0   /* no row occurs in the line */
#define TAVRIN_BANNED 1  /* some row occurs in it */
#define TAVRIN_INVALID 2 /* tavrin_screen_lines_utf8 only: not UTF-8 */

/* Screens every line of data[0 .. length) in one call: ASCII or GBK bytes,
 * as tavrin_is_valid screens them. It writes one verdict per line, in order,
 * to verdicts[0 .. n), TAVRIN_CLEAN or TAVRIN_BANNED, and returns n, the
 * number of lines screened: all of them, or `capacity` when there are more.
 * *consumed (unless `consumed` is NULL) is then the number of bytes those n
 * lines take, their newlines included, so that a call on data + *consumed
 * goes on with the next line.
 *
 * A line ends at a newline ('\n'), which is not part of it; the last line
 * may have none. A buffer that ends with a newline has no empty line after
 * it, and an empty buffer has no lines. Carriage returns and zero bytes are
 * ordinary bytes: no row holds '\n', '\r' or a zero byte, so a line's verdict
 * is tavrin_is_valid of the line, with or without its '\r', and no row
 * occurs across two lines.
 *
 * The whole buffer is scanned at the scanner's speed, and lines are looked
 * at only where a row may occur. It reads nothing outside data[0 .. length)
 * and allocates nothing. With `capacity` 0 it returns 0 and consumes 0
 * bytes. When `data` is NULL with a nonzero length, or `verdicts` is NULL
 * with a nonzero capacity, it screens nothing: it returns 0 and consumes 0
 * bytes (a non-empty buffer always has at least one line). */
TAVRIN_C_API size_t tavrin_screen_lines(const char* data, size_t length,
                                        unsigned char* verdicts,
                                        size_t capacity, size_t* consumed);

/* tavrin_screen_lines for UTF-8 input: each line is converted to GBK as
 * tavrin_is_valid_utf8 converts a text, and a line that is not well-formed
 * UTF-8 is TAVRIN_INVALID (never clean, whatever else it holds). A chunk
 * that is all ASCII is screened where it lies. When the C library has no
 * UTF-8 to GBK converter it screens nothing: it returns 0 and consumes 0
 * bytes, as for NULL arguments. So a call on a non-empty buffer with a
 * nonzero capacity returns 0 only when the buffer cannot be screened. */
TAVRIN_C_API size_t tavrin_screen_lines_utf8(const char* data, size_t length,
                                             unsigned char* verdicts,
                                             size_t capacity,
                                             size_t* consumed);

/* How to read an input. A reader of files and streams (the tavrin tool,
 * the Python package's archive example) asks once, before it screens a
 * line, how an input is to be read: as bytes in the encoding it was given or
 * chose, or as UTF-16. Every reader makes the same decision through this
 * call, and it fails closed: a UTF-16 byte-order mark, two bytes anyone can
 * type at the start of a chat line, never makes banned lines pass. It is
 * obeyed only before UTF-16 text and only when no encoding was named; bytes
 * that merely begin with a mark are screened as bytes, and the mark is
 * reported.
 *
 * The rules, for head[0 .. length), the first bytes of the input:
 *  - head begins with FF FE (UTF-16 LE) or FE FF (UTF-16 BE). What follows
 *    the mark is UTF-16 text when tavrin_utf16_is_text says so of it, or
 *    when it is empty and head is the whole input (a mark alone is an empty
 *    UTF-16 file). Then the form is TAVRIN_INPUT_UTF16LE or _UTF16BE, or
 *    TAVRIN_INPUT_MARK_CONTRADICTED when an encoding was named; otherwise
 *    TAVRIN_INPUT_FALSE_MARK, whatever was named.
 *  - Any other head is UTF-16 without a mark when at least half of its byte
 *    pairs (from offset 0) hold a zero byte beside a nonzero one, on the
 *    same side, and at least 8 pairs do, or all of at least 2 pairs (so
 *    "sex\0\n" is bytes, "s\0e\0x\0" is not): TAVRIN_INPUT_UTF16LE_UNMARKED
 *    when the zero bytes come second, as in ASCII in UTF-16 LE, else
 *    TAVRIN_INPUT_UTF16BE_UNMARKED. Otherwise TAVRIN_INPUT_BYTES.
 *
 * A reader that reads UTF-16 then asks tavrin_utf16_is_text of every later
 * window of TAVRIN_INPUT_SAMPLE bytes of the input, those at offsets k *
 * TAVRIN_INPUT_SAMPLE for k >= 1 that the input fills, so that a forged
 * first line cannot carry the rest of the input: an input that stops being
 * UTF-16 text is reported. */

/* The bytes of an input the decision looks at: give tavrin_input_form the
 * first TAVRIN_INPUT_SAMPLE bytes, or all of the input when it is shorter,
 * or what a stream has sent so far (the decision is then made on less). */
#define TAVRIN_INPUT_SAMPLE 4096

/* The flags of tavrin_input_form. */
#define TAVRIN_INPUT_ENCODING_NAMED 1u /* the user named the encoding (tavrin
                                          -e), as opposed to a default */
#define TAVRIN_INPUT_WHOLE 2u          /* head holds the whole input */

/* The forms tavrin_input_form returns. */
#define TAVRIN_INPUT_BYTES 0   /* screen the bytes in the encoding chosen */
#define TAVRIN_INPUT_UTF16LE 1 /* UTF-16 LE text after the mark FF FE: read
                                  it as UTF-16 from byte 2 on */
#define TAVRIN_INPUT_UTF16BE 2 /* UTF-16 BE text after the mark FE FF */
#define TAVRIN_INPUT_UTF16LE_UNMARKED 3 /* UTF-16 LE without a mark: its
                                  bytes cannot be screened (no row holds a
                                  zero byte); do not screen it, report it */
#define TAVRIN_INPUT_UTF16BE_UNMARKED 4 /* the same, big-endian */
#define TAVRIN_INPUT_MARK_CONTRADICTED 5 /* UTF-16 text after a mark, but
                                  the encoding named is another: do not
                                  screen it, report it */
#define TAVRIN_INPUT_FALSE_MARK 6 /* a mark before what is not UTF-16 text:
                                  screen the bytes, mark and all, in the
                                  encoding chosen, and report the mark */

/* The form of an input whose first bytes are head[0 .. length), by the
 * rules above; `flags` is 0 or TAVRIN_INPUT_ENCODING_NAMED and
 * TAVRIN_INPUT_WHOLE together. Bytes past TAVRIN_INPUT_SAMPLE are not looked
 * at. A NULL head is an empty one. */
TAVRIN_C_API int tavrin_input_form(const char* head, size_t length,
                                   unsigned flags);

/* 1 when window[0 .. length), whole UTF-16 code units (LE, or BE when
 * big_endian is nonzero) from an even offset after the mark, is UTF-16
 * text: it holds a code unit from U+0001 to U+00FF, as every stretch of
 * real text does in its line breaks, spaces, digits or ASCII punctuation,
 * and as ASCII, GBK or UTF-8 bytes read as UTF-16 never do. 0 otherwise,
 * and for a NULL window. A last odd byte is not looked at. */
TAVRIN_C_API int tavrin_utf16_is_text(const char* window, size_t length,
                                      int big_endian);

/* What Tavrin::Filtrate writes in place of a text that holds a banned word:
 * three stars and the HTML line break, 7 bytes. Bindings that filter a text
 * themselves write this, so that every host shows the same marker. */
#define TAVRIN_MARKER "***<br>"

/* The GBK bytes of row `row` (1 to 54), zero-terminated, with their number
 * (2 to 10) in *length; NULL, and 0 in *length, for any other number.
 * `length` may be NULL. The bytes are the library's own: do not write them. */
TAVRIN_C_API const char* tavrin_row(unsigned row, size_t* length);

/* The library's version, "1.0.0.143". */
TAVRIN_C_API const char* tavrin_version(void);

#ifdef __cplusplus
}
#endif

#endif /* TAVRIN_C_H_ */
