#include "CommandIcons.h"

#include "resources/ZynMenus.h"

#include <QFile>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

namespace {

// The colours the pictures are drawn with on light windows, and what they become on dark ones.
constexpr char kInk[] = "#2d3a4a";
constexpr char kDarkInk[] = "#e3e9f0";
constexpr char kPaper[] = "#ffffff";
constexpr char kDarkPaper[] = "#56626f";

// Drawn at every size a tool bar or menu asks for, so that no size is a blurred scaling.
constexpr int kSizes[] = {16, 20, 22, 24, 32, 48};

bool IsDark(const QPalette& palette) {
    return palette.color(QPalette::Window).lightness() < 128;
}

} // namespace

const std::vector<CommandIcon>& CommandIcons() {
    static const std::vector<CommandIcon> icons = {
        {ZynCmd::FileNew, "document-new", "chart-new"},
        {ZynCmd::FileOpen, "document-open", "chart-open"},
        {ZynCmd::FileSave, "document-save", "chart-save"},
        {ZynCmd::Print, "document-print", "chart-print"},
        {ZynCmd::AddChannel, nullptr, "channel-add"},
        {ZynCmd::Pause, "media-playback-pause", "sampling-pause"},
        {ZynCmd::SampleData, nullptr, "sample-data"},
        {ZynCmd::ZoomButton, "zoom-in", "chart-zoom"},
        {ZynCmd::AddEvent, nullptr, "event-add"},
        {ZynCmd::ChartProperties, "document-properties", "chart-properties"},
        {ZynCmd::About, "help-about", "program-about"},
        {ZynCmd::HelpTopics, "help-contents", "help-contents"},
    };
    return icons;
}

QIcon OwnIcon(const char* ownName, const QPalette& palette) {
    QFile file(QStringLiteral(":/icons/%1.svg").arg(QLatin1String(ownName)));
    if (!file.open(QIODevice::ReadOnly)) return {};
    QByteArray svg = file.readAll();
    if (IsDark(palette)) svg.replace(kInk, kDarkInk).replace(kPaper, kDarkPaper);
    QSvgRenderer renderer(svg);
    if (!renderer.isValid()) return {};
    QIcon icon;
    for (int size : kSizes) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

QIcon IconForCommand(int command, const QPalette& palette) {
    for (const CommandIcon& entry : CommandIcons()) {
        if (entry.command != command) continue;
        const QIcon own = OwnIcon(entry.ownName, palette);
        return entry.themeName ? QIcon::fromTheme(QLatin1String(entry.themeName), own) : own;
    }
    return {};
}

QIcon ApplicationIcon() {
    return QIcon::fromTheme(QStringLiteral("org.zynthar.Tallon"),
                            QIcon(QStringLiteral(":/icons/org.zynthar.Tallon.svg")));
}
