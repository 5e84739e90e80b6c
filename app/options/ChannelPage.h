#pragma once
// The "Channel" page of a channel's sheet: name, comment, colour, line width and visibility, with
// the channel's type, identifier and counter shown.

#include "OptionPage.h"
#include "display/ChartSettings.h"

#include "com/unknown.h"
#include "objlib/ZynInterfaces.h"

#include <array>

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace zyn::options {
// The standard colours of the colour list, after the channel's own.
const std::array<COLORREF, 14>& StandardChannelColours();
// "Dynamic Channel", "Static channel", "Virtual channel" or "Error - Unknown channel type".
QString ChannelTypeText(long type);
} // namespace zyn::options

class CChannelPage : public COptionPage {
    Q_OBJECT
public:
    static constexpr int kMaxWidth = 8;

    // `background`: the colour the width samples are drawn on.
    CChannelPage(IZynChannel* channel, COLORREF background, QWidget* parent = nullptr);

    void OnApply() override;

    QLineEdit* NameEdit() const { return m_name; }
    QLineEdit* CommentEdit() const { return m_comment; }
    QLineEdit* TypeEdit() const { return m_type; }
    QLineEdit* IdentifierEdit() const { return m_identifier; }
    QLineEdit* CounterEdit() const { return m_counter; }
    QComboBox* ColourCombo() const { return m_colour; }
    QComboBox* WidthCombo() const { return m_width; }
    QCheckBox* VisibleCheck() const { return m_visible; }
    COLORREF SelectedColour() const;
    // What choosing an entry of the colour list does ("More Colors..." asks the colour dialog).
    void ChooseColourEntry(int index);

private:
    void AddColour(int at, COLORREF colour);
    void DrawWidths();

    CComPtr<IZynChannel> m_channel;
    COLORREF m_background;
    QLineEdit* m_name = nullptr;
    QLineEdit* m_comment = nullptr;
    QLineEdit* m_type = nullptr;
    QLineEdit* m_identifier = nullptr;
    QLineEdit* m_counter = nullptr;
    QComboBox* m_colour = nullptr;
    QComboBox* m_width = nullptr;
    QCheckBox* m_visible = nullptr;
    int m_lastColourIndex = 0;
};
