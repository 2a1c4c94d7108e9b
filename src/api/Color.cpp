#include "api/Color.h"

#include "api/Palette.h"

namespace {

bool isTrimmedAway(QChar c)
{
    return !(c.isLetterOrNumber() || c.isMark());
}

QStringView trimmedHex(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isTrimmedAway(text[begin]))
        ++begin;
    while (end > begin && isTrimmedAway(text[end - 1]))
        --end;
    return text.sliced(begin, end - begin);
}

int hexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

// Reads an unsigned hex number from the start: optional 0x/0X, then digits
// until the first other character. Nothing readable is 0; overflow saturates.
quint64 scanHex(QStringView text)
{
    qsizetype i = 0;
    if (text.size() >= 3 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X') && hexDigit(text[2]) >= 0)
        i = 2;
    quint64 value = 0;
    for (; i < text.size(); ++i) {
        const int d = hexDigit(text[i]);
        if (d < 0)
            break;
        if (value > (std::numeric_limits<quint64>::max() >> 4))
            return std::numeric_limits<quint64>::max();
        value = (value << 4) | quint64(d);
    }
    return value;
}

} // namespace

namespace Color {

QColor hex(QStringView text)
{
    const QStringView trimmed = trimmedHex(text);
    const quint64 v = scanHex(trimmed);
    int r = 1, g = 1, b = 0, a = 1;
    switch (trimmed.size()) {
    case 3:
        r = int((v >> 8) & 0xF) * 17;
        g = int((v >> 4) & 0xF) * 17;
        b = int(v & 0xF) * 17;
        a = 255;
        break;
    case 6:
        r = int((v >> 16) & 0xFF);
        g = int((v >> 8) & 0xFF);
        b = int(v & 0xFF);
        a = 255;
        break;
    case 8:
        a = int((v >> 24) & 0xFF);
        r = int((v >> 16) & 0xFF);
        g = int((v >> 8) & 0xFF);
        b = int(v & 0xFF);
        break;
    default:
        break;
    }
    return QColor(r, g, b, a);
}

bool isValidHex(QStringView text)
{
    const QStringView trimmed = trimmedHex(text);
    if (trimmed.size() != 3 && trimmed.size() != 6 && trimmed.size() != 8)
        return false;
    for (QChar c : trimmed) {
        if (hexDigit(c) < 0)
            return false;
    }
    return true;
}

const QColor& rowBackground()
{
    static const QColor c = hex(u"16181D");
    return c;
}

const QColor& faintFill()
{
    static const QColor c = [] {
        QColor white = hex(u"FFFFFF");
        white.setAlphaF(0.07f);
        return white;
    }();
    return c;
}

const QColor& okGreen()
{
    static const QColor c = hex(u"34C759");
    return c;
}

const QColor& slate() { return Palette::slate(); }
const QColor& accentBlue() { return Palette::accent(); }
const QColor& hairline() { return Palette::faintWhite(); }
const QColor& mutedText() { return Palette::secondaryText(); }

} // namespace Color
