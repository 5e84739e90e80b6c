#pragma once
// A document whose chart holds a static channel with a known recording, and a view on it.

#include "document/tests/DocTestUtil.h"
#include "view/ChartView.h"

#include "com/ccombstr.h"
#include "com/variant.h"
#include "utils/ZynTime.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

inline constexpr double kViewStart = 45000.0; // 15 March 2023, 00:00
inline constexpr double kMinuteDays = 1.0 / 1440;

class ViewFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ui.Install(ctx);
        doc = std::make_unique<CTallonChart>(ctx);
        doc->OnNewDocument();
    }
    void TearDown() override {
        view.reset();
        doc.reset();
    }

    // A sine wave of `minutes` minutes, one sample per second, on a static channel.
    CComPtr<IZynChannel> Record(int minutes, COLORREF colour = 0x00FF00, double startTime = kViewStart) {
        CComVariant start(startTime);
        start.vt = VT_DATE;
        start.date = startTime;
        EXPECT_EQ(doc->Chart()->put_StartTime(start), S_OK);
        CComPtr<IZynChannel> channel;
        EXPECT_EQ(doc->Chart()->AddStaticChannel(&channel), S_OK);
        channel->put_Color(colour);
        channel->put_Width(2);
        channel->put_ScaleMin(0.0);
        channel->put_ScaleMax(100.0);
        for (int s = 0; s <= minutes * 60; ++s) {
            LONG count = 0;
            channel->AddValueRelTime(50.0 + 40.0 * std::sin(s / 20.0), s * 1000, &count);
        }
        return channel;
    }

    CTallonView& MakeView(QSize size = {640, 400}) {
        view = std::make_unique<CTallonView>(doc.get(), ctx);
        view->eventDialog = [this](QWidget*, QString& name, QString& comment) {
            name = eventName.isNull() ? name : eventName;
            comment = eventComment;
            return true;
        };
        view->resize(size);
        view->show();
        return *view;
    }

    CAppContext ctx;
    FakeUi ui;
    std::unique_ptr<CTallonChart> doc;
    std::unique_ptr<CTallonView> view;
    QString eventName, eventComment;
};
