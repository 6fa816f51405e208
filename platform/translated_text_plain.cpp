// Builds without Qt (the fuzzing harnesses) have no translations: every text stays as written.
#include "platform/translated_text.h"

std::string TranslatedText(const char*, const char* text)
{
    return text;
}
