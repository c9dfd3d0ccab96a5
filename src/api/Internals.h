// What the library's own tool (and its tests and fuzzers) use beyond the
// public headers: the marker Filtrate writes, the case fold, the rows of the
// table and the UTF-8 conversion. One header, so that the tool can never
// grow a second copy of any of them. Not installed.
#ifndef TAVRIN_API_INTERNALS_H_
#define TAVRIN_API_INTERNALS_H_

#include "api/FilteredMarker.h"
#include "api/ToGbk.h"
#include "matching/AsciiFold.h"
#include "matching/BannedWordTable.h"

#endif  // TAVRIN_API_INTERNALS_H_
