#pragma once

#include <QLineEdit>

// The filter field above a tab's feed list: one line with a clear button.
class FeedFilterField : public QLineEdit {
    Q_OBJECT
public:
    FeedFilterField(const QString& placeholder, QWidget* parent = nullptr);
};
