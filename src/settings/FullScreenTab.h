#pragma once

#include <QWidget>

class Defaults;
class FeedStore;
class QLabel;
class QPushButton;

// The full-screen board: a button that opens it, the monitor it opens on
// (the strip's chosen monitor, else the primary screen) and how to leave it.
class FullScreenTab : public QWidget {
    Q_OBJECT
public:
    // `defaults` defaults to Defaults::standard().
    explicit FullScreenTab(FeedStore& store, QWidget* parent = nullptr, Defaults* defaults = nullptr);

    QPushButton* openButton() const { return m_open; }
    QLabel* monitorLabel() const { return m_monitor; }

    // The name of the screen the board opens on; "No screen" without one.
    static QString boardScreenName(const Defaults& defaults);

private:
    QPushButton* m_open;
    QLabel* m_monitor;
};
