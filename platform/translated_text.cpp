#include "platform/translated_text.h"

#include <QCoreApplication>

std::string TranslatedText(const char* context, const char* text)
{
    return QCoreApplication::translate(context, text).toStdString();
}
