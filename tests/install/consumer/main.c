/* A C host built against an installed copy of the library, as C89. */
#include <stdio.h>
#include <string.h>
#include <tavrin_c.h>

int main(void) {
  static const char line[] = "clean\0but Essex after the zero";
  tavrin_match matches[4];
  size_t count = tavrin_find(line, sizeof line - 1, matches, 4);
  int ok = tavrin_is_valid("hello world", 11) == 1 &&
           tavrin_is_valid(line, sizeof line - 1) == 0 && count == 2 &&
           matches[0].row == 4 && matches[0].offset == 12 &&
           strcmp(tavrin_version(), TAVRIN_EXPECTED_VERSION) == 0;
  puts(ok ? "C consumer ok" : "C consumer got wrong answers");
  return ok ? 0 : 1;
}
