// The scan kernels, one per instruction set, all with the same contract:
// true exactly when some row of `tables` occurs in text[0 .. length),
// ASCII case folded; nothing outside text[0 .. length) is read. `length`
// must fit in a signed word (Scanner.cpp cuts longer texts into pieces). A
// kernel for an instruction set may run only on a processor that has it
// (Scanner.cpp checks).
#ifndef TAVRIN_MATCHING_KERNELS_KERNELS_H_
#define TAVRIN_MATCHING_KERNELS_KERNELS_H_

#include <cstddef>

#include "matching/kernels/ScanTables.h"

#if defined(__x86_64__) || defined(__i386__) || defined(_M_X64) || \
    defined(_M_IX86)
#define TAVRIN_SCAN_X86 1
#else
#define TAVRIN_SCAN_X86 0
#endif

namespace Tavrin {
namespace Scan {

bool ScanPortable(const ScanTables& tables, const unsigned char* text,
                  std::size_t length) noexcept;
#if TAVRIN_SCAN_X86
bool ScanSsse3(const ScanTables& tables, const unsigned char* text,
               std::size_t length) noexcept;
bool ScanAvx2(const ScanTables& tables, const unsigned char* text,
              std::size_t length) noexcept;
bool ScanAvx512(const ScanTables& tables, const unsigned char* text,
                std::size_t length) noexcept;
#endif

}  // namespace Scan
}  // namespace Tavrin

#endif  // TAVRIN_MATCHING_KERNELS_KERNELS_H_
