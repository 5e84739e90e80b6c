#pragma once
// The start-up tips: at most one balloon over a tool bar button, chosen from how often the user
// added channels (setting 125) and how often the program started since (setting 131).

#include <QWidget>

#include <optional>

// The tip that invites the user to add channels.
inline constexpr int kAddChannelTip = 50140;

struct StartupTip {
    int textId = 0; // "title~text"
    int button = 0; // tool bar button index
    int showMs = 12000;
};

// Chooses the tip; counts the start (setting 131) when channels were added more than twice.
std::optional<StartupTip> ChooseStartupTip(int addChannelUses, int& startupCount, int counterDetail);

// A balloon with a title, a text and the information icon, pointing at `anchor` (global
// coordinates); it closes itself after `showMs` or on a click.
class CTipBalloon : public QWidget {
    Q_OBJECT
public:
    CTipBalloon(const QString& title, const QString& text, QWidget* parent);
    void ShowAt(const QPoint& anchor, int showMs);
    QString Title() const { return m_title; }
    QString Text() const { return m_text; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QString m_title, m_text;
};
