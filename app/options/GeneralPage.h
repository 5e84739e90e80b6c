#pragma once
// The "General" page of the preferences: the counter detail level the counter browser offers,
// expert mode, window fade effects, several automation windows and the length of the recent-file
// list (numbered settings 123, 122, 124, 140 and 121).

#include "OptionPage.h"

#include <array>

class CAppContext;
class QCheckBox;
class QLabel;
class QRadioButton;
class QSpinBox;

class CGeneralPage : public COptionPage {
    Q_OBJECT
public:
    static constexpr int kMinRecentFiles = 1;
    static constexpr int kMaxRecentFiles = 12;

    explicit CGeneralPage(CAppContext& context, QWidget* parent = nullptr);

    void OnApply() override;
    // What choosing a detail level does (3 beeps and shows the note).
    void ChooseDetail(int level);

    QRadioButton* DetailRadio(int level) const { return m_detail.at(std::size_t(level)); }
    QLabel* Note() const { return m_note; }
    QCheckBox* ExpertCheck() const { return m_expert; }
    QCheckBox* NoFadesCheck() const { return m_noFades; }
    QCheckBox* MultipleAutomationCheck() const { return m_multiple; }
    QSpinBox* RecentFiles() const { return m_recent; }

private:
    CAppContext& m_context;
    std::array<QRadioButton*, 4> m_detail{};
    int m_level = 2;
    QLabel* m_note = nullptr;
    QCheckBox* m_expert = nullptr;
    QCheckBox* m_noFades = nullptr;
    QCheckBox* m_multiple = nullptr;
    QSpinBox* m_recent = nullptr;
};
