#include "PrintSetup.h"

#include "document/AppContext.h"

#include <QPageSetupDialog>
#include <QPrinter>

bool RunPrintSetup(CAppContext& context, QWidget* owner) {
    QPrinter printer(QPrinter::HighResolution);
    if (!context.printerName.isEmpty()) printer.setPrinterName(context.printerName);
    if (context.printPageLayout) printer.setPageLayout(*context.printPageLayout);
    QPageSetupDialog dialog(&printer, owner);
    if (dialog.exec() != QDialog::Accepted) return false;
    context.printPageLayout = printer.pageLayout();
    context.printerName = printer.printerName();
    return true;
}
