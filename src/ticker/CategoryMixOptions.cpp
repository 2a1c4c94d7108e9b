#include "ticker/CategoryMixOptions.h"

#include <QMap>
#include <algorithm>

namespace {

// The first character of each word (words end at white space) upper-case,
// the rest lower-case: "ai-policy" gives "Ai-policy".
QString capitalised(const QString& text)
{
    QString out = text.toLower();
    bool atWordStart = true;
    for (QChar& c : out) {
        if (c.isSpace()) {
            atWordStart = true;
            continue;
        }
        if (atWordStart)
            c = c.toUpper();
        atWordStart = false;
    }
    return out;
}

} // namespace

QList<CategoryMixOption> categoryMixOptions(const QList<FeedItem>& items)
{
    QMap<QString, QString> names;  // slug -> name
    for (const FeedItem& item : items) {
        if (!item.source || !item.source->category || !item.source->category->slug)
            continue;
        const QString slug = item.source->category->slug->toLower();
        if (slug.isEmpty())
            continue;
        const std::optional<QString>& name = item.source->category->name;
        names.insert(slug, name ? *name : capitalised(slug));
    }
    QList<CategoryMixOption> options;
    for (auto it = names.cbegin(); it != names.cend(); ++it)
        options.append({it.key(), it.value()});
    std::stable_sort(options.begin(), options.end(),
                     [](const CategoryMixOption& a, const CategoryMixOption& b) { return a.name < b.name; });
    return options;
}
