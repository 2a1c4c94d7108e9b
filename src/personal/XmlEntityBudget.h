#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

// Guards the XML reader against documents whose internal entities expand to
// far more text than the document holds ("billion laughs" and its quadratic
// cousin: one long entity referenced many times). The reader already limits
// what one reference may expand to; this bounds the sum over the document.
class XmlEntityBudget {
public:
    // Characters that all entity references of one document may expand to.
    static constexpr qint64 kMaxExpandedChars = qint64(1) << 20;

    // Whether the references in `document` to the internal entities in
    // `entities` (name to replacement text as declared; external entities
    // are never read and are not listed) stay within kMaxExpandedChars. Conservative: where the
    // references cannot be told apart (UTF-16 documents, names outside
    // ASCII) every "&" counts as the longest entity.
    static bool allows(const QByteArray& document, const QHash<QString, QString>& entities);
};
