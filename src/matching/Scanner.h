// The fast scanner: answers whether a text holds a banned word, exactly as
// ContainsBannedWord (the literal walk over WordList) answers for the same
// bytes, without copying the text, allocating or locking. It is compiled from
// WordList's entries by the library's first call and runs the fastest kernel
// this processor has; see kernels/DESIGN.md.
#ifndef TAVRIN_MATCHING_SCANNER_H_
#define TAVRIN_MATCHING_SCANNER_H_

#include <cstddef>

namespace Tavrin {

class BannedWordList;

// The instruction sets the scanner has a kernel for. Each later one runs
// where all before it do, and is faster than the one before.
enum class ScanKernel { kPortable, kSsse3, kAvx2, kAvx512 };
constexpr ScanKernel kAllScanKernels[] = {
    ScanKernel::kPortable, ScanKernel::kSsse3, ScanKernel::kAvx2,
    ScanKernel::kAvx512};

// The environment variable that, read once at the first call, names the
// kernel to run instead of the widest ("portable", "ssse3", "avx2" or
// "avx512"), to test or compare kernels inside a host. An unknown name, or a
// kernel this processor cannot run, is ignored. It never changes a verdict.
constexpr char kForceKernelVariable[] = "TAVRIN_FORCE_KERNEL";

// Compiles the scanner from `list` (WordList, filled) and picks its kernel:
// the widest this processor and its operating system support, unless
// kForceKernelVariable names another that runs here. Called once, by
// EnsureWordList, before any scan; allocates nothing and cannot fail.
void CompileScanner(const BannedWordList& list) noexcept;

// True when a row of the list occurs in text[0 .. length), ASCII letters
// compared without case; zero bytes are ordinary bytes (no row holds one).
// Nothing outside text[0 .. length) is read. Never allocates, never blocks.
// EnsureWordList() must have been called first.
bool TextHasBannedWord(const char* text, std::size_t length) noexcept;

// Texts longer than this are scanned in overlapping pieces of this length
// plus the longest row less one byte, so the kernels' offset arithmetic
// stays within a signed word even on 32-bit processors.
constexpr std::size_t kScanPieceLength = std::size_t{1} << 30;

// For tests and the benchmark; each calls EnsureWordList() itself.
// The kernel TextHasBannedWord uses.
ScanKernel SelectedScanKernel() noexcept;
// True when `kernel` can run here (kPortable always can).
bool ScanKernelAvailable(ScanKernel kernel) noexcept;
// TextHasBannedWord through the given kernel and in pieces of the given
// length. A kernel that cannot run here is replaced by the portable one.
bool TextHasBannedWordUsing(ScanKernel kernel, const char* text,
                            std::size_t length,
                            std::size_t piece_length = kScanPieceLength) noexcept;

// "portable", "ssse3", "avx2" or "avx512".
const char* ScanKernelName(ScanKernel kernel) noexcept;

}  // namespace Tavrin

#endif  // TAVRIN_MATCHING_SCANNER_H_
