#include "matching/Scanner.h"

#include <cstdint>
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
  Scan::KernelFunction scan;  // the selected kernel's
  Scan::VisitFunction visit;
  // Whether each kernel has a UTF-8 conversion that runs here.
  bool converts_utf8[kKernelCount];
};
ScannerState scanner;

constexpr std::size_t kOverlap = kLongestBannedWord - 1;

// Runs `kernel` over pieces of `piece_length` bytes that overlap by the
// longest row less one byte, so each row that occurs lies whole in a piece.
// Pieces are taken in order, so the first end found is the first of all.
std::size_t FirstEndInPieces(Scan::KernelFunction kernel, const char* text,
                             std::size_t length, std::size_t piece_length) noexcept {
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
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

// The same for a visiting scan: a row of an overlap, reported by the piece
// before, is passed over in the next, so rows are reported once, in order.
void VisitInPieces(Scan::VisitFunction visit, const char* text, std::size_t length,
                   RowVisitor rows, std::size_t piece_length) noexcept {
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
  if (length <= piece_length + kOverlap) return visit(scanner.tables, bytes, length, rows);
  // Offsets between the pieces' and the text's, and the rows still wanted.
  struct Piece {
    RowVisitor rows;
    std::size_t length;  // the text's
    std::size_t offset;  // the piece's in the text
    std::size_t from;    // the next row's last byte lies here or after
  } piece{rows, length, 0, 0};
  const RowVisitor in_piece{
      [](void* context, std::size_t end) noexcept -> std::size_t {
        Piece& p = *static_cast<Piece*>(context);
        if (p.offset + end - 1 >= p.from) p.from = p.rows.visit(p.rows.context, p.offset + end);
        // In the piece's offsets; past its end when the text is done.
        return p.from >= p.length ? SIZE_MAX : p.from - p.offset;
      },
      &piece};
  for (; piece.from < length; piece.offset += piece_length) {
    const std::size_t rest = length - piece.offset;
    const std::size_t size = rest <= piece_length + kOverlap ? rest : piece_length + kOverlap;
    if (piece.offset + size > piece.from)  // else every row wanted lies further on
      visit(scanner.tables, bytes + piece.offset, size, in_piece);
    if (size == rest) break;
  }
}

const Scan::KernelEntry& EntryOf(ScanKernel kernel) noexcept {
  const std::size_t k = static_cast<std::size_t>(kernel);
  return Scan::kKernels[scanner.available[k] ? k : 0];
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
  scanner.scan = Scan::kKernels[selected].scan;
  scanner.visit = Scan::kKernels[selected].visit;
  namespace CpuFeature = Scan::CpuFeature;
#define TAVRIN_UTF8_KERNEL_RUNS(Name, name, needs, needs_names) \
  scanner.converts_utf8[static_cast<std::size_t>(ScanKernel::k##Name)] = ((needs) & cpu) == (needs);
  TAVRIN_FOR_EACH_UTF8_KERNEL(TAVRIN_UTF8_KERNEL_RUNS)
#undef TAVRIN_UTF8_KERNEL_RUNS
}

std::size_t FirstBannedWordEnd(const char* text, std::size_t length) noexcept {
  return FirstEndInPieces(scanner.scan, text, length, kScanPieceLength);
}

void ForEachBannedWordEnd(const char* text, std::size_t length, RowVisitor rows) noexcept {
  VisitInPieces(scanner.visit, text, length, rows, kScanPieceLength);
}

ScanKernel SelectedScanKernel() noexcept { return scanner.selected; }

bool ScanKernelAvailable(ScanKernel kernel) noexcept {
  return scanner.available[static_cast<std::size_t>(kernel)];
}

std::size_t FirstBannedWordEndUsing(ScanKernel kernel, const char* text,
                                    std::size_t length,
                                    std::size_t piece_length) noexcept {
  return FirstEndInPieces(EntryOf(kernel).scan, text, length,
                          piece_length == 0 ? 1 : piece_length);
}

void ForEachBannedWordEndUsing(ScanKernel kernel, const char* text, std::size_t length,
                               RowVisitor rows, std::size_t piece_length) noexcept {
  VisitInPieces(EntryOf(kernel).visit, text, length, rows,
                piece_length == 0 ? 1 : piece_length);
}

void CountFilterPassesUsing(ScanKernel kernel, const char* text, std::size_t length,
                            FilterCounts* counts) noexcept {
  const Scan::KernelEntry& entry = EntryOf(kernel);
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
  for (std::size_t offset = 0; offset < length; offset += kScanPieceLength) {
    const std::size_t piece = length - offset < kScanPieceLength ? length - offset
                                                                  : kScanPieceLength;
    entry.count(scanner.tables, bytes + offset, piece, *counts);
  }
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
