#ifndef TAVRIN_API_FILTEREDMARKER_H_
#define TAVRIN_API_FILTEREDMARKER_H_

namespace Tavrin {

// What Filtrate writes in place of a text that holds a banned word: "***"
// and the HTML line break "<br>", 7 bytes and a terminating zero.
constexpr char FilteredMarker[] = "***<br>";
constexpr unsigned int kFilteredMarkerLength = sizeof(FilteredMarker) - 1;

}  // namespace Tavrin

#endif  // TAVRIN_API_FILTEREDMARKER_H_
