#include "ui/platform.h"

#include <QApplication>
#include <QLabel>

namespace brevion {

void Beep() { QApplication::beep(); }

void NameByLabel(QLabel* label, QWidget* control)
{
    label->setBuddy(control);
    QString name = label->text();
    name.remove(QLatin1Char('&'));
    control->setAccessibleName(name.trimmed());
}

} // namespace brevion
