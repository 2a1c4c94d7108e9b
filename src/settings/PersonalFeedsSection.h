#pragma once

#include "personal/PersonalFeed.h"
#include "settings/AddPersonalFeedSheet.h"

#include <QList>
#include <QMessageBox>
#include <QPointer>
#include <QWidget>
#include <optional>

class BusySpinner;
class ListCutNotice;
class Clock;
class PersonalFeedRow;
class PersonalFeedStore;
class PillButton;
class QLabel;
class QVBoxLayout;

// The RSS tab's list of the user's own feeds, with the add-feed sheet: a
// header with the count of switched-on feeds, a spinner while the store
// refreshes and the add button (disabled at the feed limit), a line when the
// stored list was cut to the limit as it was read, then one row per feed or
// a short explanation while there are none. Everything shown follows
// the store's signals; every change goes through a store operation.
class PersonalFeedsSection : public QWidget {
    Q_OBJECT
public:
    // `store` defaults to PersonalFeedStore::shared(), `clock` (for the
    // rows' "Fetched …" times) to the system clock.
    explicit PersonalFeedsSection(QWidget* parent = nullptr, PersonalFeedStore* store = nullptr,
                                  Clock* clock = nullptr);
    ~PersonalFeedsSection() override;

    // "Private to this computer", or "2 of 3 on · private to this computer".
    static QString countText(const QList<PersonalFeed>& feeds);

    QLabel* countLine() const { return m_count; }
    PillButton* addButton() const { return m_add; }
    BusySpinner* spinner() const { return m_spinner; }
    QLabel* emptyText() const { return m_empty; }
    // The line telling of feeds past the limit left out as the list was read.
    ListCutNotice* cutNotice() const { return m_cut; }
    const QList<PersonalFeedRow*>& rows() const { return m_rows; }

    // Opens the add-feed sheet (a fresh one each time) unless one is open.
    void showAddSheet();
    // The open sheet, or null.
    AddPersonalFeedSheet* addSheet() const { return m_sheet; }

    // The feed whose removal waits for the user's answer, and the question.
    const std::optional<PersonalFeed>& confirmRemove() const { return m_confirmRemove; }
    QMessageBox* removalConfirmation() const { return m_confirmation; }

private:
    void rebuildRows();
    void refreshHeader();
    void askToRemove(const PersonalFeed& feed);
    void answerRemoval(bool remove);

    PersonalFeedStore& m_store;
    Clock& m_clock;
    QLabel* m_count;
    BusySpinner* m_spinner;
    PillButton* m_add;
    QLabel* m_empty;
    ListCutNotice* m_cut;
    QWidget* m_list;
    QVBoxLayout* m_listLayout;
    QList<PersonalFeedRow*> m_rows;
    QPointer<AddPersonalFeedSheet> m_sheet;
    std::optional<PersonalFeed> m_confirmRemove;
    QPointer<QMessageBox> m_confirmation;
};
