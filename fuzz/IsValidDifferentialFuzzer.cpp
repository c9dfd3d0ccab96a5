// Differential target: IsValid must give the verdict of the literal walk over
// the word list for every text, and so must every scan kernel this processor
// can run, not only the one IsValid picked. The input, cut at its first zero,
// is the text; any disagreement crashes.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "FuzzSupport.h"
#include "Tavrin.h"
#include "matching/Scanner.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const std::size_t length = Tavrin::Fuzz::TextLength(data, size);
  // The start's alignment follows from the bytes, so that every input maps
  // to one run and mutations move it.
  std::size_t checksum = 0;
  for (std::size_t i = 0; i < length; ++i) checksum += data[i];
  const Tavrin::Fuzz::PlacedText text(data, length, checksum % 64);

  const bool valid = Tavrin::IsValid(text.c_str());
  const bool banned = Tavrin::Fuzz::ReferenceFindsBannedWord(text.c_str());
  if (valid == banned) {
    Tavrin::Fuzz::Fail(valid ? "IsValid passed a text the word list bans"
                            : "IsValid refused a text the word list passes",
                      text.c_str());
  }
  for (const Tavrin::ScanKernel kernel : Tavrin::kAllScanKernels) {
    if (!Tavrin::ScanKernelAvailable(kernel)) continue;
    if (Tavrin::TextHasBannedWordUsing(kernel, text.c_str(), length) !=
        banned) {
      std::fprintf(stderr, "kernel %s: ", Tavrin::ScanKernelName(kernel));
      Tavrin::Fuzz::Fail("a scan kernel disagrees with the word list",
                        text.c_str());
    }
  }
  if (std::memcmp(text.c_str(), data, length) != 0) {
    Tavrin::Fuzz::Fail("IsValid changed the text", text.c_str());
  }
  return 0;
}
