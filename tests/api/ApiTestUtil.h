#pragma once

#include <QByteArray>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <ostream>

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
inline void PrintTo(const QByteArray& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

inline QByteArray fixture(const QString& name)
{
    QFile f(QStringLiteral(TIDEWIRE_FIXTURES_DIR "/") + name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline QJsonObject jsonObject(const QByteArray& text) { return QJsonDocument::fromJson(text).object(); }
