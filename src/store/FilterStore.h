#pragma once

#include "platform/storage/SettingsCatalogue.h"
#include "platform/storage/StoredList.h"
#include <QObject>
#include <QStringList>

class Defaults;

// The user's muted phrases (matching headlines are hidden) and followed
// phrases (matching headlines are favoured), kept in the settings under
// "mutedPhrases.v1" and "followedPhrases.v1". Phrases are stored trimmed,
// with their case as typed; no list holds two entries equal ignoring case and
// no phrase stands in both lists. Main thread only.
class FilterStore : public QObject {
    Q_OBJECT
public:
    static inline const QString MutedKey = Settings::mutedPhrases.key.toString();
    static inline const QString FollowedKey = Settings::followedPhrases.key.toString();
    // The phrases of each list read from the settings, at most: every
    // phrase is a row of the Filters tab and a test on every headline the
    // strip shows (bench/settings_bench.cpp).
    static constexpr qsizetype kMaxPhrases = 200;

    explicit FilterStore(Defaults& defaults, QObject* parent = nullptr);

    // The process-wide store over Defaults::standard(), created on first use.
    static FilterStore& shared();

    const QStringList& muted() const { return m_muted; }
    const QStringList& followed() const { return m_followed; }
    // The stored lists the phrases were read from: what their reading left out.
    const StoredList& storedMuted() const { return m_storedMuted; }
    const StoredList& storedFollowed() const { return m_storedFollowed; }
    // Direct edits (removal, undo): the caller keeps the rules above and
    // calls save() afterwards.
    void setMuted(const QStringList& phrases);
    void setFollowed(const QStringList& phrases);

    enum class Added { Yes, Unchanged, ListFull };
    // Adds the trimmed phrase to one list and takes it out of the other; a
    // blank phrase or one the list holds changes nothing, and a list that
    // already holds kMaxPhrases takes nothing more (ListFull).
    Added mute(const QString& phrase);
    Added follow(const QString& phrase);
    // True when one more phrase would not fit in the list.
    bool isMutedFull() const { return m_muted.size() >= kMaxPhrases; }
    bool isFollowedFull() const { return m_followed.size() >= kMaxPhrases; }
    // What a list that took nothing more says where the phrase was given:
    // "You're at 200 muted phrases. Remove one to add another."
    static QString fullListText(bool muted);

    // True when the list holds the phrase ignoring case (not trimmed).
    bool isMuted(const QString& phrase) const;
    bool isFollowed(const QString& phrase) const;

    // The lists lower-cased, order kept: what headline matching uses.
    QStringList mutedLowercased() const;
    QStringList followedLowercased() const;

    // Writes both lists to the settings file before it returns; a list that
    // reads as stored is left as it is.
    void save();

Q_SIGNALS:
    void mutedChanged();
    void followedChanged();

private:
    enum class List { Muted, Followed };
    Added addPhrase(const QString& phrase, List target);
    QStringList& list(List which) { return which == List::Muted ? m_muted : m_followed; }
    void publish(List which);

    Defaults& m_defaults;
    StoredList m_storedMuted;
    StoredList m_storedFollowed;
    QStringList m_muted;
    QStringList m_followed;
};
