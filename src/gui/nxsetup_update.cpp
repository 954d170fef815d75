#include "gui/nxsetup.h"

// The way to the update window, and MAC address programming of a new device.

#include "update/blockpacker.h"
#include "ui/controls.h"
#include "ui/dialogs.h"
#include "gui/enteremacaddr.h"
#include "ui/forms.h"
#include "config/maccommand.h"
#include "ui/msgbox.h"
#include "gui/nxupdate.h"
#include "ui/waitloop.h"

#include <QLineEdit>

namespace brevion {

void NxSetup::cmdPgmProgram_Click()
{
    // The update window binds the same local port.
    m_exchange.Close();
    NxUpdate& update = Forms::Get<NxUpdate>();
    update.SetDeviceIP(DeviceIP());
    update.HdweVer->setText(HdweVer->text());
    update.BootVer->setText(BootVer->text());
    update.FirmVer->setText(FirmVer->text());
    update.Move(Left() + 360, Top() + 360);
    DisableControl(this);

    bool cancelled = false;
    update.SelectBinFile(cancelled);
    if (cancelled) {
        Forms::Unload<NxUpdate>();
        EnableControl(this);
        ZOrder();
        return;
    }
    update.show();
    // The update window may also unload itself (title-bar close): only its class is looked at.
    WaitUntil([] { return !Forms::IsVisible<NxUpdate>(); });
    Forms::Unload<NxUpdate>();
    EnableControl(this);
    ZOrder();
    cmdRead_Click();
}

bool NxSetup::ProgramMacAddress()
{
    EnterMacAddr& dialog = Forms::Get<EnterMacAddr>();
    dialog.NewAddr->clear();
    for (;;) {
        ShowModal(dialog);
        if (dialog.Cancelled)
            return false;
        const QString entry = dialog.NewAddr->text();
        const MacEntryProblem problem = CheckMacEntry(entry);
        if (problem != MacEntryProblem::None) {
            MsgBox(MacEntryMessage(problem), MsgButtons::Ok, QString(), this);
            continue;
        }
        if (!m_exchange.RunAndWait(MacCommand(*MacAddressFromEntry(entry)), CommandExchange::OpMacAddress))
            continue;
        if (m_exchange.RunAndWait(RestartCommand(), CommandExchange::OpMacRestart))
            return true;
    }
}

} // namespace brevion
