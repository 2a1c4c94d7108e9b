#pragma once

#include <QObject>
#include <QString>
#include <QVariantMap>

// In-process notifications by name, each with a small user-info map.
// post() delivers synchronously to every observer before it returns.
// Main thread only.
class NotificationCenter : public QObject {
    Q_OBJECT
public:
    static NotificationCenter& shared();

    void post(const QString& name, const QVariantMap& userInfo = {});

Q_SIGNALS:
    void posted(const QString& name, const QVariantMap& userInfo);

private:
    NotificationCenter() = default;
};
