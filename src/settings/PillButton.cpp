#include "settings/PillButton.h"

#include "api/Color.h"
#include "settings/BusySpinner.h"
#include "settings/FocusRing.h"
#include "settings/SettingsLook.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>

namespace {
constexpr qreal kCornerRadius = 4;
constexpr qreal kDisabledOpacity = 0.4;
} // namespace

PillButton::PillButton(const QString& text, int fontSize, QSize padding, QWidget* parent)
    : QAbstractButton(parent),
      m_text(SettingsLook::label(text, SettingsLook::font(fontSize, QFont::Bold, true), Qt::white)),
      m_spinner(new BusySpinner(Qt::white))
{
    setText(text);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName(text);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(padding.width(), padding.height(), padding.width(), padding.height());
    layout->setSpacing(6);
    m_text->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_spinner->hide();
    layout->addWidget(m_spinner, 0, Qt::AlignVCenter);
    layout->addWidget(m_text, 0, Qt::AlignVCenter);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void PillButton::setLabel(const QString& text)
{
    setText(text);
    setAccessibleName(text);
    m_text->setText(text);
}

QString PillButton::label() const
{
    return m_text->text();
}

void PillButton::setBusy(bool busy)
{
    m_spinner->setVisible(busy);
}

bool PillButton::isBusy() const
{
    return !m_spinner->isHidden();
}

QColor PillButton::fillColor() const
{
    return isEnabled() ? Color::accentBlue() : SettingsLook::withOpacity(Color::accentBlue(), kDisabledOpacity);
}

QSize PillButton::sizeHint() const
{
    return layout()->sizeHint();
}

void PillButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(fillColor());
    painter.drawRoundedRect(QRectF(rect()), kCornerRadius, kCornerRadius);
    if (FocusRing::shows(this))
        FocusRing::paint(painter, QRectF(rect()), kCornerRadius);
}

void PillButton::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::EnabledChange)
        update();
    QAbstractButton::changeEvent(event);
}
