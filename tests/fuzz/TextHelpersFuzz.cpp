// Arbitrary text (UTF-8) through the text helpers that see what feeds and
// servers write: the colour parser, the title cleaner, the tolerant web
// address parser and the phrase matchers. The text up to the first newline is
// also split at "|" into phrases, the rest is a headline.
//
// Color::hex never fails and gives an opaque colour for every valid 3- or
// 6-digit text; a cleaned title has no blanks at either end; a web address is
// a valid http or https address; a strict phrase match is also a loose one;
// a text joined before a time leaves no direction scope open around the time.
#include "api/Color.h"
#include "api/ItemModels.h"
#include "api/ReadableText.h"
#include "platform/session/UrlOpener.h"

#include <QRegularExpression>

#include <cstdint>
#include <cstdlib>

namespace {

void checkColour(const QString& text)
{
    const QColor colour = Color::hex(text);
    if (!colour.isValid())
        std::abort();
    // Only the 8-digit layout carries its own opacity.
    static const QRegularExpression hexDigit(QStringLiteral("[0-9A-Fa-f]"));
    if (Color::isValidHex(text) && colour.alpha() != 255 && text.count(hexDigit) < 8)
        std::abort();
}

void checkAddress(const QString& text)
{
    const std::optional<QUrl> url = webUrl(text);
    if (!url)
        return;
    const QString scheme = url->scheme();
    if (!url->isValid() || (scheme != u"http" && scheme != u"https") || !isOpenableUrl(*url))
        std::abort();
}

void checkMatchers(const QString& text)
{
    const qsizetype newline = text.indexOf(u'\n');
    if (newline < 0)
        return;
    QStringList phrases;
    for (const QString& phrase : text.left(newline).split(u'|'))
        phrases.append(phrase.toLower());
    FeedItem item;
    item.stableId = QStringLiteral("fuzz");
    item.title = text.mid(newline + 1);
    if (item.matchesAny(phrases) && !item.looselyMatchesAny(phrases))
        std::abort();
}

void checkJoined(const QString& text)
{
    const QString time = QStringLiteral("6:56 PM");
    const QString line = ReadableText::joinedPieces({text, time}, u" \u2022 ");
    const qsizetype at = line.lastIndexOf(time);
    if (at < 0 || !ReadableText::closingScopes(line).isEmpty())
        std::abort();
    // What stands before the time closes all it opened: the time's own
    // isolate, if any, is the only scope around it.
    QStringView before = QStringView(line).first(at);
    if (before.endsWith(u'\u2068'))
        before.chop(1);
    if (!ReadableText::closingScopes(before).isEmpty())
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    checkColour(text);

    FeedItem item;
    item.stableId = QStringLiteral("fuzz");
    item.title = text;
    const QString cleaned = item.cleanedTitle();
    if (cleaned != cleaned.trimmed())
        std::abort();

    checkAddress(text);
    checkMatchers(text);
    checkJoined(text);
    return 0;
}
