#include "ui/form.h"

#include "ui/forms.h"
#include "ui/twips.h"

#include <algorithm>

#include <QCloseEvent>
#include <QKeyEvent>
#include <QPushButton>

namespace brevion {

Form::Form(QWidget* parent) : QWidget(parent, Qt::Window) {}

int Form::Left() const { return PixelsToTwips(pos().x()); }
int Form::Top() const { return PixelsToTwips(pos().y()); }

void Form::Move(int leftTwips, int topTwips) { move(TwipsToPixels(leftTwips), TwipsToPixels(topTwips)); }

void Form::ZOrder()
{
    raise();
    activateWindow();
}

void Form::closeEvent(QCloseEvent* event)
{
    if (!QueryUnload()) {
        event->ignore();
        return;
    }
    event->ignore(); // the registry hides and destroys it
    Forms::UnloadWidget(this);
}

void Form::SetEscapeButton(QPushButton* button) { m_escapeButton = button; }

void Form::keyPressEvent(QKeyEvent* event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    const Qt::KeyboardModifiers others = event->modifiers() & ~Qt::KeyboardModifiers(Qt::KeypadModifier);
    if (event->key() == Qt::Key_Escape && others == Qt::NoModifier && m_escapeButton &&
        m_escapeButton->isEnabled() && m_escapeButton->isVisible()) {
        m_escapeButton->click();
        return;
    }
    if (!enter || others != Qt::NoModifier) {
        QWidget::keyPressEvent(event);
        return;
    }
    // Only keys the focused control did not take come here.
    auto* button = qobject_cast<QPushButton*>(focusWidget());
    if (!button) {
        const auto buttons = findChildren<QPushButton*>();
        const auto found = std::find_if(buttons.begin(), buttons.end(), [](const QPushButton* b) {
            return b->isDefault() && b->isVisible() && b->isEnabled();
        });
        button = found != buttons.end() ? *found : nullptr;
    }
    if (button && button->isEnabled() && button->isVisible())
        button->click();
    else
        QWidget::keyPressEvent(event);
}

} // namespace brevion
