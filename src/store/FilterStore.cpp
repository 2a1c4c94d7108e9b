#include "store/FilterStore.h"

#include "platform/storage/Defaults.h"
#include "platform/base/Logging.h"

namespace {

bool holdsIgnoringCase(const QStringList& list, const QString& phrase)
{
    return list.contains(phrase, Qt::CaseInsensitive);
}

QStringList lowercased(const QStringList& list)
{
    QStringList out;
    out.reserve(list.size());
    for (const QString& phrase : list)
        out.append(phrase.toLower());
    return out;
}

} // namespace

FilterStore::FilterStore(Defaults& defaults, QObject* parent)
    : QObject(parent),
      m_defaults(defaults),
      m_storedMuted(defaults, MutedKey, lcFeedStore, kMaxPhrases),
      m_storedFollowed(defaults, FollowedKey, lcFeedStore, kMaxPhrases),
      m_muted(m_storedMuted.readTexts()),
      m_followed(m_storedFollowed.readTexts())
{
}

FilterStore& FilterStore::shared()
{
    static FilterStore* store = new FilterStore(Defaults::standard());  // lives for the process
    return *store;
}

void FilterStore::setMuted(const QStringList& phrases)
{
    if (phrases == m_muted)
        return;
    m_muted = phrases;
    Q_EMIT mutedChanged();
}

void FilterStore::setFollowed(const QStringList& phrases)
{
    if (phrases == m_followed)
        return;
    m_followed = phrases;
    Q_EMIT followedChanged();
}

FilterStore::Added FilterStore::mute(const QString& phrase)
{
    return addPhrase(phrase, List::Muted);
}

FilterStore::Added FilterStore::follow(const QString& phrase)
{
    return addPhrase(phrase, List::Followed);
}

QString FilterStore::fullListText(bool muted)
{
    return QStringLiteral("You're at %1 %2 phrases. Remove one to add another.")
        .arg(kMaxPhrases)
        .arg(muted ? QStringLiteral("muted") : QStringLiteral("followed"));
}

bool FilterStore::isMuted(const QString& phrase) const
{
    return holdsIgnoringCase(m_muted, phrase);
}

bool FilterStore::isFollowed(const QString& phrase) const
{
    return holdsIgnoringCase(m_followed, phrase);
}

QStringList FilterStore::mutedLowercased() const
{
    return lowercased(m_muted);
}

QStringList FilterStore::followedLowercased() const
{
    return lowercased(m_followed);
}

void FilterStore::save()
{
    // A list that is as stored is not written again: a stored list holding
    // what this store could not read stays until the user changes that list
    // (and is set aside then), and an edit of the other list does not
    // replace it.
    const struct { const QString& key; const QStringList& list; StoredList& stored; } lists[] = {
        {MutedKey, m_muted, m_storedMuted}, {FollowedKey, m_followed, m_storedFollowed}};
    bool changed = false;
    for (const auto& [key, list, stored] : lists) {
        if (m_defaults.contains(key) && StoredList::textsIn(m_defaults.value(key)) == list)
            continue;
        stored.aboutToReplace();
        m_defaults.set(key, list);
        changed = true;
    }
    // Both lists in one write, before the change is shown as done.
    if (changed)
        m_defaults.flush();
}

FilterStore::Added FilterStore::addPhrase(const QString& phrase, List target)
{
    const QString trimmed = phrase.trimmed();
    if (trimmed.isEmpty() || holdsIgnoringCase(list(target), trimmed))
        return Added::Unchanged;
    // What is written must read back: a list never grows past what is read.
    if (list(target).size() >= kMaxPhrases) {
        qCInfo(lcFeedStore).noquote() << "Not adding a phrase: the list already holds the" << kMaxPhrases
                                      << "phrases it keeps";
        return Added::ListFull;
    }
    list(target).append(trimmed);
    publish(target);

    const List other = target == List::Muted ? List::Followed : List::Muted;
    const qsizetype removed = list(other).removeIf(
        [&](const QString& entry) { return entry.compare(trimmed, Qt::CaseInsensitive) == 0; });
    if (removed > 0)
        publish(other);
    save();
    return Added::Yes;
}

void FilterStore::publish(List which)
{
    if (which == List::Muted)
        Q_EMIT mutedChanged();
    else
        Q_EMIT followedChanged();
}
