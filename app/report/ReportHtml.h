#pragma once
// The report as a small web page for sharing: sections as nested <section> elements with a heading
// of their level (h1 for the top, at most h6), rows as a two-column table of label and value, a
// full-width row as one cell across both. UTF-8, no scripts, no outside resources.

#include "ReportTree.h"

#include <QString>

QString ReportHtml(const CReportSection& root);
