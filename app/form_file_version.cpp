#include "app/form_file_version.h"

#include "platform/version_block.h"
#include "ui/form_style.h"

#include <QLabel>

TForm_FileVersion* Form_FileVersion = nullptr;

TForm_FileVersion::TForm_FileVersion()
{
    setObjectName(QStringLiteral("Form_FileVersion"));
    setFont(FormFont());
    lblfileversion = new QLabel(QStringLiteral("lblfileversion"), this);
    lblfileversion->setObjectName(QStringLiteral("lblfileversion"));
    lblfileversion->move(8, 8);
}

void TForm_FileVersion::Button1Click()
{
    lblfileversion->setText(QString::fromStdString(ProgramVersionText()));
}
