#pragma once
// The channel bar: a dock with one row per channel of the active chart (visible state, colour
// and width, names, counter, last/min/max/average) and the buttons that delete, autoscale and
// show a channel's properties.

#include "com/unknown.h"
#include "objlib/ZynInterfaces.h"

#include <QDockWidget>
#include <QPoint>
#include <QStyledItemDelegate>

#include <array>
#include <cstdint>
#include <span>
#include <vector>

class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class CTallonAppDocument;
class CAppContext;
class CNumberedSettings;

// One column's width rule: a fixed width, or a weight with bounds (a maximum of 0 means none).
struct ChannelColumnRule {
    int fixed = 0;
    int weight = 0;
    int max = 0;
    int min = 0;
};

// The widths of the channel list's columns for a list `listWidth` wide.
std::vector<int> ComputeColumnWidths(int listWidth, int scrollBarWidth,
                                     std::span<const ChannelColumnRule> rules);
std::span<const ChannelColumnRule> ChannelColumnRules();
// The rules with every column the user sized (a width above 0) fixed at that width, so the
// other columns share what is left.
std::vector<ChannelColumnRule> RulesWithUserWidths(std::span<const ChannelColumnRule> rules,
                                                   std::span<const int> userWidths);

// A value cell's number as it fits `width`: whole when it fits, else with fewer digits and a
// magnitude suffix ("26,634,694" as "26.6M", "0.787" as "0.8"). A number cut in the middle reads
// as another number; the row's tool tip keeps the whole one.
QString FitValueText(const QString& text, const QFontMetrics& metrics, int width);

// Paints the check box of column 0 and the colour line of column 1, the values as FitValueText
// gives them, and the rest as text elided in the middle, so that both the start of a name and its
// instance or unit at the end stay readable.
class QFontMetrics;

class CChannelListDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    // The colour cell's background is the last activated chart view's (black without settings).
    const CNumberedSettings* settings = nullptr;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
};

class CChannelBar : public QDockWidget {
    Q_OBJECT
public:
    static constexpr int kColumnCount = 10;
    static constexpr int kRefreshMs = 1200;
    static constexpr int kHoldMs = 1000;
    static constexpr int kHoldSlop = 6;
    enum Column {
        ColVisible,
        ColColor,
        ColName,
        ColCounter,
        ColObject,
        ColMachine,
        ColLast,
        ColMin,
        ColMax,
        ColAvg
    };

    CChannelBar(CAppContext& context, QWidget* parent);
    ~CChannelBar() override;

    void ShowDocument(CTallonAppDocument* doc, bool force);
    void ChartChanged(IZynChart* chart);
    CTallonAppDocument* Document() const { return m_doc; }
    QString ChartIdentifier() const { return m_chartId; }
    QTreeWidget* List() const { return m_list; }

    // The selected row's channel, or null.
    CComPtr<IZynChannel> SelectedChannel() const;
    void DeleteSelected(bool shiftHeld);
    void AutoScaleSelected();
    void ShowPropertiesOfSelected();
    void ToggleVisible(int row);
    // The main frame's 500 ms timer: highlights a row pressed and held for more than a second.
    void CheckPressAndHold();
    void SetBaseCaption(const QString& caption);
    void RelayoutColumns();
    // Widths the user gave columns by dragging their header edges (0: the column follows the
    // width rule). They are kept in the settings store and come back at the next start.
    std::span<const int> UserColumnWidths() const { return m_userWidths; }
    void SaveColumnWidths() const;
    QPushButton* PropertiesButton() const { return m_properties; }

signals:
    // A text for the main frame's status pane, with its level (0 information, 1 warning, 2 error).
    void statusMessage(const QString& text, int level);
    // The row chosen by the user, broadcast to every chart window.
    void channelSelected(const QString& chartId, const QString& channelId);
    // A channel to draw highlighted; empty identifiers end the highlight.
    void channelHighlighted(const QString& chartId, const QString& channelId);
    // The channel's property sheet applied changes: one tick of the main frame's timer.
    void timerTickRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Rebuild();
    bool RowsMatchChannels(IZynChart* chart) const;
    void RefreshCells();
    void WriteRow(QTreeWidgetItem* item, IZynChannel* channel, bool values);
    CComPtr<IZynChannel> ChannelOfRow(int row) const;
    void OnSelectionChanged();
    void UpdateButtons();
    void UpdateCaption();
    void LoadColumnWidths();
    void OnSectionResized(int column, int newWidth);
    // Drags the row's channel out as a copied channel: dropped on another chart, it is copied there.
    void StartChannelDrag(int row);

    CAppContext& m_context;
    QTreeWidget* m_list = nullptr;
    QPushButton* m_delete = nullptr;
    QPushButton* m_autoScale = nullptr;
    QPushButton* m_properties = nullptr;
    CTallonAppDocument* m_doc = nullptr;
    QString m_chartId;
    QString m_baseCaption;
    bool m_rebuild = false;
    bool m_refreshRequest = false;
    int m_refreshCount = 0;
    bool m_refilled = false;
    std::uint64_t m_lastRefill = 0; // the context clock's tick
    // Press and hold.
    bool m_pressed = false;
    QPoint m_pressPos;
    std::uint64_t m_pressTick = 0;
    int m_pressRow = -1;
    bool m_holding = false;
    int m_dragRow = -1; // the row a drag may start from while the button is held
    std::array<int, kColumnCount> m_userWidths{};
    bool m_applyingWidths = false;
};
