#pragma once

#include "api/ItemModels.h"

#include <QList>
#include <QString>

// One choice of a strip picker: the label shown and the value stored.
template <class T>
struct StripOption {
    QString label;
    T value;
};

// The choices the strip's menu and the strip settings offer.
namespace StripOptions {

const QList<StripOption<QString>>& positionOptions();  // Top, Bottom
const QList<StripOption<int>>& sizeOptions();          // Compact 1, Standard 2, Large 4
const QList<StripOption<double>>& speedOptions();      // 0.5 … 10
const QList<StripOption<QString>>& mixOptions();       // the main strip: Shuffle, Latest
// The second strip: Latest, Shuffle, Music Lane, Market Quotes, then one
// "cat:" + slug entry per news category of `items`, by name.
QList<StripOption<QString>> stripMixOptions(const QList<FeedItem>& items);
// The background themes by name, in the theme list's order.
QList<StripOption<QString>> themeOptions();

} // namespace StripOptions
