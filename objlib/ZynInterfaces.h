#pragma once
// The automation surface of the object library. Kept in one regular shape (one member per line, type
// library parameter names, vtable order) because these declarations and the dispatch tables will be
// generated from a single interface definition.

#include "com/dispatch.h"

using OLE_COLOR = DWORD;

enum ZynChannelType : std::int32_t {
    typeDynamic = 1,
    typeStatic = 2,
    typeVirtual = 3,
};

struct IZynChannel;
struct IZynFilter;
struct IZynObjLock;
struct IZynDataSet;
struct IZynChart;
struct IZynEvent;
struct IZynChannelIter;
struct IZynEventIter;
struct IZynChartIter;

struct IZynChannel : IDispatch {
    static constexpr IID kIID = zyn::com::MakeGuid("04E35050-16A6-484B-A273-B10AD5E78F0C");
    virtual HRESULT Detach() = 0;
    virtual HRESULT AddFilter(BSTR i_FilterName, IZynFilter** o_ppFilter) = 0;
    virtual HRESULT FindFilter(BSTR i_FilterName, IZynFilter** o_ppFilter) = 0;
    virtual HRESULT Clear() = 0;
    virtual HRESULT AddValueRelTime(double i_Value, LONG i_RelTime, LONG* o_pCount) = 0;
    virtual HRESULT AddValueAbsTime(double i_Value, VARIANT i_AbsTime, LONG* o_pCount) = 0;
    virtual HRESULT LockObject(IZynObjLock** o_ppLock) = 0;
    virtual HRESULT SaveChannel(VARIANT* pVar) = 0;
    virtual HRESULT SaveChannelAsString(BSTR* pString) = 0;
    virtual HRESULT AutoScale(LONG* pStat) = 0;
    virtual HRESULT get_Name(BSTR* pName) = 0;
    virtual HRESULT put_Name(BSTR newVal) = 0;
    virtual HRESULT get_Counter(BSTR* pVal) = 0;
    virtual HRESULT get_Data(IZynDataSet** o_ppData) = 0;
    virtual HRESULT get_Chart(IZynChart** o_ppChart) = 0;
    virtual HRESULT get_Comment(BSTR* pComment) = 0;
    virtual HRESULT put_Comment(BSTR newVal) = 0;
    virtual HRESULT get_ChannelType(ZynChannelType* pTypeVal) = 0;
    virtual HRESULT get_typeDynamic(ZynChannelType* pTypeVal) = 0;
    virtual HRESULT get_typeStatic(ZynChannelType* pTypeVal) = 0;
    virtual HRESULT get_typeVirtual(ZynChannelType* pTypeVal) = 0;
    virtual HRESULT get_Color(OLE_COLOR* pColorVal) = 0;
    virtual HRESULT put_Color(OLE_COLOR newVal) = 0;
    virtual HRESULT get_Width(LONG* pWidth) = 0;
    virtual HRESULT put_Width(LONG newVal) = 0;
    virtual HRESULT get_ScaleMin(double* pVal) = 0;
    virtual HRESULT put_ScaleMin(double newVal) = 0;
    virtual HRESULT get_ScaleMax(double* pVal) = 0;
    virtual HRESULT put_ScaleMax(double newVal) = 0;
    virtual HRESULT get_Identifier(BSTR* pIdentifier) = 0;
    virtual HRESULT get_Visible(LONG* pVal) = 0;
    virtual HRESULT put_Visible(LONG newVal) = 0;
    virtual HRESULT get_CounterPath(BSTR* pStr) = 0;
    virtual HRESULT get_CounterMachine(BSTR* pStr) = 0;
    virtual HRESULT get_CounterObject(BSTR* pStr) = 0;
    virtual HRESULT get_CounterInstance(BSTR* pStr) = 0;
    virtual HRESULT get_CounterParent(BSTR* pStr) = 0;
    virtual HRESULT get_CounterDescription(BSTR* pStr) = 0;
    virtual HRESULT get_CounterName(BSTR* pStr) = 0;
    virtual HRESULT get_Units(BSTR* pStr) = 0;
    virtual HRESULT put_Units(BSTR newVal) = 0;
    virtual HRESULT get_FirstTime(VARIANT* o_TimeVal) = 0;
    virtual HRESULT get_LastTime(VARIANT* o_TimeVal) = 0;
    virtual HRESULT get_DataCount(LONG* pCount) = 0;

protected:
    ~IZynChannel() = default;
};

struct IZynFilter : IDispatch {
    static constexpr IID kIID = zyn::com::MakeGuid("A9686F56-1C56-4B1A-A52D-56F439451DBD");
    virtual HRESULT Detach() = 0;
    virtual HRESULT get_Name(BSTR* pName) = 0;
    virtual HRESULT put_Name(BSTR newVal) = 0;
    virtual HRESULT get_Enable(LONG* pVal) = 0;
    virtual HRESULT put_Enable(LONG newVal) = 0;
    virtual HRESULT get_Identifier(BSTR* pIdentifier) = 0;

protected:
    ~IZynFilter() = default;
};

struct IZynObjLock : IDispatch {
    static constexpr IID kIID = zyn::com::MakeGuid("E59F3F1D-4D6B-4D36-B33E-FAB53F40408E");
    virtual HRESULT Unlock() = 0;

protected:
    ~IZynObjLock() = default;
};

struct IZynDataSet : IDispatch {
    static constexpr IID kIID = zyn::com::MakeGuid("FC41A4A5-720F-410D-A20E-1360AD9CC8C3");
    virtual HRESULT GetValueAt(LONG i_Idx, double* o_pValue) = 0;
    virtual HRESULT SetValueAt(LONG i_Idx, double i_Value) = 0;
    virtual HRESULT GetTimeAt(LONG i_Idx, VARIANT* o_Val) = 0;
    virtual HRESULT GetRawValueAt(LONG i_Idx, double* o_pValue) = 0;
    virtual HRESULT TimeToIndex(double dTime, LONG* pIndex) = 0;
    virtual HRESULT LockObject(IZynObjLock** o_ppLock) = 0;
    virtual HRESULT get_IndexMax(LONG* pIdxVal) = 0;
    virtual HRESULT get_IndexMin(LONG* pIdxVal) = 0;
    virtual HRESULT get_Count(LONG* pVal) = 0;
    virtual HRESULT get_Max(double* pMaxVal) = 0;
    virtual HRESULT get_Min(double* pMinVal) = 0;
    virtual HRESULT get_Average(double* pAvgVal) = 0;

protected:
    ~IZynDataSet() = default;
};

struct IZynChart : IDispatch {
    static constexpr IID kIID = zyn::com::MakeGuid("59610E0E-F2F9-45CA-A98B-BE3DA13D299D");
    virtual HRESULT AddChannel(BSTR i_CounterName, IZynChannel** o_ppChannel) = 0;
    virtual HRESULT FindChannel(BSTR i_ChannelName, IZynChannel** o_ppChannel) = 0;
    virtual HRESULT Detach() = 0;
    virtual HRESULT Sample() = 0;
    virtual HRESULT AddStaticChannel(IZynChannel** o_ppChannel) = 0;
    virtual HRESULT AddVirtualChannel(IZynChannel** o_ppChannel) = 0;
    virtual HRESULT Clear() = 0;
    virtual HRESULT LockObject(IZynObjLock** o_ppLock) = 0;
    virtual HRESULT LoadChannel(VARIANT i_Data, IZynChannel** o_ppChannel) = 0;
    virtual HRESULT LoadChannelFromString(BSTR i_StringData, IZynChannel** o_ppChannel) = 0;
    virtual HRESULT SaveChart(VARIANT* pVar) = 0;
    virtual HRESULT SaveChartAsString(BSTR* pStrVal) = 0;
    virtual HRESULT CopyChannel(BSTR i_ChartId, BSTR i_ChannelId, LONG* o_pVal) = 0;
    virtual HRESULT AddEvent(BSTR i_EventName, IZynEvent** o_ppEvent) = 0;
    virtual HRESULT DetachEvent(BSTR i_EventId, LONG* o_pVal) = 0;
    virtual HRESULT Rerun() = 0;
    virtual HRESULT get_Name(BSTR* pNameVal) = 0;
    virtual HRESULT put_Name(BSTR newVal) = 0;
    virtual HRESULT get_ChannelCount(LONG* pCount) = 0;
    virtual HRESULT get_Channels(IZynChannelIter** o_ppChannelIter) = 0;
    virtual HRESULT get_Comment(BSTR* pComment) = 0;
    virtual HRESULT put_Comment(BSTR newVal) = 0;
    virtual HRESULT get_Rate(LONG* pRateVal) = 0;
    virtual HRESULT put_Rate(LONG newVal) = 0;
    virtual HRESULT get_Run(LONG* pVal) = 0;
    virtual HRESULT put_Run(LONG newVal) = 0;
    virtual HRESULT get_LastTime(VARIANT* o_TimeVal) = 0;
    virtual HRESULT get_StartTime(VARIANT* o_TimeVal) = 0;
    virtual HRESULT put_StartTime(VARIANT newVal) = 0;
    virtual HRESULT get_Identifier(BSTR* pIdentifier) = 0;
    virtual HRESULT get_LastSampleTime(VARIANT* o_TimeVal) = 0;
    virtual HRESULT get_Events(IZynEventIter** o_ppEventIter) = 0;

protected:
    ~IZynChart() = default;
};

struct IZynEvent : IDispatch {
    static constexpr IID kIID = zyn::com::MakeGuid("12FAF6F8-8090-46A4-8448-F1F4A254C38C");
    virtual HRESULT get_Name(BSTR* pName) = 0;
    virtual HRESULT put_Name(BSTR newVal) = 0;
    virtual HRESULT get_StartTime(VARIANT* pTime) = 0;
    virtual HRESULT get_StopTime(VARIANT* pTime) = 0;
    virtual HRESULT get_Identifier(BSTR* pVal) = 0;
    virtual HRESULT get_Comment(BSTR* pComment) = 0;
    virtual HRESULT put_Comment(BSTR newVal) = 0;
    virtual HRESULT get_InProgress(LONG* pVal) = 0;
    virtual HRESULT Stop() = 0;

protected:
    ~IZynEvent() = default;
};

struct IZynChannelIter : IDispatch {
    static constexpr IID kIID = zyn::com::MakeGuid("C9A56FBB-23AE-43DF-9C50-340168DE82BD");
    virtual HRESULT Reset() = 0;
    virtual HRESULT GetNext(IZynChannel** o_ppChannel) = 0;
    virtual HRESULT get_Count(LONG* pCount) = 0;
    virtual HRESULT get_HasNext(LONG* pVal) = 0;

protected:
    ~IZynChannelIter() = default;
};

struct IZynEventIter : IDispatch {
    static constexpr IID kIID = zyn::com::MakeGuid("86706038-4DCE-4620-A335-1AA6DD6F6238");
    virtual HRESULT Reset() = 0;
    virtual HRESULT GetNext(IZynEvent** o_ppEvent) = 0;
    virtual HRESULT get_Count(LONG* pCount) = 0;
    virtual HRESULT get_HasNext(LONG* pVal) = 0;

protected:
    ~IZynEventIter() = default;
};

struct IZynChannelPrivate : IUnknown {
    static constexpr IID kIID = zyn::com::MakeGuid("733E5742-6928-48E1-9BBF-F38906235FE1");
    virtual HRESULT GetChangedProperty(LONG* pVal) = 0;
    virtual HRESULT SetChangedProperty(LONG newVal) = 0;
    virtual HRESULT ClearChangedProperty(LONG newVal) = 0;

protected:
    ~IZynChannelPrivate() = default;
};

struct IZynDataSetPrivate : IUnknown {
    static constexpr IID kIID = zyn::com::MakeGuid("8F485479-1500-47B1-86CB-9443BCE24D7D");
    virtual HRESULT GetDataEx(LONG i_dwIdx, LONG i_dwMany, double i_dMin, double i_dMax, double i_dOffset, LONG i_Tall, LONG* i_pData, LONG* o_pManyReturned) = 0;
    virtual HRESULT GetChangedProperty(LONG* pVal) = 0;
    virtual HRESULT SetChangedProperty(LONG newVal) = 0;
    virtual HRESULT ClearChangedProperty(LONG newVal) = 0;
    virtual HRESULT GetTimeAtEx(LONG iStartIdx, LONG dwMany, double* pTimeBuff, LONG* o_pManyReturned) = 0;

protected:
    ~IZynDataSetPrivate() = default;
};

struct IZynChartPrivate : IUnknown {
    static constexpr IID kIID = zyn::com::MakeGuid("52D306AE-829C-402E-AF0C-EC88C70F8D68");
    virtual HRESULT SetNotification(BSTR i_NotificationName) = 0;
    virtual HRESULT GetChangedProperty(LONG* pVal) = 0;
    virtual HRESULT SetChangedProperty(LONG newVal) = 0;
    virtual HRESULT ClearChangedProperty(LONG newVal) = 0;
    virtual HRESULT GetAggregatePropChanges(LONG* pVal) = 0;
    virtual HRESULT ClearAggregatePropChanges(LONG newVal) = 0;
    virtual HRESULT SetPeerWindow(IUnknown* i_pIWindow) = 0;
    virtual HRESULT PeerWindowRemoved(LONG* o_pVal) = 0;

protected:
    ~IZynChartPrivate() = default;
};
