#pragma once

#include "platform/storage/SettingsCatalogue.h"
#include <QPointer>
#include <QWidget>
#include <functional>

class Defaults;
class FeedStore;
class FilterStore;
class QHBoxLayout;
class QToolButton;
class Scheduler;
class SignalRotationOrb;
class StripServices;
class UrlOpener;
class WeatherSegment;

// The fixed panel at the leading end of the main strip: the settings
// button, the weather, the rotating orb (or, while a track plays and no
// topic is focused, the now-playing art block) and, in the top-right corner,
// the button that collapses the strip to mini mode and back. Its trailing
// edge fades into the strip behind it.
class FixedBrandBlock : public QWidget {
    Q_OBJECT
public:
    static inline const QString themeKey = Settings::themeBackground.key.toString();
    static inline const QString themeDefault = Settings::themeBackground.fallback.toString();
    static constexpr int fadeWidth = 30;

    struct Services {
        Defaults& defaults;
        FilterStore& filters;
        UrlOpener& opener;
        Scheduler& scheduler;
        StripServices& strip;
    };

    // `toggleMiniMode` flips the owner's mini mode, which answers with
    // setMiniMode().
    FixedBrandBlock(FeedStore& store, int size, bool miniMode, std::function<void()> toggleMiniMode,
                    Services services, QWidget* parent = nullptr);

    void setMiniMode(bool mini);
    bool isMiniMode() const { return m_miniMode; }
    // Another strip size: everything takes the new sizes in place; the orb
    // keeps its rotation and its breath.
    void setSize(int size);
    int sizeCode() const { return m_size; }

    QToolButton* settingsButton() const { return m_settings; }
    QToolButton* miniModeButton() const { return m_miniButton; }
    WeatherSegment* weather() const { return m_weather; }
    // The orb, or null while the art block stands in its place.
    SignalRotationOrb* orb() const;
    QWidget* artBlock() const;
    bool showsArtBlock() const;
    // The panel's width without the fade.
    int panelWidth() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void updateMiniButton();
    void updateSettingsButton();
    void updateTopicSlot();
    void panelChanged();
    void placeMiniButton();
    QColor themeColor() const;

    FeedStore& m_store;
    int m_size;
    bool m_miniMode;
    std::function<void()> m_toggleMiniMode;
    Services m_services;
    QWidget* m_panel;
    QHBoxLayout* m_row;
    QToolButton* m_settings;
    WeatherSegment* m_weather;
    QPointer<QWidget> m_topicSlot;  // the orb or the art block
    bool m_slotIsArt = false;
    QToolButton* m_miniButton;
};
