#include "app/form_file_version.h"

TForm_FileVersion* Form_FileVersion = nullptr;

TForm_FileVersion::TForm_FileVersion()
{
    setObjectName(QStringLiteral("Form_FileVersion"));
}
