#pragma once

#include <QWidget>

class ConfigSection;
class Defaults;
class FeedStore;
class FilterStore;
class ListCutNotice;
class OutcomeLine;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class ReadStore;

// The Filters tab: the muted and followed phrases (added trimmed, removed
// ignoring case, listed as stored), the "dimReadItems" switch and clearing
// the read history. A phrase a full list does not take stays in its field,
// with the line saying so below it. Follows changes made elsewhere (the strip's keyword menu,
// a headline opened) while it is shown.
class FiltersTab : public QWidget {
    Q_OBJECT
public:
    // `filters`, `reads` and `defaults` default to the shared instances.
    explicit FiltersTab(FeedStore& store, QWidget* parent = nullptr, FilterStore* filters = nullptr,
                        ReadStore* reads = nullptr, Defaults* defaults = nullptr);

    QLineEdit* muteField() const { return m_muteField; }
    QLineEdit* followField() const { return m_followField; }
    // What shows below the field of that list; empty while nothing does.
    QString fullListLine(bool muted) const;
    QCheckBox* dimSwitch() const { return m_dim; }
    QPushButton* clearHistoryButton() const { return m_clearHistory; }
    QLabel* historyLabel() const { return m_historyCount; }
    // The phrases listed, in order, and the button that removes each.
    QStringList shownMuted() const;
    QStringList shownFollowed() const;
    QPushButton* removeButton(bool muted, const QString& phrase) const;
    // The line telling of phrases past the limit left out as a list was read.
    ListCutNotice* cutNotice(bool muted) const { return muted ? m_mutedCut : m_followedCut; }

private:
    enum class Which { Muted, Followed };
    ConfigSection* makePhraseSection(Which which);
    void add(Which which);
    void remove(Which which, const QString& phrase);
    void showPhrases(Which which);
    void showHistory();
    void showDim();

    FilterStore& m_filters;
    ReadStore& m_reads;
    Defaults& m_defaults;
    QLineEdit* m_muteField = nullptr;
    QLineEdit* m_followField = nullptr;
    OutcomeLine* m_muteFull = nullptr;
    OutcomeLine* m_followFull = nullptr;
    QWidget* m_mutedList = nullptr;
    QWidget* m_followedList = nullptr;
    ListCutNotice* m_mutedCut = nullptr;
    ListCutNotice* m_followedCut = nullptr;
    QCheckBox* m_dim = nullptr;
    QLabel* m_historyCount = nullptr;
    QPushButton* m_clearHistory = nullptr;
};
