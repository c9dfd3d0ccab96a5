#include "matching/Scanner.h"

#include <cstdlib>
#include <cstring>

#include "matching/BannedWordTable.h"
#include "matching/WordList.h"
#include "matching/kernels/Kernels.h"
#include "matching/kernels/ScanTables.h"

#if TAVRIN_SCAN_X86 && defined(__GNUC__)
#include <cpuid.h>
#endif

namespace Tavrin {
namespace {

using KernelFunction = bool (*)(const Scan::ScanTables&,
                                const unsigned char*, std::size_t) noexcept;

struct CpuFeatures {
  bool ssse3 = false;
  bool avx2 = false;
  bool avx512 = false;  // AVX-512F and AVX-512BW
};

CpuFeatures DetectCpuFeatures() noexcept {
  CpuFeatures features;
#if TAVRIN_SCAN_X86 && defined(__GNUC__)
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return features;
  features.ssse3 = (ecx & bit_SSSE3) != 0;
  // AVX2 needs the operating system to save the 256-bit registers too:
  // XCR0 bits 1 (SSE state) and 2 (AVX state), readable when OSXSAVE is set;
  // AVX-512 also bits 5 to 7 (mask registers, upper halves, upper 16).
  if ((ecx & bit_OSXSAVE) == 0 || (ecx & bit_AVX) == 0) return features;
  unsigned xcr0_low = 0, xcr0_high = 0;
  __asm__ __volatile__("xgetbv" : "=a"(xcr0_low), "=d"(xcr0_high) : "c"(0));
  if ((xcr0_low & 0x6u) != 0x6u || __get_cpuid_max(0, nullptr) < 7)
    return features;
  __cpuid_count(7, 0, eax, ebx, ecx, edx);
  features.avx2 = (ebx & (1u << 5)) != 0;
  const unsigned avx512f = 1u << 16, avx512bw = 1u << 30;
  features.avx512 = (xcr0_low & 0xE6u) == 0xE6u &&
                    (ebx & (avx512f | avx512bw)) == (avx512f | avx512bw);
#endif
  return features;
}

KernelFunction KernelFor(ScanKernel kernel) noexcept {
#if TAVRIN_SCAN_X86
  switch (kernel) {
    case ScanKernel::kAvx512:
      return Scan::ScanAvx512;
    case ScanKernel::kAvx2:
      return Scan::ScanAvx2;
    case ScanKernel::kSsse3:
      return Scan::ScanSsse3;
    case ScanKernel::kPortable:
      break;
  }
#else
  (void)kernel;
#endif
  return Scan::ScanPortable;
}

constexpr std::size_t kKernelCount = sizeof kAllScanKernels / sizeof kAllScanKernels[0];

// Written once by CompileScanner, before EnsureWordList publishes the
// library as ready (a release store that every call's acquire load pairs
// with); only read afterwards. Zero-initialised and trivially destructible:
// nothing runs at load or unload.
struct ScannerState {
  Scan::ScanTables tables;
  bool available[kKernelCount];
  ScanKernel selected;
  KernelFunction kernel;
};
ScannerState scanner;

// Runs `kernel` over pieces of `piece_length` bytes that overlap by the
// longest row less one byte, so each row that occurs lies whole in a piece.
bool ScanInPieces(KernelFunction kernel, const Scan::ScanTables& tables,
                  const char* text, std::size_t length,
                  std::size_t piece_length) noexcept {
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
  constexpr std::size_t kOverlap = kLongestBannedWord - 1;
  while (length > piece_length + kOverlap) {
    if (kernel(tables, bytes, piece_length + kOverlap)) return true;
    bytes += piece_length;
    length -= piece_length;
  }
  return kernel(tables, bytes, length);
}

}  // namespace

void CompileScanner(const BannedWordList& list) noexcept {
  Scan::BuildScanTables(list, scanner.tables);
  const CpuFeatures cpu = DetectCpuFeatures();
  bool* const available = scanner.available;
  available[static_cast<int>(ScanKernel::kPortable)] = true;
  available[static_cast<int>(ScanKernel::kSsse3)] = cpu.ssse3;
  available[static_cast<int>(ScanKernel::kAvx2)] = cpu.ssse3 && cpu.avx2;
  available[static_cast<int>(ScanKernel::kAvx512)] =
      available[static_cast<int>(ScanKernel::kAvx2)] && cpu.avx512;
  ScanKernel selected = ScanKernel::kPortable;
  for (ScanKernel kernel : kAllScanKernels)
    if (available[static_cast<int>(kernel)]) selected = kernel;
  if (const char* forced = std::getenv(kForceKernelVariable)) {
    for (ScanKernel kernel : kAllScanKernels)
      if (available[static_cast<int>(kernel)] &&
          std::strcmp(forced, ScanKernelName(kernel)) == 0)
        selected = kernel;
  }
  scanner.selected = selected;
  scanner.kernel = KernelFor(selected);
}

bool TextHasBannedWord(const char* text, std::size_t length) noexcept {
  return ScanInPieces(scanner.kernel, scanner.tables, text, length,
                      kScanPieceLength);
}

ScanKernel SelectedScanKernel() noexcept {
  EnsureWordList();
  return scanner.selected;
}

bool ScanKernelAvailable(ScanKernel kernel) noexcept {
  EnsureWordList();
  return scanner.available[static_cast<int>(kernel)];
}

bool TextHasBannedWordUsing(ScanKernel kernel, const char* text,
                            std::size_t length,
                            std::size_t piece_length) noexcept {
  EnsureWordList();
  const KernelFunction function =
      scanner.available[static_cast<int>(kernel)] ? KernelFor(kernel)
                                                  : Scan::ScanPortable;
  return ScanInPieces(function, scanner.tables, text, length,
                      piece_length == 0 ? 1 : piece_length);
}

const char* ScanKernelName(ScanKernel kernel) noexcept {
  switch (kernel) {
    case ScanKernel::kAvx512:
      return "avx512";
    case ScanKernel::kAvx2:
      return "avx2";
    case ScanKernel::kSsse3:
      return "ssse3";
    case ScanKernel::kPortable:
      break;
  }
  return "portable";
}

}  // namespace Tavrin
