#include "settings/SaveNotice.h"

#include "platform/storage/Defaults.h"
#include "settings/AddPersonalFeedSheet.h"

#include <QVBoxLayout>

SaveNotice::SaveNotice(Defaults& defaults, QWidget* parent)
    : QWidget(parent), m_defaults(defaults), m_line(new OutcomeLine(this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 10, 16, 10);
    layout->addWidget(m_line);
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(QStringLiteral("SaveNotice { background: rgb(52, 36, 18); }"));
    connect(&m_defaults, &Defaults::saveErrorChanged, this, &SaveNotice::refresh);
    refresh();
}

QString SaveNotice::text() const
{
    return isHidden() ? QString() : m_line->text();
}

void SaveNotice::refresh()
{
    const QString problem = m_defaults.saveProblem();
    if (problem.isEmpty()) {
        hide();
        return;
    }
    m_line->showOutcome(problem + QStringLiteral(" Changes you make now last only until Tidewire quits."), false);
    show();
}
