#pragma once

#include "markets/MarketsStore.h"

#include <QWidget>

class Defaults;
class FeedStore;
class QLabel;
class QLineEdit;
class QPushButton;
class WatchlistEditor;

// The Markets tab: the user's Finnhub key (typed into a masked field, saved
// through the market store into the secret store, back in the field when the
// keyring did not take it, never shown in the clear, and its state shown
// live), a link to get a key, the watchlist editor, and showing
// the market quotes on the second ticker.
class MarketsTab : public QWidget {
    Q_OBJECT
public:
    static inline const QString marketsMix = QStringLiteral("markets");

    // `markets` and `defaults` default to the shared instances.
    explicit MarketsTab(FeedStore& store, QWidget* parent = nullptr, MarketsStore* markets = nullptr,
                        Defaults* defaults = nullptr);

    // Switches the second ticker on with `mix`, then places the strips again.
    void showOnSecondTicker(const QString& mix);

    // What the key's state reads as.
    static QString keyStatusText(const MarketsStore::KeyStatus& status);

    QLineEdit* keyField() const { return m_keyField; }
    QPushButton* saveKeyButton() const { return m_saveKey; }
    QPushButton* removeKeyButton() const { return m_removeKey; }
    QLabel* keyStatusLabel() const { return m_keyStatus; }
    QPushButton* registerButton() const { return m_register; }
    QPushButton* secondTickerButton() const { return m_secondTicker; }
    QLabel* secondTickerLabel() const { return m_secondTickerState; }
    WatchlistEditor* watchlist() const { return m_watchlist; }

private:
    void saveKey();
    // The keyring's answer to the latest save or removal.
    void keySaved(bool written);
    void showKey();
    void showSecondTicker();

    MarketsStore& m_markets;
    Defaults& m_defaults;
    QLineEdit* m_keyField = nullptr;
    QString m_unsavedKey;  // saved from the field; the keyring has not taken it yet
    QPushButton* m_saveKey = nullptr;
    QPushButton* m_removeKey = nullptr;
    QLabel* m_keyStatus = nullptr;
    QPushButton* m_register = nullptr;
    QPushButton* m_secondTicker = nullptr;
    QLabel* m_secondTickerState = nullptr;
    WatchlistEditor* m_watchlist = nullptr;
};
