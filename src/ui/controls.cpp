#include "controls.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace brevion {
namespace {

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
    button->setAccessibleName(caption);
    button->setAutoDefault(false);
    return button;
}

QRadioButton* MakeOption(QWidget* parent, const char* name, const QString& caption, const QRect& rect)
{
    auto* option = named(new QRadioButton(caption, parent), name, rect);
    if (!caption.isEmpty())
        option->setAccessibleName(caption);
    return option;
}

QLineEdit* MakeTextBox(QWidget* parent, const char* name, int maxLength, const QRect& rect)
{
    auto* box = named(new QLineEdit(parent), name, rect);
    if (maxLength > 0)
        box->setMaxLength(maxLength);
    return box;
}

QLineEdit* MakeReadOnlyBox(QWidget* parent, const char* name, const QRect& rect)
{
    auto* box = MakeTextBox(parent, name, 0, rect);
    box->setReadOnly(true);
    return box;
}

} // namespace brevion
