#pragma once

#include <QWidget>

class FeedStore;
class QLabel;
class QPushButton;

// What support asks for: the endpoints in use, the store's phase and last
// refresh, and how many catalogue, personal and music-lane items are loaded,
// with "Copy diagnostics" putting all of it on the clipboard as text.
class DiagnosticsTab : public QWidget {
    Q_OBJECT
public:
    explicit DiagnosticsTab(FeedStore& store, QWidget* parent = nullptr);

    QLabel* reportLabel() const { return m_report; }
    QPushButton* copyButton() const { return m_copy; }

    // One "name: value" line each.
    static QString report(const FeedStore& store);

private:
    FeedStore& m_store;
    QLabel* m_report;
    QPushButton* m_copy;
};
