#pragma once

#include <QString>

class FilterStore;

// Mutes or follows a phrase when it is not yet in that list, else takes
// every case variant of it out of the list and saves. The phrase is trimmed
// first, so a keyword with stray spaces tests and changes the entry the
// lists really hold. A blank phrase changes nothing.
namespace PhraseToggle {

void toggleMuted(FilterStore& filters, const QString& phrase);
void toggleFollowed(FilterStore& filters, const QString& phrase);

} // namespace PhraseToggle
