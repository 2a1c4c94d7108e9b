#include "app/RootContent.h"

#include <QVBoxLayout>

RootContent::RootContent(ViewFactory makeSplash, ViewFactory makeStrip, QWidget* parent)
    : QWidget(parent), m_makeSplash(std::move(makeSplash)), m_makeStrip(std::move(makeStrip))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
}

void RootContent::setPhase(PhaseCase phase)
{
    if (m_phase == phase)
        return;
    m_phase = phase;
    QWidget* view = phase == PhaseCase::Running ? m_makeStrip() : m_makeSplash();
    if (m_view) {
        layout()->removeWidget(m_view);
        m_view->hide();
        m_view->deleteLater();
    }
    m_view = view;
    if (view) {
        layout()->addWidget(view);
        view->show();
    }
    Q_EMIT viewReplaced(view);
}
