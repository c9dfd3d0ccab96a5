// The scan kernels, one per instruction set, as the kernel list
// (ScanKernels.cmake, from which ScanKernelList.h is generated) names them.
// Each has the same contract:
//
//   std::size_t Scan<Name>(const ScanTables& tables, const unsigned char* text,
//                          std::size_t length) noexcept;
//
// returns the end (the offset just past the last byte) of the occurrence of
// a row of `tables` in text[0 .. length) that ends first, ASCII case folded,
// or 0 when no row occurs;
//
//   void Visit<Name>(const ScanTables& tables, const unsigned char* text,
//                    std::size_t length, RowVisitor rows) noexcept;
//
// reports that end to `rows` (KernelReports.h), and then the end of the
// first row to end at or after each offset the visitor returns. Nothing
// outside text[0 .. length) is read.
// `length` must fit in a signed word (Scanner.cpp cuts longer texts into
// pieces). A kernel may run only on a processor with the features it needs
// (Scanner.cpp checks).
#ifndef TAVRIN_MATCHING_KERNELS_KERNELS_H_
#define TAVRIN_MATCHING_KERNELS_KERNELS_H_

#include <cstddef>

#include "ScanKernelList.h"
#include "matching/kernels/KernelReports.h"
#include "matching/kernels/CpuFeatures.h"
#include "matching/kernels/ScanTables.h"

namespace Tavrin {
namespace Scan {

using KernelFunction = std::size_t (*)(const ScanTables&, const unsigned char*,
                                       std::size_t) noexcept;
using VisitFunction = void (*)(const ScanTables&, const unsigned char*, std::size_t,
                               RowVisitor) noexcept;

using CountFunction = void (*)(const ScanTables&, const unsigned char*, std::size_t,
                               FilterCounts&) noexcept;

// Each kernel also has Count<Name>, which filters the whole text as
// Scan<Name> does, without stopping at a row, and adds what each stage let
// through to the counts (for the benchmark).
#define TAVRIN_DECLARE_SCAN_KERNEL(Name, name, needs, needs_names)                       \
  std::size_t Scan##Name(const ScanTables& tables, const unsigned char* text,    \
                         std::size_t length) noexcept;                          \
  void Visit##Name(const ScanTables& tables, const unsigned char* text,          \
                   std::size_t length, RowVisitor rows) noexcept;                \
  void Count##Name(const ScanTables& tables, const unsigned char* text,          \
                   std::size_t length, FilterCounts& counts) noexcept;
TAVRIN_FOR_EACH_SCAN_KERNEL(TAVRIN_DECLARE_SCAN_KERNEL)
#undef TAVRIN_DECLARE_SCAN_KERNEL

// One kernel of the list: the name TAVRIN_FORCE_KERNEL takes, its function,
// and the processor features it needs.
struct KernelEntry {
  const char* name;
  KernelFunction scan;
  VisitFunction visit;
  CountFunction count;
  CpuFeatureSet needs;
};

// Every kernel built for this processor, from the slowest to the fastest,
// in the order of the ScanKernel values (Scanner.h).
constexpr KernelEntry kKernels[] = {
#define TAVRIN_SCAN_KERNEL_ENTRY(Name, name, needs, needs_names) \
  {name, Scan##Name, Visit##Name, Count##Name, needs},
    TAVRIN_FOR_EACH_SCAN_KERNEL(TAVRIN_SCAN_KERNEL_ENTRY)
#undef TAVRIN_SCAN_KERNEL_ENTRY
};

}  // namespace Scan
}  // namespace Tavrin

#endif  // TAVRIN_MATCHING_KERNELS_KERNELS_H_
