#ifndef TAVRIN_API_FILTEREDMARKER_H_
#define TAVRIN_API_FILTEREDMARKER_H_

#include "tavrin_c.h"

namespace Tavrin {

// What Filtrate writes in place of a text that holds a banned word: "***"
// and the HTML line break "<br>", 7 bytes and a terminating zero. The C
// interface gives bindings the same bytes (TAVRIN_MARKER).
constexpr char FilteredMarker[] = TAVRIN_MARKER;
constexpr unsigned int kFilteredMarkerLength = sizeof(FilteredMarker) - 1;

}  // namespace Tavrin

#endif  // TAVRIN_API_FILTEREDMARKER_H_
