#pragma once

// Answers the outgoing connection wizard in window tests: the next modal show of the wizard is
// filled in and finished (or cancelled) as a user would.

#include "dialogs.h"
#include "forms.h"
#include "outgoingwiz.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

namespace wizardscript {

enum class Kind { Udp, TcpPowerup, TcpSerial };

struct Answer {
    QString ip;
    int port = 0;
    Kind kind = Kind::Udp;
    int seconds = 0; // TcpSerial: 0 = indefinitely
    bool login = false;
    bool cancel = false;
};

inline Answer Cancel()
{
    Answer a;
    a.cancel = true;
    return a;
}

inline void select(QRadioButton* option)
{
    QTest::mouseClick(option, Qt::LeftButton, {}, QPoint(6, option->height() / 2));
}

// Installs a responder for the next wizard run(s).
inline void answerWith(const Answer& a)
{
    brevion::SetModalResponder([a](QWidget& shown) {
        auto& w = brevion::Forms::Get<brevion::OutgoingWiz>();
        if (&shown != &w)
            return;
        if (a.cancel) {
            QTest::mouseClick(w.cmdCancel, Qt::LeftButton);
            return;
        }
        w.IPAddr->setText(a.ip);
        w.Port->setText(QString::number(a.port));
        select(a.kind == Kind::Udp ? w.optUDP : w.optTCP);
        if (a.kind != Kind::Udp) {
            QTest::mouseClick(w.cmdNext, Qt::LeftButton); // to page 1
            select(a.kind == Kind::TcpPowerup ? w.optWhenPowerup : w.optWhenSerial);
            QTest::mouseClick(w.cmdNext, Qt::LeftButton); // to page 2
            select(a.login ? w.LoginYes : w.LoginNo);
            if (a.kind == Kind::TcpSerial) {
                QTest::mouseClick(w.cmdNext, Qt::LeftButton); // to page 3
                if (a.seconds > 0) {
                    select(w.optForSeconds);
                    w.ForSeconds->setText(QString::number(a.seconds));
                } else {
                    select(w.optIndefinite);
                }
            }
        }
        QTest::mouseClick(w.cmdNext, Qt::LeftButton); // to the done page
        QTest::mouseClick(w.cmdNext, Qt::LeftButton); // Done
    });
}

} // namespace wizardscript
