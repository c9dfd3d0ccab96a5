// What the library's own tool (and its tests and fuzzers) use beyond the
// public headers: the marker Filtrate writes, the case fold, the rows of the
// table, the UTF-8 and GB18030 conversion and the bulk call on converted
// text. One header, so that the tool can never grow a second copy of any of
// them. Not installed.
#ifndef TAVRIN_API_INTERNALS_H_
#define TAVRIN_API_INTERNALS_H_

#include "api/FilteredMarker.h"
#include "api/ScreenLines.h"
#include "api/ToGbk.h"
#include "matching/AsciiFold.h"
#include "matching/BannedWordTable.h"

#endif  // TAVRIN_API_INTERNALS_H_
