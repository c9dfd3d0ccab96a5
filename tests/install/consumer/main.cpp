// A host program built against an installed copy of the library.
#include <Tavrin.h>

#include <cstdio>
#include <cstring>

int main() {
  char out[64];
  const bool ok = Tavrin::IsValid("hello world") && !Tavrin::IsValid("Essex") &&
                  Tavrin::Filtrate(out, sizeof out - 1, "see <IMG src=x>") &&
                  std::strcmp(out, "***<br>") == 0;
  std::puts(ok ? "consumer ok" : "consumer got wrong answers");
  return ok ? 0 : 1;
}
