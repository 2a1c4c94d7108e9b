#include "personal/XmlEntityBudget.h"

#include <QHash>
#include <QRegularExpression>
#include <algorithm>

namespace {

constexpr qint64 kOverBudget = XmlEntityBudget::kMaxExpandedChars + 1;
constexpr qsizetype kMaxNameBytes = 256;

class ExpansionSizes {
public:
    explicit ExpansionSizes(const QHash<QString, QString>& entities) : m_values(entities) {}

    // Characters the entity expands to, capped just above the budget.
    qint64 sizeOf(const QString& name) { return sizeOf(name, 0); }
    QList<QString> names() const { return m_values.keys(); }

private:
    qint64 sizeOf(const QString& name, int depth)
    {
        if (auto known = m_sizes.constFind(name); known != m_sizes.cend())
            return *known;
        if (depth > 64)
            return kOverBudget;
        if (!m_values.contains(name))
            return 1;  // predefined ("&amp;") or undeclared: at most one character
        m_sizes.insert(name, kOverBudget);  // a reference loop stays over budget
        static const QRegularExpression reference(QStringLiteral("&([^&;#\\s]+);"));
        const QString value = m_values.value(name);
        qint64 total = value.size();
        for (const QRegularExpressionMatch& m : reference.globalMatch(value)) {
            total += sizeOf(m.captured(1), depth + 1) - m.capturedLength(0);
            if (total > XmlEntityBudget::kMaxExpandedChars) {
                total = kOverBudget;
                break;
            }
        }
        m_sizes.insert(name, std::max<qint64>(0, total));
        return m_sizes.value(name);
    }

    QHash<QString, QString> m_values;
    QHash<QString, qint64> m_sizes;
};

bool isAsciiCompatible(const QByteArray& document)
{
    if (document.startsWith("\xFE\xFF") || document.startsWith("\xFF\xFE"))
        return false;
    return !document.left(4).contains('\0');
}

} // namespace

bool XmlEntityBudget::allows(const QByteArray& document, const QHash<QString, QString>& entities)
{
    ExpansionSizes sizes(entities);
    QHash<QByteArray, qint64> byName;
    qint64 longest = 0;
    bool namesAreAscii = true;
    for (const QString& name : sizes.names()) {
        const qint64 size = sizes.sizeOf(name);
        longest = std::max(longest, size);
        byName.insert(name.toUtf8(), size);
        for (QChar c : name)
            namesAreAscii = namesAreAscii && c.unicode() < 0x80;
    }
    if (longest == 0)
        return true;
    const bool exact = namesAreAscii && isAsciiCompatible(document);

    qint64 total = 0;
    for (qsizetype at = document.indexOf('&'); at >= 0; at = document.indexOf('&', at + 1)) {
        if (!exact) {
            total += longest;
        } else {
            const QByteArrayView name = QByteArrayView(document).sliced(at + 1, std::min<qsizetype>(kMaxNameBytes + 1, document.size() - at - 1));
            const qsizetype end = name.indexOf(';');
            if (end > 0)
                total += byName.value(name.first(end).toByteArray(), 0);
        }
        if (total > kMaxExpandedChars)
            return false;
    }
    return true;
}
