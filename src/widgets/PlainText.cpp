#include "widgets/PlainText.h"

#include <QLabel>
#include <QMessageBox>
#include <QTextBoundaryFinder>
#include <QTextDocument>

namespace PlainText {
namespace {

// Longer than this, a run of text with no line-break opportunity in it could
// make a tool tip wider than a screen.
constexpr qsizetype kLongestUnbroken = 60;

// `text` with an invisible line-break opportunity (a zero-width space)
// between every two graphemes of each run longer than kLongestUnbroken, and
// unchanged when it has none. A tool tip wraps only where a line may break,
// so without these one long word (an address, a compound) keeps it as wide
// as the word.
QString breakable(const QString& text)
{
    QString out;
    QTextBoundaryFinder lines(QTextBoundaryFinder::Line, text);
    qsizetype from = 0;
    for (qsizetype to = lines.toNextBoundary(); to != -1; from = to, to = lines.toNextBoundary()) {
        const QStringView run = QStringView(text).mid(from, to - from);
        if (run.size() <= kLongestUnbroken) {
            out += run;
            continue;
        }
        QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, run.data(), run.size());
        qsizetype start = 0;
        for (qsizetype end = graphemes.toNextBoundary(); end != -1; start = end, end = graphemes.toNextBoundary()) {
            if (start > 0)
                out += QChar(0x200B);
            out += run.mid(start, end - start);
        }
    }
    return out;
}

} // namespace

QString toolTip(const QString& text)
{
    const QString shown = breakable(text);
    // The same guess QToolTip makes: what it would not take for markup is
    // shown as written already. Escaped, the text keeps its spaces and line
    // breaks and still wraps.
    if (!Qt::mightBeRichText(shown))
        return shown;
    return QStringLiteral("<p style=\"white-space:pre-wrap\">") + shown.toHtmlEscaped() + QStringLiteral("</p>");
}

void setToolTip(QWidget* widget, const QString& text)
{
    widget->setToolTip(toolTip(text));
}

QString actionText(const QString& text)
{
    QString out = text;
    // A menu shows what follows a tab as the entry's shortcut.
    out.replace(QLatin1Char('\t'), QLatin1Char(' '));
    return out.replace(QLatin1Char('&'), QLatin1String("&&"));
}

QString windowTitle(const QString& text)
{
    QString out = text;
    return out.replace(QLatin1String("[*]"), QLatin1String("[*][*]"));
}

QLabel* label(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    return label;
}

void setMessage(QMessageBox& box, const QString& text, const QString& informative)
{
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    if (informative.isEmpty()) {
        box.setInformativeText({});
        return;
    }
    // The informative text has a label of its own, made when it is first
    // set: made with a harmless text, it is plain before it holds this one.
    box.setInformativeText(QStringLiteral(" "));
    if (auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel")))
        label->setTextFormat(Qt::PlainText);
    else if (Qt::mightBeRichText(informative))
        return box.setInformativeText(Qt::convertFromPlainText(informative));
    box.setInformativeText(informative);
}

} // namespace PlainText
