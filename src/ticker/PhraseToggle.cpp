#include "ticker/PhraseToggle.h"

#include "store/FilterStore.h"

namespace {

QStringList without(QStringList list, const QString& phrase)
{
    list.removeIf([&](const QString& entry) { return entry.compare(phrase, Qt::CaseInsensitive) == 0; });
    return list;
}

} // namespace

namespace PhraseToggle {

void toggleMuted(FilterStore& filters, const QString& phrase)
{
    const QString p = phrase.trimmed();
    if (p.isEmpty())
        return;
    if (!filters.isMuted(p)) {
        filters.mute(p);
        return;
    }
    filters.setMuted(without(filters.muted(), p));
    filters.save();
}

void toggleFollowed(FilterStore& filters, const QString& phrase)
{
    const QString p = phrase.trimmed();
    if (p.isEmpty())
        return;
    if (!filters.isFollowed(p)) {
        filters.follow(p);
        return;
    }
    filters.setFollowed(without(filters.followed(), p));
    filters.save();
}

} // namespace PhraseToggle
