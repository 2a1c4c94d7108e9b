#include "settings/EnableSwitch.h"

#include <QAccessible>
#include <QAccessibleWidget>

namespace {

// Qt's own check box interface keeps its value empty and cannot be derived
// from, so the switch brings one that speaks as a check box and adds the
// value.
class EnableSwitchAccessible final : public QAccessibleWidget {
public:
    explicit EnableSwitchAccessible(EnableSwitch* box) : QAccessibleWidget(box, QAccessible::CheckBox) {}

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value)
            return box()->accessibleValue();
        return QAccessibleWidget::text(t);
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.checkable = true;
        s.checked = box()->isChecked();
        return s;
    }

    QStringList actionNames() const override
    {
        QStringList names = QAccessibleWidget::actionNames();
        if (box()->isEnabled())
            names.prepend(toggleAction());
        return names;
    }

    void doAction(const QString& actionName) override
    {
        if (actionName == toggleAction() || actionName == pressAction()) {
            if (box()->isEnabled())
                box()->click();
            return;
        }
        QAccessibleWidget::doAction(actionName);
    }

private:
    EnableSwitch* box() const { return static_cast<EnableSwitch*>(widget()); }
};

QAccessibleInterface* enableSwitchFactory(const QString& className, QObject* object)
{
    if (className == QLatin1String(EnableSwitch::staticMetaObject.className()) && object && object->isWidgetType())
        return new EnableSwitchAccessible(static_cast<EnableSwitch*>(object));
    return nullptr;
}

} // namespace

EnableSwitch::EnableSwitch(QWidget* parent) : QCheckBox(parent)
{
    static const bool installed = [] {
        QAccessible::installFactory(&enableSwitchFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

QString EnableSwitch::accessibleValue() const
{
    return isChecked() ? QStringLiteral("Enabled") : QStringLiteral("Disabled");
}
