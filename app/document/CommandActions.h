#pragma once
// Commands as QActions kept by their numeric command id. The status-bar prompt and the tool tip come
// from the numbered text of the same id ("prompt\ntip").

#include <QHash>
#include <QString>

class QAction;
class QObject;

QAction* MakeCommandAction(QObject* parent, QHash<int, QAction*>& byId, int id, const QString& menuText);
