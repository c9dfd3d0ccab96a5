// The built-in list of banned byte strings, compiled in; there is no way to
// change it at run time.
#ifndef TAVRIN_MATCHING_BANNEDWORDTABLE_H_
#define TAVRIN_MATCHING_BANNEDWORDTABLE_H_

#include <cstddef>

namespace Tavrin {

constexpr std::size_t kBannedWordCount = 54;
// The length of the longest row, in bytes.
constexpr std::size_t kLongestBannedWord = 10;

// Row r of the list (counted from 1) is BannedWordTable[r - 1]: a
// zero-terminated string of 2 to kLongestBannedWord bytes, ASCII or GBK. Rows 4 and 11 are
// both "sex"; the duplicate is kept so that row numbers stay stable.
extern const char* const BannedWordTable[kBannedWordCount];

}  // namespace Tavrin

#endif  // TAVRIN_MATCHING_BANNEDWORDTABLE_H_
