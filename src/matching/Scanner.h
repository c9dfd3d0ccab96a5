// The fast scanner: answers whether a text holds a banned word, exactly as
// ContainsBannedWord (the literal walk over WordList) answers for the same
// bytes, without copying the text, allocating or locking, and where the
// first one ends. The library's first call builds its tables from the table
// of rows and picks its kernel (PrepareScanner); see kernels/DESIGN.md.
#ifndef TAVRIN_MATCHING_SCANNER_H_
#define TAVRIN_MATCHING_SCANNER_H_

#include <cstddef>

#include "ScanKernelList.h"
#include "matching/kernels/KernelReports.h"

namespace Tavrin {

// The kernels of the kernel list built for this processor
// (kernels/ScanKernels.cmake), from the slowest to the fastest;
// kPortable, which runs anywhere, is always first.
enum class ScanKernel : unsigned {
#define TAVRIN_SCAN_KERNEL_ID(Name, name, needs, needs_names) k##Name,
  TAVRIN_FOR_EACH_SCAN_KERNEL(TAVRIN_SCAN_KERNEL_ID)
#undef TAVRIN_SCAN_KERNEL_ID
};
constexpr ScanKernel kAllScanKernels[] = {
#define TAVRIN_SCAN_KERNEL_ID(Name, name, needs, needs_names) ScanKernel::k##Name,
    TAVRIN_FOR_EACH_SCAN_KERNEL(TAVRIN_SCAN_KERNEL_ID)
#undef TAVRIN_SCAN_KERNEL_ID
};
static_assert(kAllScanKernels[0] == ScanKernel::kPortable,
              "the portable kernel comes first");

// The environment variable that, read once at the first call, names the
// kernel to run instead of the fastest (a name of the list: "portable",
// "avx2", ...), to test or compare kernels inside a host. An unknown name, or
// a kernel this processor cannot run, is ignored. It never changes a verdict.
constexpr char kForceKernelVariable[] = "TAVRIN_FORCE_KERNEL";

// Builds the scanner's tables from the rows of BannedWordTable and picks its
// kernel: the fastest this processor and its operating system support,
// unless kForceKernelVariable names another that runs here. Called once, by
// the library's first call (LibrarySetup.h), before any scan; allocates
// nothing, uses little stack (its work space is static) and cannot fail.
void PrepareScanner() noexcept;

// The end (the offset just past its last byte) of the occurrence of a row
// of the list in text[0 .. length) that ends first, or 0 when no row occurs;
// ASCII letters compared without case, zero bytes ordinary bytes (no row
// holds one). Nothing outside text[0 .. length) is read. Never allocates,
// never blocks. EnsureWordList() must have been called first.
std::size_t FirstBannedWordEnd(const char* text, std::size_t length) noexcept;

// True when a row of the list occurs in text[0 .. length).
inline bool TextHasBannedWord(const char* text, std::size_t length) noexcept {
  return FirstBannedWordEnd(text, length) != 0;
}

// Reports to `rows` (matching/kernels/KernelReports.h) every row of the list
// in text[0 .. length) that it asks for, in the order they end, in one scan:
// the first to end, and then each time the first whose last byte lies at or
// after the offset the visitor returned. (A buffer of lines goes on from the
// next line after a banned one; no row holds a newline.) Same guarantees as
// FirstBannedWordEnd.
void ForEachBannedWordEnd(const char* text, std::size_t length, RowVisitor rows) noexcept;

// Texts longer than this are scanned in overlapping pieces of this length
// plus the longest row less one byte, so the kernels' offset arithmetic
// stays within a signed word even on 32-bit processors.
constexpr std::size_t kScanPieceLength = std::size_t{1} << 30;

// For tests and the benchmark; EnsureWordList() must have been called first.
// The kernel TextHasBannedWord uses.
ScanKernel SelectedScanKernel() noexcept;
// True when `kernel` can run here (kPortable always can).
bool ScanKernelAvailable(ScanKernel kernel) noexcept;
// FirstBannedWordEnd through the given kernel and in pieces of the given
// length. A kernel that cannot run here is replaced by the portable one.
std::size_t FirstBannedWordEndUsing(
    ScanKernel kernel, const char* text, std::size_t length,
    std::size_t piece_length = kScanPieceLength) noexcept;
// ForEachBannedWordEnd through the given kernel and in pieces, likewise.
void ForEachBannedWordEndUsing(ScanKernel kernel, const char* text, std::size_t length,
                               RowVisitor rows,
                               std::size_t piece_length = kScanPieceLength) noexcept;
// As FirstBannedWordEndUsing, answering only whether a row occurs.
inline bool TextHasBannedWordUsing(
    ScanKernel kernel, const char* text, std::size_t length,
    std::size_t piece_length = kScanPieceLength) noexcept {
  return FirstBannedWordEndUsing(kernel, text, length, piece_length) != 0;
}

// Runs `kernel` over the whole of text[0 .. length), not stopping at a row,
// and adds what its filters let through to *counts. A kernel that cannot
// run here is replaced by the portable one.
void CountFilterPassesUsing(ScanKernel kernel, const char* text, std::size_t length,
                            FilterCounts* counts) noexcept;

// The kernel's name in the list ("portable", "avx2", ...).
const char* ScanKernelName(ScanKernel kernel) noexcept;

// The kernel whose UTF-8 to GBK block conversion (kernels/Utf8Kernels.h)
// goes with `kernel`: the fastest at or below it in the list that has one
// and runs here; kPortable, which has none (text is converted character by
// character), when there is no such kernel. The conversion of UTF-8 text
// goes with the selected kernel, so TAVRIN_FORCE_KERNEL picks both.
// EnsureWordList() must have been called first.
ScanKernel Utf8KernelFor(ScanKernel kernel) noexcept;

}  // namespace Tavrin

#endif  // TAVRIN_MATCHING_SCANNER_H_
