#pragma once

#include "api/ManifestModels.h"

#include <QWidget>
#include <functional>

class QCheckBox;
class QLabel;

// One catalogue feed in the Sources and RSS tabs: its title, its category
// and host with the source-kind badge, and the on/off switch. A feed the
// catalogue marks inactive is never fetched, so its switch is disabled.
class CatalogueFeedRow : public QWidget {
    Q_OBJECT
public:
    // `onToggle` runs when the user flips the switch; the row then shows
    // what setOn() says, not the flip.
    CatalogueFeedRow(const FeedIndexItem& feed, std::function<void()> onToggle, QWidget* parent = nullptr);

    const QString& feedId() const { return m_id; }
    bool isActive() const { return m_active; }
    void setOn(bool on);
    bool isOn() const;
    // Whether a filter text (already trimmed) names this feed: its title,
    // category, source kind or address contains it, ignoring case.
    bool matches(const QString& filter) const;

    QLabel* titleLabel() const { return m_title; }
    QLabel* subtitleLabel() const { return m_subtitle; }
    QWidget* badge() const { return m_badge; }
    QCheckBox* enableSwitch() const { return m_switch; }

    // The feed's category name, "Other" without one.
    static QString categoryName(const FeedIndexItem& feed);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_id;
    bool m_active;
    QString m_haystack;  // lower-cased texts the filter looks in
    QLabel* m_title;
    QLabel* m_subtitle;
    QWidget* m_badge;
    QCheckBox* m_switch;
};
