#include "CommandActions.h"

#include "resources/ZynStrings.h"

#include <QAction>

QAction* MakeCommandAction(QObject* parent, QHash<int, QAction*>& byId, int id, const QString& menuText) {
    auto* action = new QAction(menuText, parent);
    action->setData(id);
    const QStringList prompt = LoadZynString(id).split(u'\n');
    if (!prompt.value(0).isEmpty()) action->setStatusTip(prompt.value(0));
    if (!prompt.value(1).isEmpty()) action->setToolTip(prompt.value(1));
    byId.insert(id, action);
    return action;
}
