#include "platform/session/NotificationCenter.h"

NotificationCenter& NotificationCenter::shared()
{
    static auto* center = new NotificationCenter;
    return *center;
}

void NotificationCenter::post(const QString& name, const QVariantMap& userInfo)
{
    Q_EMIT posted(name, userInfo);
}
