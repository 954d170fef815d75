#include "gui/nxsetup.h"

// The rule list of the configuration window: adding, changing and removing rules.

#include "ui/dialogs.h"
#include "ui/forms.h"
#include "gui/outgoingwiz.h"

#include <QLabel>
#include <QPushButton>
#include <QTableWidget>

namespace brevion {
namespace {

int slotsInUse(const std::array<OutCnctRule, MaxOutRules + 1>& rules)
{
    return OutRuleTable{rules, 0}.CountInUse();
}

// Runs the wizard on EditRule; true when the user finished it with Done.
bool runWizard()
{
    OutgoingWiz& wizard = Forms::Get<OutgoingWiz>();
    wizard.Form_Init();
    ShowModal(wizard);
    return !wizard.Cancelled;
}

QString wizardSentence()
{
    return Forms::Get<OutgoingWiz>().OutgoingRule->text();
}

} // namespace

bool NxSetup::RuleSlotInUse(int row) const
{
    return row >= 1 && row <= MaxOutRules && OutRules[row].InUse();
}

void NxSetup::UpdateAddNew()
{
    cmdAddNew->setEnabled(slotsInUse(OutRules) < MaxOutRules);
}

// A device may keep its rules in any slots, so a new rule goes into the first free slot rather
// than after the count; in a table without gaps that is the slot after the last rule.
void NxSetup::cmdAddNew_Click()
{
    OutRuleTable table{OutRules, OutCount};
    const int slot = table.FirstFreeSlot();
    if (slot == 0) {
        cmdAddNew->setEnabled(false);
        return;
    }
    OutCnct->setCurrentCell(slot, 1);
    EditRule = EmptyRule();
    if (runWizard()) {
        SetRuleRow(slot, wizardSentence());
        OutRules[slot] = WizRule;
        OutCount = qint16(slotsInUse(OutRules));
    }
    UpdateAddNew();
}

void NxSetup::cmdModify_Click()
{
    const int row = OutCnct->currentRow();
    if (!RuleSlotInUse(row))
        return;
    EditRule = OutRules[row];
    if (!runWizard())
        return;
    SetRuleRow(row, wizardSentence());
    OutRules[row] = WizRule;
}

void NxSetup::cmdRemove_Click()
{
    const int row = OutCnct->currentRow();
    if (!RuleSlotInUse(row))
        return;
    OutRuleTable table{OutRules, OutCount};
    table.RemoveSlot(row);
    OutRules = table.OutRules;
    for (int i = row; i < MaxOutRules; ++i)
        SetRuleRow(i, OutCnct->item(i + 1, 1)->text());
    SetRuleRow(MaxOutRules, QString());
    OutCnct->setCurrentCell(row, 1);
    OutCount = qint16(slotsInUse(OutRules));
    cmdModify->setEnabled(RuleSlotInUse(row));
    cmdRemove->setEnabled(RuleSlotInUse(row));
    UpdateAddNew();
}

void NxSetup::OutCnct_Click(int row)
{
    OutCnct->setCurrentCell(row, 1);
    const bool onRule = RuleSlotInUse(OutCnct->currentRow());
    cmdModify->setEnabled(onRule);
    cmdRemove->setEnabled(onRule);
}

// The current rule keeps its selection colours while the grid does not have the focus.
void NxSetup::OutCnct_EnterCell()
{
    const int row = OutCnct->currentRow();
    const int column = OutCnct->currentColumn();
    QTableWidgetItem* item = row >= 1 && column >= 1 ? OutCnct->item(row, column) : nullptr;
    if (!item)
        return;
    item->setBackground(OutCnct->palette().brush(QPalette::Active, QPalette::Highlight));
    item->setForeground(OutCnct->palette().brush(QPalette::Active, QPalette::HighlightedText));
}

void NxSetup::OutCnct_LeaveCell(int row, int column)
{
    QTableWidgetItem* item = row >= 1 && column >= 1 ? OutCnct->item(row, column) : nullptr;
    if (!item)
        return;
    item->setBackground(OutCnct->palette().brush(QPalette::Base));
    item->setForeground(OutCnct->palette().brush(QPalette::Text));
}

} // namespace brevion
