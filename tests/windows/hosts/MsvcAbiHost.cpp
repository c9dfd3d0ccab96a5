// A host built the way a Microsoft-compiled program is: MSVC C++ ABI, the
// public header, and the import library Tavrin.lib, so the loader resolves
// the two decorated names when it starts the program. It runs the shared
// behaviour cases through those imports. Built for 32-bit x86 and for x64.
//
// There is no Windows SDK or Microsoft C runtime here, so the program needs
// none: it declares the three kernel32 functions it uses, brings its own
// entry point and the two memory functions the compiler may call, and links
// with /nodefaultlib against an import library for kernel32 made from
// kernel32.def.
#include "Tavrin.h"

#include "HostCases.h"

extern "C" {
__declspec(dllimport) void* __stdcall GetStdHandle(unsigned long which);
__declspec(dllimport) int __stdcall WriteFile(void* file, const void* data,
                                              unsigned long size,
                                              unsigned long* written,
                                              void* overlapped);
__declspec(dllimport) __declspec(noreturn) void __stdcall ExitProcess(
    unsigned int code);

// The compiler may turn aggregate copies and fills into calls to these.
void* __cdecl memset(void* to, int value, decltype(sizeof 0) size) {
  unsigned char* p = static_cast<unsigned char*>(to);
  while (size-- != 0) *p++ = static_cast<unsigned char>(value);
  return to;
}
void* __cdecl memcpy(void* to, const void* from, decltype(sizeof 0) size) {
  unsigned char* p = static_cast<unsigned char*>(to);
  const unsigned char* q = static_cast<const unsigned char*>(from);
  while (size-- != 0) *p++ = *q++;
  return to;
}
}

namespace {

const unsigned long kStdOutput = static_cast<unsigned long>(-11);

void Print(const char* text) {
  unsigned long size = 0;
  while (text[size] != '\0') ++size;
  unsigned long written = 0;
  WriteFile(GetStdHandle(kStdOutput), text, size, &written, 0);
}

void PrintNumber(int value) {
  char digits[12];
  int i = sizeof digits - 1;
  digits[i] = '\0';
  do {
    digits[--i] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0 && i > 0);
  Print(digits + i);
}

#if defined(_M_IX86)
// Microsoft's x86 compilers keep the stack only 4-byte aligned, so such a
// host may call in at any stack address that is a multiple of 4; code in the
// module that assumed more (aligned vector spills) would fault. Each
// instantiation's frame is one word larger, so the calls below enter the
// module at every residue of the stack address modulo 16. (An x64 caller
// always keeps it 16-byte aligned: its calling convention demands it.)
template <int kWords>
__declspec(noinline) unsigned RunAtDepth(Tavrin::Host::Checks& checks) {
  volatile unsigned pad[kWords];
  pad[0] = 0;
  Tavrin::Host::RunVerdictCases(&Tavrin::IsValid, checks);
  Tavrin::Host::RunFiltrateTable(&Tavrin::Filtrate, checks);
  return static_cast<unsigned>(reinterpret_cast<unsigned long>(&pad[0])) & 15u;
}

void RunAtEveryStackAlignment(Tavrin::Host::Checks& checks) {
  const unsigned residues[] = {RunAtDepth<1>(checks), RunAtDepth<2>(checks),
                               RunAtDepth<3>(checks), RunAtDepth<4>(checks)};
  bool distinct = true;
  for (int i = 0; i < 4; ++i) {
    for (int j = i + 1; j < 4; ++j) distinct &= residues[i] != residues[j];
  }
  checks.Expect(distinct, "calls entered at four stack alignments");
}
#endif

}  // namespace

extern "C" void __cdecl HostEntry() {
  Tavrin::Host::Checks checks(Print);
  // Plain function pointers to the imported functions: the calls still go
  // through the import address table the loader filled.
  Tavrin::Host::RunBehaviourCases(&Tavrin::IsValid, &Tavrin::Filtrate, checks);
#if defined(_M_IX86)
  RunAtEveryStackAlignment(checks);
#endif
  // And direct calls, as a host written against the header makes them.
  char buf[16];
  checks.Expect(Tavrin::IsValid("hello") && !Tavrin::IsValid("a.COM"),
                "direct IsValid calls");
  checks.Expect(Tavrin::Filtrate(buf, 15, "Essex") &&
                    Tavrin::Host::SameBytes(buf, Tavrin::Host::kMarker, 8),
                "direct Filtrate call");

  Print("MSVC-ABI host: ");
  PrintNumber(checks.count());
  Print(" checks, ");
  PrintNumber(checks.failures());
  Print(" failed\n");
  ExitProcess(checks.failures() == 0 ? 0 : 1);
}
