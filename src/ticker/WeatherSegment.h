#pragma once

#include "platform/storage/SettingsCatalogue.h"
#include <QWidget>

class Defaults;
class FeedStore;

// The weather reading of the brand block: an orange dot, the city in small
// capitals over the temperature. Before the first reading it shows the
// "weatherCity" setting over "--°C".
class WeatherSegment : public QWidget {
    Q_OBJECT
public:
    static inline const QString cityKey = Settings::weatherCity.key.toString();
    static inline const QString cityDefault = Settings::weatherCity.fallback.toString();

    WeatherSegment(FeedStore& store, int size, Defaults& defaults, QWidget* parent = nullptr);

    void setSize(int size);
    QString captionText() const;
    QString valueText() const;
    static double dotDiameter(int size);
    static QFont captionFont(int size);
    static QFont valueFont(int size);

    QSize sizeHint() const override;

Q_SIGNALS:
    // The city or the reading changed, and with them the ideal size.
    void contentChanged();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void textChanged();

    FeedStore& m_store;
    Defaults& m_defaults;
    int m_size;
};
