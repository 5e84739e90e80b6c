#include "com/ccombstr.h"
#include "objlib/ZynDataSet.h"
#include "testing/ComChecks.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

namespace {

using zyn::test::LeakCheckedTest;
using zyn::test::RaisedError;
using zyn::test::TakeError;

class FakeOwner final : public CZynDataSetOwner {
public:
    LONG offset = 0;
    int notifications = 0;
    DWORD lastWord = 0;

    LONG DataSetOffset() override { return offset; }
    HRESULT DataSetTimeAt(LONG index, VARIANT* out) override {
        VariantInit(out);
        out->vt = VT_DATE;
        out->date = 1000.0 + index;
        return S_OK;
    }
    void DataSetChanged(DWORD allBits) override {
        ++notifications;
        lastWord = allBits;
    }
};

class DataSetTest : public LeakCheckedTest {
protected:
    static CComPtr<CZynDataSet> WithValues(std::initializer_list<double> values, CZynTimeBase* tb = nullptr) {
        CComPtr<CZynDataSet> set = CZynDataSet::Create(tb);
        for (double v : values)
            EXPECT_TRUE(set->int_Append(v));
        return set;
    }
    static double Value(IZynDataSet* set, LONG i) {
        double v = -999;
        EXPECT_EQ(set->GetValueAt(i, &v), S_OK);
        return v;
    }
    static double Raw(IZynDataSet* set, LONG i) {
        double v = -999;
        EXPECT_EQ(set->GetRawValueAt(i, &v), S_OK);
        return v;
    }
    struct Stats {
        double min, max, avg;
        LONG imin, imax, count;
    };
    static Stats StatsOf(IZynDataSet* set) {
        Stats s{};
        set->get_Min(&s.min);
        set->get_Max(&s.max);
        set->get_Average(&s.avg);
        set->get_IndexMin(&s.imin);
        set->get_IndexMax(&s.imax);
        set->get_Count(&s.count);
        return s;
    }
    // A time base starting on day 40000 with the given millisecond offsets.
    static CComPtr<CZynTimeBase> Axis(std::initializer_list<std::uint32_t> ms) {
        CComPtr<CZynTimeBase> tb = CZynTimeBase::Create();
        tb->SetStart(40000.0);
        for (std::uint32_t m : ms)
            EXPECT_TRUE(tb->AppendRel(m));
        return tb;
    }
    static double At(std::uint32_t ms) { return 40000.0 + ms * CZynTimeBase::kDaysPerMs; }
};

TEST_F(DataSetTest, StatisticsKeepTheEarliestExtremeAndTheRunningMean) {
    auto set = WithValues({7.25});
    Stats s = StatsOf(set);
    EXPECT_EQ(s.min, 7.25);
    EXPECT_EQ(s.max, 7.25);
    EXPECT_EQ(s.avg, 7.25);
    EXPECT_EQ(s.imin, 0);
    EXPECT_EQ(s.imax, 0);

    set = WithValues({5, 3, 5, 1});
    s = StatsOf(set);
    EXPECT_EQ(s.max, 5);
    EXPECT_EQ(s.imax, 0);
    EXPECT_EQ(s.min, 1);
    EXPECT_EQ(s.imin, 3);
    EXPECT_DOUBLE_EQ(s.avg, 3.5);
    EXPECT_EQ(s.count, 4);

    // A NaN after the first value never becomes an extreme.
    set = WithValues({2, std::nan(""), 4});
    s = StatsOf(set);
    EXPECT_EQ(s.min, 2);
    EXPECT_EQ(s.max, 4);
}

TEST_F(DataSetTest, FirstEditCopiesTheSharedStoreAndKeepsRawValues) {
    auto set = WithValues({5, 3, 5, 1});
    ASSERT_TRUE(set->int_SharesStores());
    EXPECT_EQ(set->int_WriteState(), CZynDataSet::kWriteCopyOnFirst);

    // Lowering the max rescans: the first position of the new largest value wins.
    ASSERT_EQ(set->SetValueAt(0, 2), S_OK);
    EXPECT_FALSE(set->int_SharesStores());
    EXPECT_EQ(set->int_WriteState(), CZynDataSet::kWritePrivateCopy);
    EXPECT_EQ(Value(set, 0), 2);
    EXPECT_EQ(Raw(set, 0), 5);
    Stats s = StatsOf(set);
    EXPECT_EQ(s.max, 5);
    EXPECT_EQ(s.imax, 2);
    EXPECT_DOUBLE_EQ(s.avg, (2 + 3 + 5 + 1) / 4.0);

    // Raising the min away rescans for the first smallest.
    ASSERT_EQ(set->SetValueAt(3, 9), S_OK);
    s = StatsOf(set);
    EXPECT_EQ(s.max, 9);
    EXPECT_EQ(s.imax, 3);
    EXPECT_EQ(s.min, 2);
    EXPECT_EQ(s.imin, 0);
    EXPECT_DOUBLE_EQ(s.avg, (2 + 3 + 5 + 9) / 4.0);

    // Later appends reach both stores.
    ASSERT_TRUE(set->int_Append(-4));
    EXPECT_EQ(Value(set, 4), -4);
    EXPECT_EQ(Raw(set, 4), -4);
    s = StatsOf(set);
    EXPECT_EQ(s.min, -4);
    EXPECT_EQ(s.imin, 4);
    EXPECT_DOUBLE_EQ(s.avg, (2 + 3 + 5 + 9 - 4) / 5.0);
}

TEST_F(DataSetTest, WriteStatesDecideWhetherEditsReachRawValues) {
    // After a clear the data set writes in place: raw and values are one store.
    auto set = WithValues({1, 2});
    set->int_Clear();
    ASSERT_TRUE(set->int_Append(10));
    ASSERT_EQ(set->SetValueAt(0, 11), S_OK);
    EXPECT_TRUE(set->int_SharesStores());
    EXPECT_EQ(Raw(set, 0), 11);

    set->int_SetWriteState(CZynDataSet::kWriteReadOnly);
    EXPECT_EQ(set->SetValueAt(0, 12), E_FAIL);
    RaisedError e = TakeError();
    EXPECT_EQ(e.description, "Data cannot be written to");
    EXPECT_EQ(e.source, "ZynTallonObj.DataSet.1");
    EXPECT_EQ(Value(set, 0), 11);
}

TEST_F(DataSetTest, BadIndexesAreRefusedWithTheirTexts) {
    auto set = WithValues({1, 2, 3});
    double v = 0;
    EXPECT_EQ(set->GetValueAt(3, &v), E_INVALIDARG);
    RaisedError e = TakeError();
    EXPECT_EQ(e.description, "Invalid index(3) passed to GetValueAt. There are 3 values.");
    EXPECT_EQ(e.source, "ZynTallonObj.DataSet.1");

    EXPECT_EQ(set->GetRawValueAt(-1, &v), E_INVALIDARG);
    EXPECT_EQ(TakeError().description, "Invalid index(-1) passed to GetValueAt. There are 3 values.");

    EXPECT_EQ(set->SetValueAt(3, 1.0), E_INVALIDARG);
    EXPECT_EQ(TakeError().description, "Invalid index(3) passed to SetValueAt. There are 3 values.");
    EXPECT_EQ(set->SetValueAt(-2147483647 - 1, 1.0), E_INVALIDARG);
    TakeError();
    // A refused edit changes nothing, not even the copy-on-write state.
    EXPECT_TRUE(set->int_SharesStores());

    EXPECT_EQ(set->GetValueAt(0, nullptr), E_POINTER);
}

TEST_F(DataSetTest, TimeToIndexFindsTheFirstValueAtOrAfterATime) {
    auto empty = CZynDataSet::Create();
    LONG idx = -5;
    ASSERT_EQ(empty->TimeToIndex(45000.0, &idx), S_OK);
    EXPECT_EQ(idx, 0);

    auto tb = Axis({0, 1000, 2000, 2000, 2000, 5000});
    FakeOwner owner;
    auto set = WithValues({1, 2, 3, 4, 5, 6}, tb);
    set->int_SetOwner(&owner, -1);
    auto find = [&](double t) {
        LONG r = -1;
        EXPECT_EQ(set->TimeToIndex(t, &r), S_OK);
        return r;
    };
    EXPECT_EQ(find(39999.0), 0);
    EXPECT_EQ(find(40000.0), 0);
    EXPECT_EQ(find(At(1000)), 1);
    EXPECT_EQ(find(At(1500)), 2);
    EXPECT_EQ(find(At(2000)), 2) << "equal entries resolve to the first of them";
    EXPECT_EQ(find(At(3000)), 5);
    EXPECT_EQ(find(At(5000)), 5);
    EXPECT_EQ(find(At(9000)), 5);
    // Far beyond what 32 bits of milliseconds reach: still the last entry, not a wrapped search.
    EXPECT_EQ(find(40000.0 + 60.0), 5);

    // A channel whose values start at entry 2: indexes count from there and clamp to the count.
    set->int_Clear();
    for (double v : {3.0, 4.0, 5.0})
        ASSERT_TRUE(set->int_Append(v));
    owner.offset = 2;
    EXPECT_EQ(find(At(0)), 0);
    EXPECT_EQ(find(At(1500)), 0);
    EXPECT_EQ(find(At(2000)), 0) << "a time at or before the channel's first entry is its first value";
    EXPECT_EQ(find(At(4000)), 3);
    EXPECT_EQ(find(At(9000)), 3);
}

TEST_F(DataSetTest, GetDataExMapsValuesToPixelRows) {
    auto tb = Axis({0, 10, 20, 30, 40});
    FakeOwner owner;
    owner.offset = 7;
    auto set = WithValues({0, 50, 100, 150, -50}, tb);
    set->int_SetOwner(&owner, -1);

    std::vector<LONG> pairs(10, -1);
    LONG many = -1;
    ASSERT_EQ(set->GetDataEx(0, 5, 0.0, 100.0, 0.0, 200, pairs.data(), &many), S_OK);
    EXPECT_EQ(many, 5);
    const std::vector<LONG> expected{7, 200, 8, 100, 9, 0, 10, -100, 11, 300};
    EXPECT_EQ(pairs, expected);

    // The offset moves values before scaling; a run from the middle keeps its time-base index.
    ASSERT_EQ(set->GetDataEx(1, 2, 0.0, 100.0, 25.0, 100, pairs.data(), &many), S_OK);
    EXPECT_EQ(pairs[0], 8);
    EXPECT_EQ(pairs[1], 25);
    EXPECT_EQ(pairs[2], 9);
    EXPECT_EQ(pairs[3], -25);

    // Rows beyond the 32-bit range saturate instead of overflowing.
    ASSERT_EQ(set->GetDataEx(3, 1, 0.0, 1e-300, 0.0, 1000, pairs.data(), &many), S_OK);
    EXPECT_LT(pairs[1], -2000000000) << "far above the top, not wrapped below the bottom";
}

TEST_F(DataSetTest, GetDataExChecksItsRange) {
    auto set = WithValues({1, 2, 3});
    std::vector<LONG> pairs(8, -1);
    LONG many = -1;
    EXPECT_EQ(set->GetDataEx(0, 3, 5.0, 5.0, 0.0, 100, pairs.data(), &many), S_OK);
    EXPECT_EQ(many, 0);
    EXPECT_EQ(pairs[0], -1);
    EXPECT_EQ(set->GetDataEx(1, 2, 0.0, 4.0, 0.0, 100, pairs.data(), &many), S_OK);
    EXPECT_EQ(many, 2);

    EXPECT_EQ(set->GetDataEx(1, 3, 0.0, 4.0, 0.0, 100, pairs.data(), &many), E_INVALIDARG);
    EXPECT_EQ(many, 0);
    RaisedError e = TakeError();
    EXPECT_EQ(e.description, "Invalid parameter passed to GetDataEx. Idx=1 Many=3 Avail=3");
    EXPECT_EQ(e.source, "ZynTallonObj.DataSet.1");
    // idx + many overflowing 32 bits must not slip past the check.
    EXPECT_EQ(set->GetDataEx(2, 0x7FFFFFFF, 0.0, 4.0, 0.0, 100, pairs.data(), &many), E_INVALIDARG);
    TakeError();
    EXPECT_EQ(set->GetDataEx(0, -1, 0.0, 4.0, 0.0, 100, pairs.data(), &many), E_INVALIDARG);
    TakeError();
    EXPECT_EQ(set->GetDataEx(0, 1, 0.0, 4.0, 0.0, 100, nullptr, &many), E_INVALIDARG);
    EXPECT_EQ(TakeError().description, "Null pointer in GetDataEx");
}

TEST_F(DataSetTest, TimesComeFromTheTimeBaseAtTheOwnersOffset) {
    auto tb = Axis({0, 500, 1000});
    FakeOwner owner;
    owner.offset = 1;
    auto set = WithValues({1, 2}, tb);
    set->int_SetOwner(&owner, -1);

    double times[5] = {};
    LONG n = -1;
    ASSERT_EQ(set->GetTimeAtEx(0, 5, times, &n), S_OK);
    EXPECT_EQ(n, 2);
    EXPECT_DOUBLE_EQ(times[0], At(500));
    EXPECT_DOUBLE_EQ(times[1], At(1000));
    ASSERT_EQ(set->GetTimeAtEx(5, 5, times, &n), S_OK);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(set->GetTimeAtEx(-1, 1, times, &n), E_INVALIDARG);
    EXPECT_EQ(TakeError().description, "Invalid parameter passed to GetTimeAtEx. Idx=-1 Many=1");
    EXPECT_EQ(set->GetTimeAtEx(0, 1, nullptr, &n), E_INVALIDARG);
    EXPECT_EQ(TakeError().description, "Null pointer in GetDataEx");

    CComVariant t;
    ASSERT_EQ(set->GetTimeAt(3, &t), S_OK);
    EXPECT_EQ(t.vt, VT_DATE);
    EXPECT_EQ(t.date, 1003.0) << "an owned data set asks its channel";
}

TEST_F(DataSetTest, AFreeStandingDataSetNeverReadsBeforeItsTimeBase) {
    // Its own offset is -1: index 0 would name the entry before the first one.
    auto tb = Axis({0, 500});
    auto set = CZynDataSet::Create(tb);
    double times[2] = {-1, -1};
    LONG n = -1;
    ASSERT_EQ(set->GetTimeAtEx(0, 2, times, &n), S_OK);
    EXPECT_EQ(n, 0);
    CComVariant t;
    EXPECT_EQ(set->GetTimeAt(0, &t), E_INVALIDARG);
    ASSERT_EQ(set->GetTimeAt(1, &t), S_OK);
    EXPECT_EQ(t.date, At(0));
    ASSERT_EQ(set->GetTimeAt(2, &t), S_OK);
    EXPECT_EQ(t.date, At(500));
    EXPECT_EQ(set->GetTimeAt(3, &t), E_INVALIDARG);
}

TEST_F(DataSetTest, ChangeWordsTellWhatHappenedAndNotifyOnlyNewBits) {
    FakeOwner owner;
    auto set = CZynDataSet::Create();
    set->int_SetOwner(&owner, -1);
    auto word = [&] {
        LONG w = 0;
        set->GetChangedProperty(&w);
        return DWORD(w);
    };
    ASSERT_TRUE(set->int_Append(5));
    EXPECT_EQ(word(), 0x1300000u);
    EXPECT_EQ(owner.notifications, 2);
    EXPECT_EQ(owner.lastWord, 0x1300000u);

    ASSERT_TRUE(set->int_Append(5)); // no new extreme: only the average bit is new
    EXPECT_EQ(word(), 0x1700000u);
    EXPECT_EQ(owner.notifications, 3);
    ASSERT_TRUE(set->int_Append(6));
    EXPECT_EQ(owner.notifications, 3) << "bits already set raise nothing";

    set->ClearChangedProperty(0x200000);
    EXPECT_EQ(word(), 0x1500000u);
    set->SetChangedProperty(0x200000);
    EXPECT_EQ(word(), 0x1700000u);
    EXPECT_EQ(owner.notifications, 3) << "SetChangedProperty is silent";

    set->ClearChangedProperty(-1);
    set->int_Clear();
    EXPECT_EQ(word(), 0xF00000u);
    Stats s = StatsOf(set);
    EXPECT_EQ(s.count, 0);
    EXPECT_EQ(s.max, 0);
    EXPECT_EQ(s.avg, 0);
}

TEST_F(DataSetTest, LockObjectHoldsOtherThreadsOffUntilUnlocked) {
    auto set = WithValues({1});
    CComPtr<IZynObjLock> lock;
    ASSERT_EQ(set->LockObject(&lock), S_OK);
    // Locks are recursive: the holder may still call in.
    LONG count = 0;
    ASSERT_EQ(set->get_Count(&count), S_OK);

    std::atomic<bool> done{false};
    std::thread reader([&] {
        LONG c = 0;
        set->get_Count(&c);
        done = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(done.load());
    ASSERT_EQ(lock->Unlock(), S_OK);
    reader.join();
    EXPECT_TRUE(done.load());
    EXPECT_EQ(lock->Unlock(), S_OK) << "a second Unlock does nothing";
}

TEST_F(DataSetTest, ReadersSeeWholeAppendsWhileASamplerWrites) {
    auto tb = Axis({});
    auto set = CZynDataSet::Create(tb);
    constexpr int kSamples = 20000;
    std::thread sampler([&] {
        for (int i = 0; i < kSamples; ++i) {
            CZynLockList locks;
            set->int_LockInto(locks);
            ASSERT_TRUE(tb->AppendRel(std::uint32_t(i)));
            ASSERT_TRUE(set->int_Append(double(i)));
        }
    });
    // The reader takes the newest values only: reading all of them on every turn made the test
    // quadratic, and minutes long under the sanitizers when the reader kept winning the lock.
    constexpr LONG kTail = 64;
    std::vector<LONG> pairs(std::size_t(2 * kTail));
    LONG last = 0;
    while (last < kSamples) {
        LONG count = 0, many = 0;
        set->get_Count(&count);
        if (count > 0) {
            const LONG from = std::max<LONG>(0, count - kTail);
            ASSERT_EQ(
                set->GetDataEx(from, count - from, 0.0, double(kSamples), 0.0, kSamples, pairs.data(), &many),
                S_OK);
            ASSERT_EQ(many, count - from);
            for (LONG k = 0; k < many; ++k)
                ASSERT_EQ(pairs[2 * std::size_t(k) + 1], kSamples - (from + k)) << from + k;
        }
        last = count;
    }
    sampler.join();
}

TEST_F(DataSetTest, AnUneditedRecordingCostsAtMostTwelveBytesPerValue) {
    auto set = CZynDataSet::Create();
    double worst = 0;
    for (int i = 0; i < 300000; ++i) {
        ASSERT_TRUE(set->int_Append(i));
        if (i >= 1000) worst = std::max(worst, double(set->int_AllocatedBytes()) / (i + 1));
    }
    EXPECT_LE(worst, 12.0);
    ASSERT_EQ(set->SetValueAt(0, 1), S_OK);
    EXPECT_GT(set->int_AllocatedBytes(), std::size_t(300000 * 8 * 2 - 1)) << "an edit separates the stores";
}

} // namespace

namespace {

TEST_F(DataSetTest, ScriptsReachTheDataSetByName) {
    auto set = WithValues({4, 6});
    IDispatch* disp = static_cast<IZynDataSet*>(set.p);
    UINT infos = 0;
    ASSERT_EQ(disp->GetTypeInfoCount(&infos), S_OK);
    EXPECT_EQ(infos, 1u);
    CComBSTR name(u"getvalueat");
    LPOLESTR names[] = {name.m_str};
    DISPID id = 0;
    ASSERT_EQ(disp->GetIDsOfNames(GUID_NULL, names, 1, 0, &id), S_OK);
    EXPECT_EQ(id, 0x60020000);
    CComVariant arg(1);
    DISPPARAMS params{&arg, nullptr, 1, 0};
    CComVariant result;
    ASSERT_EQ(disp->Invoke(id, GUID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr), S_OK);
    EXPECT_EQ(result.vt, VT_R8);
    EXPECT_EQ(result.dblVal, 6);
}

} // namespace
