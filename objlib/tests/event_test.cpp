// Events on their own (the chart's side is tested with the chart) and the snapshot iterators.

#include "com/ccombstr.h"
#include "objlib/ZynEvent.h"
#include "objlib/ZynIterators.h"
#include "objlib/ZynModule.h"
#include "testing/ComChecks.h"

#include <atomic>
#include <thread>

namespace {

using zyn::test::LeakCheckedTest;

class CountingOwner final : public CZynEventOwner {
public:
    void EventStopped() override { ++stops; }
    std::atomic<int> stops{0};
};

using EventTest = LeakCheckedTest;

double DateOf(HRESULT (IZynEvent::*getter)(VARIANT*), IZynEvent* e) {
    CComVariant v;
    EXPECT_EQ((e->*getter)(&v), S_OK);
    EXPECT_EQ(v.vt, VT_DATE);
    return v.date;
}

TEST_F(EventTest, StopsOnceAndTellsItsOwnerOnce) {
    CountingOwner owner;
    auto e = zyn::com::MakeObject<CZynEvent>(u"Phase 1", &owner);
    LONG inProgress = -1;
    e->get_InProgress(&inProgress);
    EXPECT_EQ(inProgress, 1);
    EXPECT_EQ(DateOf(&IZynEvent::get_StopTime, e), 0.0);
    double start = DateOf(&IZynEvent::get_StartTime, e);
    EXPECT_GT(start, 45000.0);

    ASSERT_EQ(e->Stop(), S_OK);
    double stop = DateOf(&IZynEvent::get_StopTime, e);
    EXPECT_GE(stop, start);
    e->get_InProgress(&inProgress);
    EXPECT_EQ(inProgress, 0);
    EXPECT_EQ(owner.stops, 1);

    ASSERT_EQ(e->Stop(), S_OK); // keeps the first stop time, raises nothing
    EXPECT_EQ(DateOf(&IZynEvent::get_StopTime, e), stop);
    EXPECT_EQ(owner.stops, 1);
}

TEST_F(EventTest, ConcurrentStopsRecordOneTimeAndOneNotification) {
    for (int round = 0; round < 50; ++round) {
        CountingOwner owner;
        auto e = zyn::com::MakeObject<CZynEvent>(u"race", &owner);
        std::thread a([&] { e->Stop(); });
        std::thread b([&] { e->Stop(); });
        a.join();
        b.join();
        EXPECT_EQ(owner.stops, 1);
    }
}

TEST_F(EventTest, AnEventWhoseChartLetItGoNeverCallsBack) {
    auto owner = std::make_unique<CountingOwner>();
    auto e = zyn::com::MakeObject<CZynEvent>(u"orphan", owner.get());
    e->ClearOwner();
    owner.reset(); // the chart is gone
    EXPECT_EQ(e->Stop(), S_OK);
    CComBSTR name;
    e->get_Name(&name);
    EXPECT_EQ(name, u"orphan");
}

TEST_F(EventTest, PropertiesAndIdentifier) {
    auto e = zyn::com::MakeObject<CZynEvent>(u"a");
    CComBSTR text(u"renamed"), comment(u"note");
    e->put_Name(text);
    e->put_Comment(comment);
    CComBSTR name, back, id, id2;
    e->get_Name(&name);
    e->get_Comment(&back);
    e->get_Identifier(&id);
    e->get_Identifier(&id2);
    EXPECT_EQ(name, u"renamed");
    EXPECT_EQ(back, u"note");
    EXPECT_EQ(id.Length(), 38u);
    EXPECT_EQ(id, id2); // fixed at creation
    auto other = zyn::com::MakeObject<CZynEvent>(u"b");
    CComBSTR otherId;
    other->get_Identifier(&otherId);
    EXPECT_NE(id.View(), otherId.View());
}

TEST_F(EventTest, ClientsCanCreateEventsAndEventIterators) {
    CComPtr<IZynEvent> e;
    ASSERT_EQ(zyn::obj::CreatorFor(CLSID_Event)(IZynEvent::kIID, reinterpret_cast<void**>(&e)), S_OK);
    LONG inProgress = 0;
    e->get_InProgress(&inProgress);
    EXPECT_EQ(inProgress, 1);
    CComPtr<IZynEventIter> it;
    ASSERT_EQ(zyn::obj::CreatorFor(CLSID_EventIter)(IZynEventIter::kIID, reinterpret_cast<void**>(&it)),
              S_OK);
    LONG count = -1, hasNext = -1;
    it->get_Count(&count);
    it->get_HasNext(&hasNext);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(hasNext, 0);
}

TEST_F(EventTest, IteratorWalksItsSnapshotAndStartsOver) {
    std::vector<CComPtr<IZynEvent>> items;
    for (const char16_t* n : {u"one", u"two"})
        items.emplace_back(zyn::com::MakeObject<CZynEvent>(n));
    auto it = zyn::com::MakeObject<CZynEventIter>(items);
    items.emplace_back(zyn::com::MakeObject<CZynEvent>(u"later")); // not seen by the iterator
    LONG count = 0, hasNext = 0;
    it->get_Count(&count);
    EXPECT_EQ(count, 2);
    std::vector<std::string> names;
    for (it->get_HasNext(&hasNext); hasNext; it->get_HasNext(&hasNext)) {
        CComPtr<IZynEvent> e;
        ASSERT_EQ(it->GetNext(&e), S_OK);
        CComBSTR n;
        e->get_Name(&n);
        names.push_back(n.ToUtf8());
    }
    EXPECT_EQ(names, (std::vector<std::string>{"one", "two"}));
    CComPtr<IZynEvent> past;
    EXPECT_EQ(it->GetNext(&past), E_FAIL);
    EXPECT_EQ(past.p, nullptr);
    it->Reset();
    CComPtr<IZynEvent> first;
    ASSERT_EQ(it->GetNext(&first), S_OK);
    EXPECT_EQ(first.p, items[0].p);
}

} // namespace
