#include "matching/Scanner.h"

#include <cstdlib>
#include <cstring>

#include "matching/BannedWordTable.h"
#include "matching/kernels/CpuFeatures.h"
#include "matching/kernels/Kernels.h"
#include "matching/kernels/ScanTables.h"

namespace Tavrin {
namespace {

constexpr std::size_t kKernelCount = sizeof Scan::kKernels / sizeof Scan::kKernels[0];
static_assert(kKernelCount == sizeof kAllScanKernels / sizeof kAllScanKernels[0],
              "one entry per ScanKernel");

// Written once by PrepareScanner, before the library's setup publishes the
// library as ready (a release store that every call's acquire load pairs
// with); only read afterwards. Zero-initialised and trivially destructible:
// nothing runs at load or unload.
struct ScannerState {
  Scan::ScanTables tables;
  bool available[kKernelCount];
  ScanKernel selected;
  Scan::KernelFunction kernel;
  // Whether each kernel has a UTF-8 conversion that runs here.
  bool converts_utf8[kKernelCount];
};
ScannerState scanner;

// Runs `kernel` over pieces of `piece_length` bytes that overlap by the
// longest row less one byte, so each row that occurs lies whole in a piece.
// Pieces are taken in order, so the first end found is the first of all.
std::size_t ScanInPieces(Scan::KernelFunction kernel, const char* text,
                         std::size_t length, std::size_t piece_length) noexcept {
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
  constexpr std::size_t kOverlap = kLongestBannedWord - 1;
  std::size_t offset = 0;
  while (length - offset > piece_length + kOverlap) {
    if (const std::size_t end =
            kernel(scanner.tables, bytes + offset, piece_length + kOverlap))
      return offset + end;
    offset += piece_length;
  }
  const std::size_t end = kernel(scanner.tables, bytes + offset, length - offset);
  return end != 0 ? offset + end : 0;
}

}  // namespace

void PrepareScanner() noexcept {
  Scan::BuildScanTables(BannedWordTable, kBannedWordCount, scanner.tables);
  const Scan::CpuFeatureSet cpu = Scan::DetectCpuFeatures();
  const char* forced = std::getenv(kForceKernelVariable);
  std::size_t selected = 0;
  for (std::size_t k = 0; k < kKernelCount; ++k) {
    const Scan::KernelEntry& entry = Scan::kKernels[k];
    scanner.available[k] = (entry.needs & cpu) == entry.needs;
    if (scanner.available[k]) selected = k;
  }
  for (std::size_t k = 0; forced != nullptr && k < kKernelCount; ++k)
    if (scanner.available[k] && std::strcmp(forced, Scan::kKernels[k].name) == 0)
      selected = k;
  scanner.selected = kAllScanKernels[selected];
  scanner.kernel = Scan::kKernels[selected].scan;
  namespace CpuFeature = Scan::CpuFeature;
#define TAVRIN_UTF8_KERNEL_RUNS(Name, name, needs, needs_names) \
  scanner.converts_utf8[static_cast<std::size_t>(ScanKernel::k##Name)] = ((needs) & cpu) == (needs);
  TAVRIN_FOR_EACH_UTF8_KERNEL(TAVRIN_UTF8_KERNEL_RUNS)
#undef TAVRIN_UTF8_KERNEL_RUNS
}

std::size_t FirstBannedWordEnd(const char* text, std::size_t length) noexcept {
  return ScanInPieces(scanner.kernel, text, length, kScanPieceLength);
}

ScanKernel SelectedScanKernel() noexcept { return scanner.selected; }

bool ScanKernelAvailable(ScanKernel kernel) noexcept {
  return scanner.available[static_cast<std::size_t>(kernel)];
}

std::size_t FirstBannedWordEndUsing(ScanKernel kernel, const char* text,
                                    std::size_t length,
                                    std::size_t piece_length) noexcept {
  const std::size_t k = static_cast<std::size_t>(kernel);
  const Scan::KernelFunction function =
      scanner.available[k] ? Scan::kKernels[k].scan : Scan::kKernels[0].scan;
  return ScanInPieces(function, text, length, piece_length == 0 ? 1 : piece_length);
}

const char* ScanKernelName(ScanKernel kernel) noexcept {
  return Scan::kKernels[static_cast<std::size_t>(kernel)].name;
}

ScanKernel Utf8KernelFor(ScanKernel kernel) noexcept {
  for (std::size_t k = static_cast<std::size_t>(kernel) + 1; k-- > 0;)
    if (scanner.converts_utf8[k]) return kAllScanKernels[k];
  return ScanKernel::kPortable;
}

}  // namespace Tavrin
