// The program's files and host names are 8-bit text: these conversions carry every byte through a QString
// and back unchanged, so a name that is not UTF-8 still reaches the file system and the resolver as it was.
#pragma once

#include <QString>

#include <string>
#include <string_view>

// UTF-8 as such; each byte that is not part of valid UTF-8 becomes the lone surrogate U+DC00 + byte.
QString TextFromBytes(std::string_view bytes);

// The reverse: those surrogates become their bytes again, everything else is UTF-8.
std::string BytesFromText(const QString& text);
