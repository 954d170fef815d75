#include "form.h"

#include "forms.h"
#include "twips.h"

#include <QCloseEvent>

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

} // namespace brevion
