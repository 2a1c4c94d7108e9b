#pragma once

#include "api/ItemModels.h"

#include <QList>
#include <QString>

// One news category a stacked strip can show.
struct CategoryMixOption {
    QString slug;  // lower-cased
    QString name;  // the category's name, or the slug capitalised
    friend bool operator==(const CategoryMixOption&, const CategoryMixOption&) = default;
};

// One option per distinct non-empty category slug of the items' sources
// (a later item names the slug's category over an earlier one), sorted by
// name.
QList<CategoryMixOption> categoryMixOptions(const QList<FeedItem>& items);
