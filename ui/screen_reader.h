#pragma once

#include <QAccessible>
#include <QWidget>

namespace fretmap {

// Gives `widget` the role `role` for a screen reader, in place of the one
// that Qt infers from its class; its name is its accessible name. Orca, for
// one, takes a plain frame for a window of its own, and speaks a
// notification only by its role.
void setAccessibleRole(QWidget* widget, QAccessible::Role role);

// Holds back the accessibility events of the widgets changed while it lives,
// for widgets that a screen reader does not meet one by one.
class QuietAccessibility {
public:
    QuietAccessibility();
    ~QuietAccessibility();

    QuietAccessibility(const QuietAccessibility&) = delete;
    QuietAccessibility& operator=(const QuietAccessibility&) = delete;

private:
    QAccessible::UpdateHandler m_previous;
};

// A line for a screen reader only, out of sight: each say() is spoken as a
// notification, the same text again too, wherever the focus is. Orca speaks
// no change of a widget that does not have the focus, but it does speak a
// notification that shows.
class SpokenNotice : public QWidget {
    Q_OBJECT

public:
    explicit SpokenNotice(QWidget* parent = nullptr);

    void say(const QString& text);
};

} // namespace fretmap
