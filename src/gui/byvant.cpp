#include "gui/byvant.h"

#include "ui/forms.h"
#include "ui/logo.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace brevion {

ByVant::ByVant(QWidget* parent) : Form(parent)
{
    setObjectName(QStringLiteral("ByVant"));
    setWindowTitle(QStringLiteral("Credits"));
    setWindowIcon(AppIcon());

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 20, 24, 16);
    layout->setSpacing(8);

    QWidget* logo = CreateLogo(this);
    logo->setFixedSize(192, 96); // the logo's own proportions
    layout->addWidget(logo, 0, Qt::AlignHCenter);

    const QString lines[] = {
        QStringLiteral("Brevion, the configuration utility for Vant TALIX bridges"),
        QStringLiteral("Designed and written by the Brevion team"),
        QStringLiteral("With thanks to everyone who tried it on their own networks"),
    };
    int number = 1;
    for (const QString& text : lines) {
        auto* label = new QLabel(text, this);
        label->setObjectName(QStringLiteral("Label%1").arg(number++));
        label->setAlignment(Qt::AlignHCenter);
        layout->addWidget(label);
    }

    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdOK->setMinimumWidth(90);
    layout->addSpacing(8);
    layout->addWidget(cmdOK, 0, Qt::AlignHCenter);
    connect(cmdOK, &QPushButton::clicked, this, &ByVant::cmdOK_Click);
    SetEscapeButton(cmdOK);
}

void ByVant::cmdOK_Click() { Forms::Unload<ByVant>(); }

} // namespace brevion
