#include "app/form_res.h"

#include "app/form1.h"

TForm_res* Form_res = nullptr;

TForm_res::TForm_res()
{
    setObjectName(QStringLiteral("Form_res"));
}

void TForm_res::FormCreate()
{
    Form1->procupdate1Click();
}
