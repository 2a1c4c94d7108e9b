// Arbitrary text (UTF-8) through the colour and title helpers: Color::hex never
// fails and gives an opaque colour for every valid 3- or 6-digit text; a cleaned title has no
// blanks at either end.
#include "api/Color.h"
#include "api/ItemModels.h"

#include <QRegularExpression>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const QColor colour = Color::hex(text);
    if (!colour.isValid())
        std::abort();
    // Only the 8-digit layout carries its own opacity.
    if (Color::isValidHex(text) && colour.alpha() != 255 && text.count(QRegularExpression(QStringLiteral("[0-9A-Fa-f]"))) < 8)
        std::abort();

    FeedItem item;
    item.stableId = QStringLiteral("fuzz");
    item.title = text;
    const QString cleaned = item.cleanedTitle();
    if (cleaned != cleaned.trimmed())
        std::abort();
    return 0;
}
