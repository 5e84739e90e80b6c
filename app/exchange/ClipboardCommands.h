#pragma once
// CClipboardCommands: the Edit menu's Cut, Copy and Paste of one chart window, as actions under
// their command ids (57635, 57634, 57637), with the texts that name what they act on.

#include <QHash>
#include <QObject>
#include <QPointer>

class CTallonChart;
class QAction;

class CClipboardCommands : public QObject {
    Q_OBJECT
public:
    enum Command : int { kCmdCopy = 57634, kCmdCut = 57635, kCmdPaste = 57637 };

    explicit CClipboardCommands(CTallonChart* doc, QObject* parent = nullptr);

    QAction* Action(int id) const { return m_actions.value(id); }
    // Enabling and texts from the channel bar's selection and the clipboard's content.
    void UpdateActions();

private:
    QPointer<CTallonChart> m_doc;
    QHash<int, QAction*> m_actions;
};
