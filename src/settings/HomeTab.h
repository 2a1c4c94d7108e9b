#pragma once

#include <QWidget>

class FeedStore;
class QLabel;

// The store at a glance: phase and status text, connection, how many
// headlines are loaded and when the last refresh applied, with buttons that
// open the search window and the board.
class HomeTab : public QWidget {
    Q_OBJECT
public:
    explicit HomeTab(FeedStore& store, QWidget* parent = nullptr);

    QLabel* phaseLabel() const { return m_phase; }
    QLabel* statusLabel() const { return m_status; }
    QLabel* connectionLabel() const { return m_connection; }
    QLabel* headlinesLabel() const { return m_headlines; }
    QLabel* lastRefreshLabel() const { return m_lastRefresh; }

    // "Starting…", "Running" or "Error: " + the message.
    static QString phaseText(const FeedStore& store);

private:
    void refreshTexts();

    FeedStore& m_store;
    QLabel* m_phase;
    QLabel* m_status;
    QLabel* m_connection;
    QLabel* m_headlines;
    QLabel* m_lastRefresh;
};
