#include "ticker/PaintedRowsAccessible.h"

#include <QPointer>
#include <QWidget>
#include <optional>

namespace {

// One painted row (part -1) or one labelled part of a row.
class PaintedElementAccessible final : public QAccessibleInterface {
public:
    PaintedElementAccessible(const PaintedRowsAccessible* view, int row, int part)
        : m_view(view), m_widget(view->view()), m_row(row), m_part(part)
    {
    }

    bool isValid() const override { return m_widget && current().has_value(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return m_widget ? m_widget->window()->windowHandle() : nullptr; }

    QList<QPair<QAccessibleInterface*, QAccessible::Relation>> relations(QAccessible::Relation) const override
    {
        return {};
    }
    QAccessibleInterface* focusChild() const override { return nullptr; }

    QAccessibleInterface* childAt(int x, int y) const override
    {
        for (int i = 0; i < childCount(); ++i) {
            QAccessibleInterface* c = child(i);
            if (c && c->rect().contains(x, y))
                return c;
        }
        return nullptr;
    }

    QAccessibleInterface* parent() const override
    {
        if (!m_widget)
            return nullptr;
        return m_part < 0 ? const_cast<PaintedRowsAccessible*>(m_view) : m_view->element(m_row, -1);
    }

    QAccessibleInterface* child(int index) const override
    {
        if (m_part >= 0 || !m_widget || index < 0 || index >= childCount())
            return nullptr;
        return m_view->element(m_row, index);
    }

    int childCount() const override
    {
        if (m_part >= 0 || !m_widget)
            return 0;
        const QList<PaintedRow> rows = m_view->rows();
        return m_row < rows.size() ? int(rows.at(m_row).parts.size()) : 0;
    }

    int indexOfChild(const QAccessibleInterface* child) const override
    {
        for (int i = 0; i < childCount(); ++i) {
            if (m_view->element(m_row, i) == child)
                return i;
        }
        return -1;
    }

    QString text(QAccessible::Text t) const override
    {
        const auto element = current();
        return t == QAccessible::Name && element ? element->name : QString();
    }
    void setText(QAccessible::Text, const QString&) override {}

    QRect rect() const override
    {
        const auto element = current();
        if (!element)
            return {};
        const QRect local = element->rect.toAlignedRect();
        return QRect(m_widget->mapToGlobal(local.topLeft()), local.size());
    }

    QAccessible::Role role() const override
    {
        const auto element = current();
        return element ? element->role : QAccessible::NoRole;
    }

    QAccessible::State state() const override
    {
        QAccessible::State s;
        const auto element = current();
        if (!element) {
            s.invalid = true;
            return s;
        }
        s.readOnly = true;
        // Painted outside the view's bounds (a scrolled-away cell).
        if (!element->rect.intersects(QRectF(m_widget->rect())))
            s.offscreen = true;
        if (!m_widget->isVisible())
            s.invisible = true;
        return s;
    }

private:
    struct Element {
        QAccessible::Role role;
        QString name;
        QRectF rect;
    };
    std::optional<Element> current() const
    {
        if (!m_widget)
            return std::nullopt;
        const QList<PaintedRow> rows = m_view->rows();
        if (m_row < 0 || m_row >= rows.size())
            return std::nullopt;
        const PaintedRow& row = rows.at(m_row);
        if (m_part < 0)
            return Element{row.role, row.name, row.rect};
        if (m_part >= row.parts.size())
            return std::nullopt;
        const PaintedPart& part = row.parts.at(m_part);
        return Element{part.role, part.name, part.rect};
    }

    const PaintedRowsAccessible* m_view;
    QPointer<QWidget> m_widget;
    int m_row;
    int m_part;
};

QAccessibleInterface* paintedRowsFactory(const QString& className, QObject* object)
{
    // Answers at the object's own class, before the interfaces of its base
    // classes (QWidget's) are looked for.
    if (!object || !object->isWidgetType() || className != QLatin1String(object->metaObject()->className()))
        return nullptr;
    const auto* source = dynamic_cast<const PaintedRowsSource*>(object);
    return source ? new PaintedRowsAccessible(static_cast<QWidget*>(object), *source) : nullptr;
}

} // namespace

void PaintedRowsAccessible::installFactory()
{
    static const bool installed = [] {
        QAccessible::installFactory(&paintedRowsFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

PaintedRowsAccessible::PaintedRowsAccessible(QWidget* view, const PaintedRowsSource& source)
    : QAccessibleWidget(view, QAccessible::List), m_source(source)
{
}

PaintedRowsAccessible::~PaintedRowsAccessible()
{
    // The rows' interfaces point back at this one; those the cache has not
    // already let go of go with it.
    for (const QAccessible::Id id : std::as_const(m_elements)) {
        if (QAccessible::accessibleInterface(id))
            QAccessible::deleteAccessibleInterface(id);
    }
}

QList<PaintedRow> PaintedRowsAccessible::rows() const
{
    return widget() ? m_source.accessibleRows() : QList<PaintedRow>();
}

QAccessibleInterface* PaintedRowsAccessible::element(int row, int part) const
{
    const QPair<int, int> key(row, part);
    if (const auto found = m_elements.constFind(key); found != m_elements.cend()) {
        if (QAccessibleInterface* iface = QAccessible::accessibleInterface(*found))
            return iface;
    }
    auto* iface = new PaintedElementAccessible(this, row, part);
    m_elements.insert(key, QAccessible::registerAccessibleInterface(iface));
    return iface;
}

int PaintedRowsAccessible::childCount() const
{
    return int(rows().size());
}

QAccessibleInterface* PaintedRowsAccessible::child(int index) const
{
    if (index < 0 || index >= childCount())
        return nullptr;
    return element(index, -1);
}

int PaintedRowsAccessible::indexOfChild(const QAccessibleInterface* child) const
{
    for (auto it = m_elements.cbegin(); it != m_elements.cend(); ++it) {
        if (it.key().second < 0 && QAccessible::accessibleInterface(it.value()) == child)
            return it.key().first < childCount() ? it.key().first : -1;
    }
    return -1;
}

QAccessibleInterface* PaintedRowsAccessible::childAt(int x, int y) const
{
    for (int i = 0; i < childCount(); ++i) {
        QAccessibleInterface* row = child(i);
        if (row && !row->state().offscreen && row->rect().contains(x, y))
            return row;
    }
    return nullptr;
}
