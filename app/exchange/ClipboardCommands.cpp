#include "ClipboardCommands.h"

#include "ChannelClipboard.h"

#include "document/CTallonChart.h"
#include "document/CommandActions.h"

#include <QAction>

using namespace zyn::clipboard;

CClipboardCommands::CClipboardCommands(CTallonChart* doc, QObject* parent) : QObject(parent), m_doc(doc) {
    QAction* copy = MakeCommandAction(this, m_actions, kCmdCopy, tr("&Copy"));
    connect(copy, &QAction::triggered, this, [this] {
        if (m_doc) CopySelectedChannel(*m_doc, ChannelAction::Copy);
    });
    QAction* cut = MakeCommandAction(this, m_actions, kCmdCut, tr("Cu&t"));
    connect(cut, &QAction::triggered, this, [this] {
        if (m_doc) CopySelectedChannel(*m_doc, ChannelAction::Cut);
    });
    QAction* paste = MakeCommandAction(this, m_actions, kCmdPaste, tr("&Paste"));
    connect(paste, &QAction::triggered, this, [this] {
        if (m_doc) PasteFromClipboard(*m_doc);
    });
    UpdateActions();
}

void CClipboardCommands::UpdateActions() {
    bool enabled = false;
    for (auto [id, textId] : {std::pair{kCmdCopy, kCopyMenuText}, std::pair{kCmdCut, kCutMenuText}}) {
        QAction* action = m_actions.value(id);
        action->setText(m_doc ? CopyMenuText(*m_doc, textId, enabled) : QString());
        action->setEnabled(m_doc && enabled);
    }
    QAction* paste = m_actions.value(kCmdPaste);
    paste->setText(PasteMenuText(enabled));
    paste->setEnabled(m_doc && enabled);
}
