#include "screen_reader.h"

#include <QAccessibleWidget>
#include <QVariant>
#include <QWidget>

namespace fretmap {

namespace {

constexpr const char* kRoleProperty = "fretmapAccessibleRole";

QAccessibleInterface* roleAccessible(const QString& /*className*/, QObject* object)
{
    auto* widget = qobject_cast<QWidget*>(object);
    if (!widget)
        return nullptr;
    const QVariant role = widget->property(kRoleProperty);
    if (!role.isValid())
        return nullptr;
    return new QAccessibleWidget(widget, static_cast<QAccessible::Role>(role.toInt()));
}

void ignoreUpdate(QAccessibleEvent* /*event*/) {}

} // namespace

void setAccessibleRole(QWidget* widget, QAccessible::Role role)
{
    [[maybe_unused]] static const bool factoryInstalled = [] {
        QAccessible::installFactory(roleAccessible);
        return true;
    }();
    widget->setProperty(kRoleProperty, static_cast<int>(role));
}

QuietAccessibility::QuietAccessibility()
    : m_previous(QAccessible::installUpdateHandler(ignoreUpdate))
{
}

QuietAccessibility::~QuietAccessibility()
{
    QAccessible::installUpdateHandler(m_previous);
}

SpokenNotice::SpokenNotice(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("spokenNotice"));
    setAccessibleRole(this, QAccessible::Notification);
    setGeometry(0, 0, 0, 0); // nothing to see: it has no size
    hide();
}

void SpokenNotice::say(const QString& text)
{
    // Shown again, it is a new notification for the screen reader.
    hide();
    {
        const QuietAccessibility quiet; // only the showing is news
        setAccessibleName(text);
    }
    show();
}

} // namespace fretmap
