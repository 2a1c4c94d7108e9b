#include "ticker/HostLabel.h"

#include "api/ItemModels.h"

#include <QUrl>

namespace HostLabel {

QString forItem(const FeedItem& item)
{
    if (!item.url)
        return {};
    const QUrl url(item.url->trimmed());
    if (!url.isValid())
        return {};
    QString host = url.host().toLower();
    if (host.isEmpty())
        return {};
    if (host.startsWith(QLatin1String("www.")))
        host.remove(0, 4);
    if (host == aggregatorHost && item.source && item.source->title && !item.source->title->isEmpty())
        return *item.source->title;
    return host;
}

} // namespace HostLabel
