#pragma once
// The "Counter" page of a channel's sheet: the elements of the channel's counter path, read only.

#include "OptionPage.h"

#include "com/unknown.h"
#include "objlib/ZynInterfaces.h"

#include <vector>

class QLineEdit;
class QPlainTextEdit;

class CCounterPage : public COptionPage {
    Q_OBJECT
public:
    explicit CCounterPage(IZynChannel* channel, QWidget* parent = nullptr);

    // "Counter", "Path", "Machine", "Object", "Instance", "Parent", "Name" in that order.
    QLineEdit* Field(int index) const;
    QPlainTextEdit* Description() const { return m_description; }

private:
    std::vector<QLineEdit*> m_fields;
    QPlainTextEdit* m_description = nullptr;
};
