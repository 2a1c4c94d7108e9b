#pragma once

#include "personal/PersonalFeed.h"

#include <QWidget>
#include <functional>

class Clock;
class QCheckBox;
class QLabel;
class QToolButton;

// One of the user's own feeds in the personal feeds section: a status dot,
// the title over the host (or the last error), the item count, a remove
// button and the on/off switch. The row only reports the user's actions;
// the section turns them into store operations.
class PersonalFeedRow : public QWidget {
    Q_OBJECT
public:
    PersonalFeedRow(PersonalFeed feed, std::function<void()> onToggle, std::function<void()> onRemove,
                    Clock& clock, QWidget* parent = nullptr);

    const PersonalFeed& feed() const { return m_feed; }

    // What the row shows, for the section and its tests.
    QWidget* statusDot() const { return m_dot; }
    QColor dotColor() const;
    qreal dotOpacity() const;
    QLabel* titleLabel() const { return m_title; }
    QLabel* subtitleLabel() const { return m_subtitle; }
    QLabel* itemBadge() const { return m_badge; }
    qreal badgeFillOpacity() const;
    QToolButton* removeButton() const { return m_remove; }
    QCheckBox* enableSwitch() const { return m_switch; }

    // The host of `url` lower-cased without "www.", or `url` itself when it
    // has none.
    static QString hostLine(const QString& url);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString fetchedText(Clock& clock) const;

    PersonalFeed m_feed;
    QWidget* m_dot;
    QLabel* m_title;
    QLabel* m_subtitle;
    QLabel* m_badge;
    QToolButton* m_remove;
    QCheckBox* m_switch;
};
