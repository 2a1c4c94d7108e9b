#pragma once

#include <QWidget>

class PersonalFeedStore;

// The RSS tab's list of the user's own feeds, with the add-feed sheet.
class PersonalFeedsSection : public QWidget {
    Q_OBJECT
public:
    // `store` defaults to PersonalFeedStore::shared().
    explicit PersonalFeedsSection(QWidget* parent = nullptr, PersonalFeedStore* store = nullptr);
};
