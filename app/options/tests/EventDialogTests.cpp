// "Add Event" and "Edit Event" on a chart that samples while they are open.

#include "SheetFixture.h"
#include "display/DisplayFormat.h"
#include "options/ChannelText.h"
#include "options/EventDialog.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>

namespace {

class EventDialogTest : public SheetFixture {
protected:
    void SetUp() override {
        SheetFixture::SetUp();
        ASSERT_TRUE(doc->AddChannelByPath(kCpuPath));
        doc->Chart()->put_Rate(100);
        doc->Chart()->put_Run(1);
        MakeView();
        view->eventDialog = &RunAddEventDialog;
    }
    void TearDown() override {
        if (doc && doc->Chart()) doc->Chart()->put_Run(0);
        SheetFixture::TearDown();
    }
    static QString Name(IZynEvent* e) { return ChannelText(e, &IZynEvent::get_Name); }
    static QString Comment(IZynEvent* e) { return ChannelText(e, &IZynEvent::get_Comment); }
};

TEST_F(EventDialogTest, AddEventNamesAndCommentsANewEvent) {
    auto driven = OnNextModal<CEventDialog>([](CEventDialog* dialog) {
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Add Event"));
        EXPECT_EQ(dialog->Name(), QStringLiteral("Event 1")) << "the default name";
        EXPECT_FALSE(dialog->DeleteButton());
        EXPECT_FALSE(dialog->StartEdit());
        Type(dialog->NameEdit(), QStringLiteral("Backup"));
        QTest::keyClicks(dialog->CommentEdit(), QStringLiteral("nightly run"));
        dialog->accept();
    });
    view->Action(CTallonView::kCmdAddEvent)->trigger();
    EXPECT_EQ(driven->count, 1);
    const auto events = doc->Events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(Name(events[0]), QStringLiteral("Backup"));
    EXPECT_EQ(Comment(events[0]), QStringLiteral("nightly run"));
    LONG running = 0;
    events[0]->get_InProgress(&running);
    EXPECT_EQ(running, 1);

    // Cancel adds nothing; an emptied name takes the default.
    OnNextModal<CEventDialog>([](CEventDialog* dialog) { dialog->reject(); });
    view->Action(CTallonView::kCmdAddEvent)->trigger();
    EXPECT_EQ(doc->Events().size(), 1u);
    OnNextModal<CEventDialog>([](CEventDialog* dialog) {
        Type(dialog->NameEdit(), QString());
        dialog->accept();
    });
    view->Action(CTallonView::kCmdAddEvent)->trigger();
    ASSERT_EQ(doc->Events().size(), 2u);
    EXPECT_EQ(Name(doc->Events()[1]), QStringLiteral("Event 3"));
}

TEST_F(EventDialogTest, EditEventRenamesShowsTimesAndDeletes) {
    CComPtr<IZynEvent> event;
    ASSERT_EQ(doc->Chart()->AddEvent(ToBstr(QStringLiteral("Spike")), &event), S_OK);
    CComVariant start;
    event->get_StartTime(&start);
    doc->SetModifiedFlag(false);

    auto driven = OnNextModal<CEventDialog>([&](CEventDialog* dialog) {
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Edit Event"));
        EXPECT_EQ(dialog->Name(), QStringLiteral("Spike"));
        EXPECT_EQ(dialog->StartEdit()->text(), FormatTimeDate(start.date));
        EXPECT_EQ(dialog->StopEdit()->text(), QStringLiteral("Unknown - Event still running"));
        EXPECT_TRUE(dialog->StartEdit()->isReadOnly());
        Type(dialog->NameEdit(), QStringLiteral("CPU spike"));
        QTest::keyClicks(dialog->CommentEdit(), QStringLiteral("compiler"));
        dialog->accept();
    });
    EXPECT_TRUE(EditChartEvent(*doc, 0, nullptr));
    EXPECT_EQ(driven->count, 1);
    EXPECT_EQ(Name(event), QStringLiteral("CPU spike"));
    EXPECT_EQ(Comment(event), QStringLiteral("compiler"));
    EXPECT_TRUE(doc->IsModified());

    ASSERT_TRUE(view->StopEvent(1));
    CComVariant stop;
    event->get_StopTime(&stop);
    OnNextModal<CEventDialog>([&](CEventDialog* dialog) {
        EXPECT_EQ(dialog->StopEdit()->text(), FormatTimeDate(stop.date));
        QTest::mouseClick(dialog->DeleteButton(), Qt::LeftButton);
    });
    EXPECT_TRUE(EditChartEvent(*doc, 0, nullptr));
    EXPECT_TRUE(doc->Events().empty()) << "Delete Event removes it from the chart";
    EXPECT_FALSE(EditChartEvent(*doc, 0, nullptr)) << "no event at that index: no dialog";
}

TEST_F(EventDialogTest, CancelOrAnUnchangedEditChangesNothing) {
    CComPtr<IZynEvent> event;
    ASSERT_EQ(doc->Chart()->AddEvent(ToBstr(QStringLiteral("Idle")), &event), S_OK);
    // Samples mark the document as changed (they are data its file does not hold), and so does the
    // new event when its notification arrives: the chart stops, and what it raised reaches the
    // document, before the flag is cleared for the checks below.
    doc->Chart()->put_Run(0);
    QSignalSpy changed(doc.get(), &CTallonChart::chartChanged);
    while (changed.wait(500))
        changed.clear();
    doc->SetModifiedFlag(false);
    OnNextModal<CEventDialog>([](CEventDialog* dialog) {
        Type(dialog->NameEdit(), QStringLiteral("ignored"));
        dialog->reject();
    });
    EXPECT_FALSE(EditChartEvent(*doc, 0, nullptr));
    OnNextModal<CEventDialog>([](CEventDialog* dialog) {
        Type(dialog->NameEdit(), QString());
        dialog->accept();
    });
    EXPECT_FALSE(EditChartEvent(*doc, 0, nullptr)) << "an emptied name keeps the old one";
    EXPECT_EQ(Name(event), QStringLiteral("Idle"));
    EXPECT_FALSE(doc->IsModified());
}

} // namespace
