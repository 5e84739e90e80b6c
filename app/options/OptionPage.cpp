#include "OptionPage.h"

COptionPage::COptionPage(const QString& title, QWidget* parent) : QWidget(parent), m_title(title) {
    setObjectName(title);
}
