#include "app/form_checkupdate_interno.h"

Tform_checkupdate_interno* form_checkupdate_interno = nullptr;

Tform_checkupdate_interno::Tform_checkupdate_interno()
{
    setObjectName(QStringLiteral("form_checkupdate_interno"));
}
