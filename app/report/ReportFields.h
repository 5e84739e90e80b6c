#pragma once
// The facts a report shows, read from a chart's objects into the field map: chart fields, channel
// fields over the whole recording, event fields, event-channel fields over an event's span and the
// counter fields of the summary. Numbers are written with thousands separators, times in the
// locale's forms and durations as the chart's display writes them.

#include "EventStatistics.h"
#include "ReportFieldMap.h"

#include "com/unknown.h"
#include "display/VariantDate.h"
#include "objlib/ZynInterfaces.h"

#include <QString>

struct ChartSettings;

// Events whose stop time lies before this date (28 November 2004) have never been stopped.
inline constexpr double kEventStoppedEpoch = 38319.0;
// "Unknown - Event still running"
inline constexpr int kEventRunningText = 50131;

struct ReportInputs {
    IZynChart* chart = nullptr;
    // Field masks and the relative time format; required.
    const ChartSettings* settings = nullptr;
    // The chart's start when it has none of its own (the document's creation time).
    double documentCreated = 0.0;
    // The report's creation time; 0 takes the current time.
    double reportTime = 0.0;
    // Summaries of the channels kept from one build to the next (the report page keeps one);
    // null: the build keeps its own.
    CEventStatistics* statistics = nullptr;
};

// The amount of change per day, hour or minute, whichever first lies strictly between 1 and 100,
// else per second: "4,000 bytes/minute". "0.0" without time or without change.
QString RateOfChange(double days, double first, double last, const QString& units);

// A number with thousands separators; a null format picks one by magnitude.
QString ReportNumber(double value, const char16_t* format = nullptr);

class CReportFieldReader {
public:
    CReportFieldReader(CReportFieldMap& fields, const ReportInputs& in);

    // The chart's start as the chart display takes it (the document's creation time when the
    // chart has none).
    double StartTime() const { return m_start; }

    void SetChartFields();
    void SetChannelFields(IZynChannel* channel);
    // Name, number (from 1 in chart order), comment, identifier and start.
    void SetEventFields(IZynEvent* event, int number, double start);
    // Stop time and duration of a stopped event, or the still-running text for both.
    void SetEventStop(double start, double stop, bool running);
    // The channel's figures over the samples of an event (`stats`, see EventStatistics.h).
    void SetEventChannelFields(IZynChannel* channel, const SampleWindowStats& stats, double start,
                               double stop);
    void SetCounterFields(IZynChannel* channel);

    // A call into the chart's objects failed: the report should stop with what it has.
    bool Failed() const { return m_failed; }

private:
    template <class I> QString Text(I* object, HRESULT (I::*get)(BSTR*));
    double DateAt(IZynDataSet* data, LONG index);
    double ValueAt(IZynDataSet* data, LONG index);
    void SetChannelNames(IZynChannel* channel);
    void SetDataFields(IZynChannel* channel);
    void ClearDataFields();
    QString RelativeToStart(double t) const;
    bool Check(HRESULT hr);

    CReportFieldMap& m_fields;
    const ReportInputs& m_in;
    double m_start = 0.0;
    bool m_failed = false;
};
