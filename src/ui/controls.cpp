#include "ui/controls.h"

#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QVariant>

#include <algorithm>

namespace brevion {
namespace {

// The widget that had the focus when a control was disabled, kept on the control.
constexpr const char* kParkedFocus = "brevionParkedFocus";
// The typing limit a text box was made with.
constexpr const char* kTypingLimit = "brevionTypingLimit";

template <class W> W* named(W* widget, const char* name, const QRect& rect)
{
    widget->setObjectName(QLatin1String(name));
    if (!rect.isNull())
        widget->setGeometry(rect);
    return widget;
}

} // namespace

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, const QRect& rect)
{
    auto* label = named(new QLabel(text, parent), name, rect);
    label->setTextFormat(Qt::PlainText);
    return label;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption, const QRect& rect)
{
    auto* button = named(new QPushButton(caption, parent), name, rect);
    button->setAutoDefault(false);
    return button;
}

QRadioButton* MakeOption(QWidget* parent, const char* name, const QString& caption, const QRect& rect)
{
    return named(new QRadioButton(caption, parent), name, rect);
}

QLineEdit* MakeTextBox(QWidget* parent, const char* name, int maxLength, const QRect& rect)
{
    auto* box = named(new QLineEdit(parent), name, rect);
    if (maxLength > 0) {
        box->setMaxLength(maxLength);
        box->setProperty(kTypingLimit, maxLength);
    }
    return box;
}

void SetWholeText(QLineEdit* box, const QString& text)
{
    const QVariant limit = box->property(kTypingLimit);
    if (limit.isValid())
        box->setMaxLength(std::max<int>(limit.toInt(), int(text.size())));
    box->setText(text);
}

QLineEdit* MakeReadOnlyBox(QWidget* parent, const char* name, const QRect& rect)
{
    auto* box = MakeTextBox(parent, name, 0, rect);
    box->setReadOnly(true);
    return box;
}

QTableWidget* MakeGrid(QWidget* parent, const char* name, int rows, int columns, const QRect& rect)
{
    auto* grid = named(new QTableWidget(rows, columns, parent), name, rect);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setTabKeyNavigation(false);
    return grid;
}

void DisableControl(QWidget* control)
{
    QWidget* window = control->window();
    const QPointer<QWidget> focused = window->focusWidget();
    const bool hadFocus = focused && (focused == control || control->isAncestorOf(focused));
    control->setEnabled(false);
    if (!hadFocus)
        return;
    control->setProperty(kParkedFocus, QVariant::fromValue(focused));
    // Parked on the window itself, not cleared: a window without a focus widget that becomes
    // active (the click that started the operation activates it, often while the operation
    // runs) hands the focus to its first control, and that would look like the user's choice.
    window->setFocus(Qt::OtherFocusReason);
}

void EnableControl(QWidget* control)
{
    control->setEnabled(true);
    const auto parked = control->property(kParkedFocus).value<QPointer<QWidget>>();
    control->setProperty(kParkedFocus, QVariant());
    QWidget* window = control->window();
    const QWidget* focused = window->focusWidget();
    if (parked && parked->isEnabled() && (!focused || focused == window))
        parked->setFocus(Qt::OtherFocusReason);
}

} // namespace brevion
