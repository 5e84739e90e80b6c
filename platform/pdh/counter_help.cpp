// zyncounterhelp OUT.html: the help page of the Linux counters, written from the counter catalogue
// itself at build time so that the page names exactly the objects and counters the library serves.

#include "catalog.h"

#include <cstdio>
#include <fstream>
#include <string>

namespace {

std::string Escape(std::string_view text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

// What kind of number a counter gives, in the words of someone reading a chart.
const char* KindOf(const zyn::pdh::detail::CounterDef& counter) {
    if (counter.IsPercent()) return "percentage";
    if (counter.IsRate()) return "rate per second (needs two samples)";
    return "current value";
}

std::string Anchor(std::string_view name) {
    std::string out;
    for (char c : name)
        out += (c >= 'A' && c <= 'Z')                               ? char(c - 'A' + 'a')
               : ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) ? c
                                                                    : '-';
    return out;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: zyncounterhelp OUT.html\n", stderr);
        return 2;
    }
    using zyn::pdh::detail::AllObjects;
    std::string html =
        "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>The Linux counters - Tallon "
        "Help</title>\n<link rel=\"stylesheet\" href=\"help.css\"></head>\n<body>\n"
        "<p class=\"nav\"><a href=\"index.html\">Contents</a></p>\n<h1>The Linux counters</h1>\n"
        "<p>Every object Tallon reads, with its counters and what they measure. A counter's path is "
        "<code>\\Object(instance)\\Counter</code>, for example <code>\\Processor(_Total)\\% Processor "
        "Time</code>; see <a href=\"adding-counters.html\">Adding counters</a>. Objects whose sources this "
        "machine lacks (pressure files, cgroup v2) are not offered by the counter browser.</p>\n<ul>\n";
    for (const auto* object : AllObjects())
        html += "<li><a href=\"#" + Anchor(object->name) + "\">" + Escape(object->name) + "</a></li>\n";
    html += "</ul>\n";
    for (const auto* object : AllObjects()) {
        html += "<h2 id=\"" + Anchor(object->name) + "\">" + Escape(object->name) + "</h2>\n<p>" +
                Escape(object->explain) + (object->hasInstances ? " It has instances." : "") +
                "</p>\n<table>\n<tr><th>Counter</th><th>Kind</th><th>What it measures</th></tr>\n";
        for (const auto& counter : object->counters)
            html += "<tr><td>" + Escape(counter.name) + "</td><td>" + KindOf(counter) + "</td><td>" +
                    Escape(counter.explain) + "</td></tr>\n";
        html += "</table>\n";
    }
    html += "</body></html>\n";
    std::ofstream out(argv[1], std::ios::binary);
    out << html;
    out.close();
    if (!out) {
        std::fprintf(stderr, "zyncounterhelp: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
