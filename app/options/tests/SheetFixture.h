#pragma once
// A chart document with a view (ViewFixture) and the helpers the sheet tests share: running a
// sheet through its entry point while a test drives it, reaching its pages, and typing.

#include "ModalDriver.h"
#include "options/OptionDialogs.h"
#include "options/OptionSheet.h"
#include "view/tests/ViewFixture.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTabWidget>
#include <QtTest>

template <typename P> P* PageOf(COptionSheet* sheet, int index) {
    sheet->SetActivePage(index);
    QApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    auto* page = dynamic_cast<P*>(sheet->Page(index));
    EXPECT_TRUE(page) << "page " << index;
    return page;
}

inline QStringList TabTitles(const COptionSheet& sheet) {
    QStringList titles;
    for (int i = 0; i < sheet.Tabs()->count(); ++i)
        titles << sheet.Tabs()->tabText(i);
    return titles;
}

// Clicks a check box or radio button on its box, where a user clicks it.
inline void ClickBox(QAbstractButton* button) {
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(button->height() / 2, button->height() / 2));
}

// Replaces the edit's text as a user typing would.
inline void Type(QLineEdit* edit, const QString& text, bool enter = false) {
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
    if (enter) QTest::keyClick(edit, Qt::Key_Return);
}

// The stored record's bytes, read back at the offsets of the file format.
inline std::uint32_t U32At(const ChartSettingsBytes& b, std::size_t off) {
    return std::uint32_t(b[off]) | std::uint32_t(b[off + 1]) << 8 | std::uint32_t(b[off + 2]) << 16 |
           std::uint32_t(b[off + 3]) << 24;
}
inline double F64At(const ChartSettingsBytes& b, std::size_t off) {
    std::uint64_t bits = 0;
    for (int i = 0; i < 8; ++i)
        bits |= std::uint64_t(b[off + std::size_t(i)]) << (8 * i);
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

class SheetFixture : public ViewFixture {
protected:
    void SetUp() override {
        ViewFixture::SetUp();
        savedDialogs = zyn::options::Dialogs();
        // The standard dialogs answer from the test.
        zyn::options::Dialogs().chooseColour = [this](QWidget*, COLORREF initial) -> std::optional<COLORREF> {
            colourAsked = initial;
            return colourAnswer;
        };
        zyn::options::Dialogs().chooseFont = [this](QWidget*, QFont& font, COLORREF& colour) {
            if (!fontAnswer) return false;
            font = *fontAnswer;
            colour = fontColourAnswer;
            return true;
        };
    }
    void TearDown() override {
        zyn::options::Dialogs() = savedDialogs;
        ViewFixture::TearDown();
    }

    QString Comment() const {
        CComBSTR c;
        doc->Chart()->get_Comment(&c);
        return QString::fromUtf16(c.View().data(), qsizetype(c.View().size()));
    }

    zyn::options::DialogHooks savedDialogs;
    std::optional<COLORREF> colourAnswer;
    COLORREF colourAsked = 0;
    std::optional<QFont> fontAnswer;
    COLORREF fontColourAnswer = 0;
};
