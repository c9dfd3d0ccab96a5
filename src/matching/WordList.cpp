#include "matching/WordList.h"

namespace Tavrin {

BannedWordList WordList;

}  // namespace Tavrin
