#pragma once
// The "Data" page of a channel's sheet: the scale limits and the units, an automatic scale from
// the recorded data, and what the data holds (count, start, maximum, minimum).

#include "OptionPage.h"

#include "com/unknown.h"
#include "objlib/ZynInterfaces.h"

class QLabel;
class QLineEdit;

class CDataPage : public COptionPage {
    Q_OBJECT
public:
    explicit CDataPage(IZynChannel* channel, QWidget* parent = nullptr);

    void OnApply() override;
    // What the "Auto Scale" link does: the data's range rounded to an axis, into the two edits.
    void AutoScale();

    QLineEdit* MaxEdit() const { return m_max; }
    QLineEdit* MinEdit() const { return m_min; }
    QLineEdit* UnitsEdit() const { return m_units; }
    QLabel* AutoScaleLink() const { return m_autoScale; }
    QLineEdit* CountEdit() const { return m_count; }
    QLineEdit* StartEdit() const { return m_start; }
    QLineEdit* MaxValueEdit() const { return m_maxValue; }
    QLineEdit* MinValueEdit() const { return m_minValue; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    static void Reformat(QLineEdit* edit);

    CComPtr<IZynChannel> m_channel;
    CComPtr<IZynDataSet> m_data;
    QLineEdit* m_max = nullptr;
    QLineEdit* m_min = nullptr;
    QLineEdit* m_units = nullptr;
    QLabel* m_autoScale = nullptr;
    QLineEdit* m_count = nullptr;
    QLineEdit* m_start = nullptr;
    QLineEdit* m_maxValue = nullptr;
    QLineEdit* m_minValue = nullptr;
};
