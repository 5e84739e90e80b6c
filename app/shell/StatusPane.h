#pragma once
// The status bar's message pane: a message appears on the colour of its level, the colour fades
// into the bar's, then the text fades and the message is gone, all on a 100 ms tick.

#include "display/ChartSettings.h"

#include <QColor>
#include <QFontMetrics>
#include <QTimer>
#include <QWidget>

class CStatusPane : public QWidget {
    Q_OBJECT
public:
    enum class Phase { None, Highlight, BackgroundFade, Hold, TextFade };
    static constexpr int kTickMs = 100;
    static constexpr int kRemarkCount = 21;

    explicit CStatusPane(QWidget* parent = nullptr);

    // Shows the message at level 0 (information), 1 (warning) or 2 (error), from the highlight on.
    void SetMessage(const QString& text, int level);
    // One step of the fade; the timer calls it every 100 ms.
    void Tick();

    QString Message() const { return m_text; }
    int Level() const { return m_level; }
    int Ticks() const { return m_ticks; }
    Phase CurrentPhase() const;
    bool TimerRunning() const { return m_timer.isActive(); }
    // What a paint draws now: the fill (invalid when the bar shows through) and the text colour.
    QColor FillColour() const;
    QColor TextColour() const;

    static COLORREF LevelColour(int level);
    static QString Remark(int index); // 0-based, 21 of them
    // The message as the pane shows it in `width` pixels: whole, or the words that fit followed by
    // "…", so that no number is ever cut. The tool tip always has the whole text.
    static QString FitText(const QString& text, const QFontMetrics& metrics, int width);
    QString DisplayedText() const;

    QSize sizeHint() const override;

signals:
    void Clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void NextRemark();
    int TextMargin() const { return height() / 4; }
    COLORREF Face() const;
    COLORREF FaceText() const;

    QString m_text;
    int m_level = 0;
    int m_ticks = 0;
    int m_clicks = 0;
    QTimer m_timer;
};
