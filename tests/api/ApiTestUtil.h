#pragma once

#include <QByteArray>
#include <QColor>
#include <QFile>
#include <QJsonDocument>
#include <QString>
#include <ostream>
#include <QJsonObject>

inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

inline void PrintTo(const QByteArray& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

inline QByteArray fixture(const QString& name)
{
    QFile f(QStringLiteral(TIDEWIRE_FIXTURES_DIR "/") + name);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

inline QJsonObject jsonObject(const QByteArray& text)
{
    return QJsonDocument::fromJson(text).object();
}

struct Rgba {
    int r, g, b, a;
    friend bool operator==(const Rgba&, const Rgba&) = default;
    friend std::ostream& operator<<(std::ostream& os, const Rgba& c)
    {
        return os << "rgba(" << c.r << "," << c.g << "," << c.b << "," << c.a << ")";
    }
};

inline Rgba rgba(const QColor& c)
{
    return Rgba{c.red(), c.green(), c.blue(), c.alpha()};
}

// A colour given as 0..1 components, rounded the way QColor stores 8-bit values.
inline Rgba rgbaF(double r, double g, double b, double a = 1.0)
{
    return rgba(QColor::fromRgbF(float(r), float(g), float(b), float(a)));
}
