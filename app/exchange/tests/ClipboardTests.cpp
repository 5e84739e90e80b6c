#include "exchange/ChannelClipboard.h"
#include "exchange/ChannelDescription.h"
#include "exchange/ChannelMimeData.h"
#include "exchange/ClipboardCommands.h"
#include "exchange/CsvImport.h"

#include "com/ccombstr.h"
#include "display/WideText.h"
#include "document/CTallonChart.h"
#include "document/ZynMessageBox.h"
#include "xml/XmlEscape.h"

#include <QAction>
#include <QClipboard>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QMimeData>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <memory>
#include <random>

using namespace zyn::clipboard;

namespace {

const QString kPasteFailedText =
    QStringLiteral("Error pasting clipboard data. The data is no longer available.");
const QString kCsvFailedText =
    QStringLiteral("Unable to paste CSV data. The data may not be in the proper format "
                   "or is in a format that is not recognized.");

class ClipboardTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetZynMessageHook([this](const QString& text, QMessageBox::StandardButtons) {
            boxes << text;
            return QMessageBox::Ok;
        });
        QGuiApplication::clipboard()->clear();
    }
    void TearDown() override {
        QGuiApplication::clipboard()->clear();
        SetZynMessageHook(nullptr);
    }

    std::unique_ptr<CTallonChart> NewDoc() {
        auto doc = std::make_unique<CTallonChart>(ctx);
        doc->OnNewDocument();
        return doc;
    }
    // A window holding the channel "Disk Time" with two samples, selected in the channel bar.
    std::unique_ptr<CTallonChart> DiskDoc() {
        auto doc = NewDoc();
        EXPECT_TRUE(zyn::csv::ImportText(doc->Chart(), u"Time,Disk Time\n10:00:00,1.5\n10:00:01,2.25\n"));
        Select(*doc, 0);
        return doc;
    }
    void Select(CTallonChart& doc, std::size_t index) {
        ctx.channelBar.selectedChart = doc.Identifier();
        ctx.channelBar.selectedChannel = Identifier(doc.Channels().at(index));
    }
    static QString Identifier(IZynChannel* channel) {
        CComBSTR id;
        channel->get_Identifier(&id);
        return FromBstr(id);
    }
    static QString Name(IZynChannel* channel) {
        CComBSTR name;
        channel->get_Name(&name);
        return FromBstr(name);
    }
    static std::vector<double> Values(IZynChannel* channel) {
        CComPtr<IZynDataSet> data;
        channel->get_Data(&data);
        LONG count = 0;
        data->get_Count(&count);
        std::vector<double> values(std::size_t(count), 0.0);
        for (LONG i = 0; i < count; ++i)
            data->GetValueAt(i, &values[std::size_t(i)]);
        return values;
    }
    static void PutOnClipboard(const QString& format, const QByteArray& bytes) {
        auto* data = new QMimeData;
        data->setData(format, bytes);
        QGuiApplication::clipboard()->setMimeData(data);
    }
    static bool OnClipboard(QLatin1StringView format) {
        const QMimeData* data = QGuiApplication::clipboard()->mimeData();
        return data && data->hasFormat(format);
    }
    static QString PasteText() {
        bool enabled = false;
        const QString text = PasteMenuText(enabled);
        return enabled ? text : QStringLiteral("(disabled) ") + text;
    }

    CAppContext ctx;
    QStringList boxes;
};

TEST_F(ClipboardTest, CopyOffersTheDescriptionTheNameAndCsvAndNamesTheChannelInTheMenus) {
    auto source = DiskDoc();
    CClipboardCommands commands(source.get());
    EXPECT_EQ(commands.Action(CClipboardCommands::kCmdCopy)->text(),
              QStringLiteral("&Copy (Disk Time)\tCtrl+C"));
    EXPECT_EQ(commands.Action(CClipboardCommands::kCmdCut)->text(),
              QStringLiteral("Cu&t (Disk Time)\tCtrl+X"));
    EXPECT_EQ(PasteText(), QStringLiteral("(disabled) &Paste\tCtrl+V"));
    EXPECT_TRUE(commands.Action(CClipboardCommands::kCmdCut)->statusTip().contains(u"stays in this chart"));

    QSignalSpy status(source.get(), &CTallonChart::statusMessage);
    commands.Action(CClipboardCommands::kCmdCopy)->trigger();
    ASSERT_EQ(status.size(), 1);
    EXPECT_EQ(status.at(0).at(0).toString(), QStringLiteral("Disk Time is inserted in to the clipboard."));

    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(data, nullptr);
    for (QLatin1StringView format : {kDescriptionFormat, kNameFormat, kCsvFormat, kTextFormat})
        EXPECT_TRUE(data->formats().contains(format)) << format.data();
    EXPECT_EQ(data->data(kNameFormat), QByteArray("Disk Time"));
    EXPECT_EQ(PasteText(), QStringLiteral("&Paste (Disk Time)\tCtrl+V"));

    // The description as the compact document text, every attribute escaped.
    const QString description = QString::fromUtf8(data->data(kDescriptionFormat));
    const QString expected =
        QStringLiteral("<?xml version=\"1.0\"?>\n<m:Zynthar xmlns:m=\"urn:zynthar:tallon\">"
                       "<Data Owner=\"%1\" Chart=\"%2\" Channel=\"%3\" Name=\"Disk+Time\" "
                       "Action=\"0\"></Data>\n</m:Zynthar>")
            .arg(QString::number(OwnerNumber(source.get())),
                 ToQString(XmlEscape(U16View(source->Identifier()))),
                 ToQString(XmlEscape(U16View(ctx.channelBar.selectedChannel))));
    EXPECT_EQ(description, expected);

    // The samples as CSV, the same text under both text formats: the time of day and six decimals.
    const QByteArray csv("Time,Disk Time\n10:00:00,1.500000\n10:00:01,2.250000\n");
    EXPECT_EQ(data->data(kCsvFormat), csv);
    EXPECT_EQ(data->data(kTextFormat), csv);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QString::fromUtf8(csv));
}

TEST_F(ClipboardTest, CutCarriesItsActionAndLeavesTheSourceChannel) {
    auto source = DiskDoc();
    ASSERT_TRUE(CopySelectedChannel(*source, ChannelAction::Cut));
    ChannelDescription description;
    ASSERT_TRUE(ReadChannelDescription(
        U16View(QString::fromUtf8(QGuiApplication::clipboard()->mimeData()->data(kDescriptionFormat))),
        description));
    EXPECT_EQ(description.action, 1);
    EXPECT_EQ(description.name, u"Disk Time");
    EXPECT_EQ(description.owner, OwnerNumber(source.get()));

    auto target = NewDoc();
    ASSERT_TRUE(PasteFromClipboard(*target));
    EXPECT_EQ(source->ChannelCount(), 1);
    EXPECT_EQ(target->ChannelCount(), 1);
}

TEST_F(ClipboardTest, NothingIsCopiedWithoutAChannelOfThisChartSelected) {
    auto source = DiskDoc();
    auto other = NewDoc();
    ctx.channelBar.selectedChart = other->Identifier(); // a channel of another chart
    EXPECT_FALSE(CopySelectedChannel(*source, ChannelAction::Copy));
    bool enabled = true;
    EXPECT_EQ(CopyMenuText(*source, kCopyMenuText, enabled), QStringLiteral("&Copy\tCtrl+C"));
    EXPECT_FALSE(enabled);
    EXPECT_FALSE(OnClipboard(kDescriptionFormat));
}

TEST_F(ClipboardTest, PastingIntoAnotherWindowTakesTheChannelOverWithItsData) {
    auto source = DiskDoc();
    ASSERT_TRUE(CopySelectedChannel(*source, ChannelAction::Copy));
    auto target = NewDoc();
    QSignalSpy status(target.get(), &CTallonChart::statusMessage);
    ASSERT_TRUE(PasteFromClipboard(*target));
    ASSERT_EQ(target->ChannelCount(), 1);
    CComPtr<IZynChannel> pasted = target->Channels().at(0);
    EXPECT_EQ(Name(pasted), QStringLiteral("Disk Time"));
    EXPECT_EQ(Values(pasted), (std::vector<double>{1.5, 2.25}));
    EXPECT_NE(Identifier(pasted), ctx.channelBar.selectedChannel); // a copy, not the source
    EXPECT_TRUE(target->IsModified());
    ASSERT_EQ(status.size(), 2);
    EXPECT_EQ(status.at(0).at(0).toString(), QStringLiteral("Disk Time has been pasted in to this chart."));
    EXPECT_EQ(status.at(1).at(0).toString(),
              QStringLiteral("Data from the clipboard was successfully pasted."));
    EXPECT_TRUE(boxes.isEmpty());
}

// The description escapes a character beyond Latin-1 into a form that does not read back; the
// message names the channel as it is.
TEST_F(ClipboardTest, ThePastedMessageNamesAChannelWhoseNameIsBeyondLatin1) {
    auto source = DiskDoc();
    const QString name = QStringLiteral("Zeit \u20AC \u65F6\u95F4");
    source->Channels().at(0)->put_Name(ToBstr(name));
    ASSERT_TRUE(CopySelectedChannel(*source, ChannelAction::Copy));
    auto target = NewDoc();
    QSignalSpy status(target.get(), &CTallonChart::statusMessage);
    ASSERT_TRUE(PasteFromClipboard(*target));
    ASSERT_GE(status.size(), 1);
    EXPECT_EQ(status.at(0).at(0).toString(), name + QStringLiteral(" has been pasted in to this chart."));
    EXPECT_EQ(Name(target->Channels().at(0)), name);
    EXPECT_EQ(PasteText(), QStringLiteral("&Paste (%1)\tCtrl+V").arg(name));
}

TEST_F(ClipboardTest, AChannelOrChartThatIsGoneFailsAndChangesNothing) {
    auto source = DiskDoc();
    ASSERT_TRUE(CopySelectedChannel(*source, ChannelAction::Copy));
    auto target = NewDoc();
    ASSERT_TRUE(zyn::csv::ImportText(target->Chart(), u"Time,Mine\n10:00:00,7\n10:00:01,8\n"));
    source->Channels().at(0)->Detach();
    EXPECT_FALSE(PasteFromClipboard(*target));
    EXPECT_EQ(boxes, QStringList{kPasteFailedText});
    EXPECT_EQ(target->ChannelCount(), 1);
    EXPECT_FALSE(target->IsModified());

    // A description naming a chart that never was (or whose window closed).
    ChannelDescription gone;
    gone.chart = u"{00000000-0000-0000-0000-000000000000}";
    gone.channel = u"{00000000-0000-0000-0000-000000000001}";
    gone.name = u"Gone";
    PutOnClipboard(kDescriptionFormat, ToQString(WriteChannelDescription(gone)).toUtf8());
    boxes.clear();
    EXPECT_FALSE(PasteFromClipboard(*target));
    EXPECT_EQ(boxes, QStringList{kPasteFailedText});
    EXPECT_EQ(target->ChannelCount(), 1);
    EXPECT_EQ(Values(target->Channels().at(0)), (std::vector<double>{7, 8}));
}

TEST_F(ClipboardTest, ClosingTheSourceWindowEmptiesTheClipboardOfItsChannel) {
    auto source = DiskDoc();
    auto other = DiskDoc();
    Select(*source, 0);
    ASSERT_TRUE(CopySelectedChannel(*source, ChannelAction::Copy));
    ReleaseClipboardOf(other.get()); // not the owner: the clipboard keeps the channel
    EXPECT_TRUE(OnClipboard(kDescriptionFormat));
    ReleaseClipboardOf(source.get());
    source.reset();
    EXPECT_FALSE(OnClipboard(kDescriptionFormat));
    EXPECT_EQ(PasteText(), QStringLiteral("(disabled) &Paste\tCtrl+V"));
    EXPECT_FALSE(PasteFromClipboard(*other));
    EXPECT_EQ(boxes, QStringList{kPasteFailedText});
}

TEST_F(ClipboardTest, AChannelWithoutSamplesRendersTheHeaderAlone) {
    auto doc = NewDoc();
    CComPtr<IZynChannel> empty;
    ASSERT_EQ(doc->Chart()->AddStaticChannel(&empty), S_OK);
    empty->put_Name(CComBSTR(u"Empty, but named"));
    std::unique_ptr<CChannelMimeData> data = MakeChannelData(*doc, Identifier(empty), ChannelAction::Copy);
    ASSERT_TRUE(data);
    // A name with a comma is quoted, so that it stays one column.
    EXPECT_EQ(data->data(kCsvFormat), QByteArray("Time,\"Empty, but named\"\n"));
    // Once the channel is gone there is nothing to render.
    empty->Detach();
    EXPECT_TRUE(data->data(kCsvFormat).isEmpty());
}

TEST_F(ClipboardTest, TextThatFailsTheImportRulesIsRefusedAndChangesNothing) {
    auto doc = NewDoc();
    ASSERT_TRUE(zyn::csv::ImportText(doc->Chart(), u"Time,Mine\n10:00:00,7\n10:00:01,8\n"));
    QByteArray thirty("Time");
    for (int i = 1; i < 30; ++i)
        thirty += ",C" + QByteArray::number(i);
    thirty += "\n10:00:00";
    for (int i = 1; i < 30; ++i)
        thirty += ",1";
    QByteArray binary(4 << 20, '\0');
    std::mt19937 random(16);
    for (char& c : binary)
        c = char(random() & 0xFF);
    QByteArray huge;
    for (int i = 0; i < 200000; ++i)
        huge += "no time here,1,2\n";
    const QByteArray oneLine(8 << 20, 'x');
    const std::pair<const char*, QByteArray> texts[] = {
        {"one field", "Time\n10:00:00\n10:00:01\n"},
        {"thirty fields", thirty},
        {"no ':' in the second line", "Time,A\n1,2\n3,4\n"},
        {"binary", binary},
        {"huge without times", huge},
        {"one huge line", oneLine},
    };
    for (const auto& [what, text] : texts) {
        for (QLatin1StringView format : {kTextFormat, kCsvFormat}) {
            boxes.clear();
            PutOnClipboard(format, text);
            QElapsedTimer timer;
            timer.start();
            EXPECT_FALSE(PasteFromClipboard(*doc)) << what;
            EXPECT_LT(timer.elapsed(), 20000) << what;
            EXPECT_EQ(boxes, QStringList{kCsvFailedText}) << what;
            ASSERT_EQ(doc->ChannelCount(), 1) << what;
            EXPECT_EQ(Values(doc->Channels().at(0)), (std::vector<double>{7, 8})) << what;
        }
    }
    EXPECT_FALSE(doc->IsModified());
}

TEST_F(ClipboardTest, CsvIsPreferredOverPlainTextAndTheMenuNamesWhatIsOffered) {
    EXPECT_EQ(PasteText(), QStringLiteral("(disabled) &Paste\tCtrl+V"));
    auto* both = new QMimeData;
    both->setData(kCsvFormat, "Time,FromCsv\n10:00:00,1\n10:00:01,2\n");
    both->setData(kTextFormat, "Time,FromText\n10:00:00,1\n10:00:01,2\n");
    QGuiApplication::clipboard()->setMimeData(both);
    EXPECT_EQ(PasteText(), QStringLiteral("&Paste (Text as CSV)\tCtrl+V"));
    auto doc = NewDoc();
    QSignalSpy status(doc.get(), &CTallonChart::statusMessage);
    ASSERT_TRUE(PasteFromClipboard(*doc));
    ASSERT_EQ(doc->ChannelCount(), 1);
    EXPECT_EQ(Name(doc->Channels().at(0)), QStringLiteral("FromCsv"));
    EXPECT_EQ(status.last().at(0).toString(),
              QStringLiteral("Data from the clipboard was successfully pasted."));

    PutOnClipboard(kCsvFormat, "Time,OnlyCsv\n10:00:00,1\n10:00:01,2\n");
    EXPECT_EQ(PasteText(), QStringLiteral("&Paste (CSV Data)\tCtrl+V"));
    PutOnClipboard(kTextFormat, "Time,Plain\n10:00:00,3\n10:00:01,4\n");
    EXPECT_EQ(PasteText(), QStringLiteral("&Paste (Text as CSV)\tCtrl+V"));
    ASSERT_TRUE(PasteFromClipboard(*doc));
    ASSERT_EQ(doc->ChannelCount(), 2);
    EXPECT_EQ(Values(doc->Channels().at(1)), (std::vector<double>{3, 4}));
}

} // namespace
