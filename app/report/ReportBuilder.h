#pragma once
// Builds a chart's report tree from a template: the chart section with a section per visible
// channel, a section per event with its channels' figures over the event, and the counter summary.
// The chart's four field masks decide which rows appear.

#include "ReportFieldMap.h"
#include "ReportFields.h"
#include "ReportTree.h"

#include <cstdint>

class CXmlNode;

enum class ReportBuildResult {
    Built,
    // The template could not be loaded: the report stays empty.
    NoTemplate,
    // A chart object failed part-way: the report holds what was built before.
    Partial,
};

// Clears `root` and builds the report anew from the built-in template (parsed anew every time).
ReportBuildResult BuildReport(CReportSection& root, CReportFieldMap& fields, const ReportInputs& in);
// The same from a parsed template (null: no template).
ReportBuildResult BuildReport(CReportSection& root, CReportFieldMap& fields, const ReportInputs& in,
                              const CXmlNode* templateRoot);

// The section of one section template under `parent`: its title is the substituted header text,
// its rows the Item and FullItem children whose Bit is set in `mask`. Null when the template has
// no Header.
CReportSection* BuildSection(const CXmlNode& element, CReportSection& parent, std::uint32_t mask,
                             const CReportFieldMap& fields);
