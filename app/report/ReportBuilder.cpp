#include "ReportBuilder.h"

#include "ReportTemplate.h"
#include "display/ChartSettings.h"
#include "display/WideText.h"

#include "com/variant.h"
#include "xml/CXmlNode.h"

#include <vector>

namespace {

// Sizes of 10 percent or less are not sizes.
constexpr int kMinFontSize = 10;

int SizeOf(const CXmlNode& node) {
    const int size = node.GetAttributeInt(u"FontSize");
    return size > kMinFontSize ? size : CReportSection::kDefaultFontSize;
}

double DateOf(IZynEvent* event, HRESULT (IZynEvent::*get)(VARIANT*), bool& ok) {
    CComVariant v;
    if (FAILED((event->*get)(&v))) ok = false;
    return VariantDate(v);
}

template <class Iter, class Item> std::vector<CComPtr<Item>> Collect(Iter* it) {
    std::vector<CComPtr<Item>> out;
    if (!it) return out;
    for (;;) {
        LONG more = 0;
        if (FAILED(it->get_HasNext(&more)) || !more) break;
        CComPtr<Item> item;
        if (FAILED(it->GetNext(&item)) || !item) break;
        out.push_back(item);
    }
    return out;
}

class CBuild {
public:
    CBuild(CReportSection& root, CReportFieldMap& fields, const ReportInputs& in, const CXmlNode& templ)
        : m_root(root), m_fields(fields), m_in(in), m_templ(templ), m_reader(fields, in),
          m_statistics(in.statistics ? *in.statistics : m_ownStatistics) {
        m_statistics.BeginBuild();
    }
    ~CBuild() { m_statistics.EndBuild(); }

    ReportBuildResult Run() {
        m_reader.SetChartFields();
        const CXmlNode* chartTemplate = FindTemplateElement(m_templ, ReportTag::Chart);
        if (!chartTemplate || m_reader.Failed()) return Result();
        CReportSection* chartSection = BuildSection(*chartTemplate, m_root, Mask(kMaskChart), m_fields);
        if (!chartSection) return Result();

        CComPtr<IZynChannelIter> channelIter;
        CComPtr<IZynEventIter> eventIter;
        if (FAILED(m_in.chart->get_Channels(&channelIter)) || FAILED(m_in.chart->get_Events(&eventIter)))
            return ReportBuildResult::Partial;
        m_channels = VisibleChannels(Collect<IZynChannelIter, IZynChannel>(channelIter));
        const auto events = Collect<IZynEventIter, IZynEvent>(eventIter);

        if (const CXmlNode* t = FindTemplateElement(m_templ, ReportTag::Channel)) {
            for (IZynChannel* channel : m_channels) {
                m_reader.SetChannelFields(channel);
                if (m_reader.Failed()) return Result();
                BuildSection(*t, *chartSection, Mask(kMaskChannel), m_fields);
            }
        }
        if (!BuildEvents(events)) return ReportBuildResult::Partial;
        BuildSummary();
        return Result();
    }

private:
    ReportBuildResult Result() const {
        return m_reader.Failed() ? ReportBuildResult::Partial : ReportBuildResult::Built;
    }
    std::uint32_t Mask(int which) const { return m_in.settings->reportFieldMasks[std::size_t(which)]; }

    std::vector<CComPtr<IZynChannel>> VisibleChannels(std::vector<CComPtr<IZynChannel>> all) {
        std::vector<CComPtr<IZynChannel>> out;
        for (auto& c : all) {
            LONG visible = 0;
            if (SUCCEEDED(c->get_Visible(&visible)) && visible) out.push_back(c);
        }
        return out;
    }

    struct EventSpan {
        IZynEvent* event;
        int number;
        double start, stop;
        bool running;
        std::vector<SampleWindow> windows; // one per visible channel
    };

    // Every event's times and, for a stopped one, each channel's window, planned before any
    // window is read.
    bool PlanEvents(const std::vector<CComPtr<IZynEvent>>& events, std::vector<EventSpan>& spans) {
        int number = 0;
        for (IZynEvent* event : events) {
            ++number;
            bool ok = true;
            EventSpan span{event,
                           number,
                           DateOf(event, &IZynEvent::get_StartTime, ok),
                           DateOf(event, &IZynEvent::get_StopTime, ok),
                           false,
                           {}};
            if (!ok) return false;
            span.running = span.stop < kEventStoppedEpoch;
            // An event that stops before it starts is no span of time to report.
            if (!span.running && span.stop < span.start) continue;
            if (!span.running) {
                for (IZynChannel* channel : m_channels) {
                    CComPtr<IZynDataSet> data;
                    SampleWindow window;
                    if (FAILED(channel->get_Data(&data)) || !data ||
                        FAILED(EventWindow(data, span.start, span.stop, window)))
                        return false;
                    m_statistics.Plan(channel, window);
                    span.windows.push_back(window);
                }
            }
            spans.push_back(std::move(span));
        }
        return true;
    }

    bool BuildEvents(const std::vector<CComPtr<IZynEvent>>& events) {
        std::vector<EventSpan> spans;
        if (!PlanEvents(events, spans)) return false;
        const CXmlNode* eventTemplate = FindTemplateElement(m_templ, ReportTag::Event);
        const CXmlNode* channelTemplate = FindTemplateElement(m_templ, ReportTag::EvtChannel);
        for (const EventSpan& span : spans) {
            m_reader.SetEventFields(span.event, span.number, span.start);
            m_reader.SetEventStop(span.start, span.stop, span.running);
            if (m_reader.Failed()) return false;
            if (!eventTemplate) continue;
            CReportSection* section = BuildSection(*eventTemplate, m_root, Mask(kMaskEvent), m_fields);
            if (span.running || !section || !channelTemplate) continue;
            for (std::size_t c = 0; c < m_channels.size(); ++c) {
                // A channel with fewer than two samples in the event has no figures over it.
                if (span.windows[c].Size() < 2) continue;
                SampleWindowStats stats;
                if (FAILED(m_statistics.Stats(m_channels[c], span.windows[c], stats))) return false;
                m_reader.SetEventChannelFields(m_channels[c], stats, span.start, span.stop);
                if (m_reader.Failed()) return false;
                BuildSection(*channelTemplate, *section, Mask(kMaskEvent), m_fields);
            }
        }
        return true;
    }

    void BuildSummary() {
        const CXmlNode* summary = FindTemplateElement(m_templ, ReportTag::Summary);
        if (!summary) return;
        const CXmlNode* title = summary->FindChild(ReportTag::SectionHeader, nullptr, false);
        if (!title) return;
        CReportSection* section = m_root.AddSection(m_fields.Substitute(ToQString(title->GetText())));
        const QString desc = ToQString(title->GetAttributeString(u"Desc"));
        if (!desc.isEmpty()) section->AddRow(desc, QString(), CReportSection::kDefaultFontSize, true);
        if (title->GetAttributeInt(u"FontSize") > kMinFontSize) section->SetFontSize(SizeOf(*title));
        for (IZynChannel* channel : m_channels) {
            m_reader.SetCounterFields(channel);
            if (m_reader.Failed()) return;
            BuildSection(*summary, *section, Mask(kMaskSummary), m_fields);
        }
    }

    CReportSection& m_root;
    CReportFieldMap& m_fields;
    const ReportInputs& m_in;
    const CXmlNode& m_templ;
    CReportFieldReader m_reader;
    std::vector<CComPtr<IZynChannel>> m_channels;
    CEventStatistics m_ownStatistics;
    CEventStatistics& m_statistics;
};

} // namespace

CReportSection* BuildSection(const CXmlNode& element, CReportSection& parent, std::uint32_t mask,
                             const CReportFieldMap& fields) {
    const CXmlNode* header = element.FindChild(ReportTag::Header, nullptr, false);
    if (!header) return nullptr;
    CReportSection* section = parent.AddSection(fields.Substitute(ToQString(header->GetText())));
    if (header->GetAttributeInt(u"FontSize") > kMinFontSize) section->SetFontSize(SizeOf(*header));
    for (int i = 0; i < element.GetChildCount(); ++i) {
        const CXmlNode& row = *element.GetChildAt(i);
        const bool full = row.GetName() == ReportTag::FullItem;
        if (!full && row.GetName() != ReportTag::Item) continue;
        if ((mask & row.GetAttributeHex(u"Bit")) == 0) continue;
        QString value = fields.Substitute(ToQString(row.GetAttributeString(u"Value")));
        if (row.GetAttributeInt(u"NoEmpty") != 0 && value.isEmpty()) continue;
        const QString prefix = ToQString(row.GetAttributeString(u"Prefix"));
        if (!prefix.isEmpty()) value = prefix + value;
        if (full)
            section->AddRow(value, QString(), SizeOf(row), true);
        else
            section->AddRow(fields.Substitute(ToQString(row.GetText())), value, SizeOf(row));
    }
    return section;
}

ReportBuildResult BuildReport(CReportSection& root, CReportFieldMap& fields, const ReportInputs& in,
                              const CXmlNode* templateRoot) {
    root.Clear();
    fields.Clear();
    if (!templateRoot) return ReportBuildResult::NoTemplate;
    if (!in.chart || !in.settings) return ReportBuildResult::Built;
    return CBuild(root, fields, in, *templateRoot).Run();
}

ReportBuildResult BuildReport(CReportSection& root, CReportFieldMap& fields, const ReportInputs& in) {
    const std::unique_ptr<CXmlNode> templ = LoadReportTemplate();
    return BuildReport(root, fields, in, templ.get());
}
