#include "platform/file_errors.h"

#include "platform/folder_entry.h"
#include "platform/format.h"
#include "platform/translated_text.h"

#include <cerrno>
#include <cstring>

std::string InOutErrorMessage(int errorCode)
{
    switch (errorCode) {
    case 2:
        return "File not found";
    case 3:
        return "Invalid filename";
    case 4:
        return "Too many open files";
    case 5:
        return "File access denied";
    default:
        return Format("I/O error %d", errorCode);
    }
}

namespace {

// The codes 2 to 5 for the errno values that mean the same; 0 for the others.
int fileErrorCode(int errnoValue)
{
    switch (errnoValue) {
    case ENOENT:
        return 2;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
        return 3;
    case EMFILE:
    case ENFILE:
        return 4;
    case EACCES:
    case EPERM:
    case EROFS:
        return 5;
    default:
        return 0;
    }
}

} // namespace

std::string SystemErrorText(int errnoValue)
{
    char buffer[256];
    // GNU strerror_r returns the text, which may or may not live in our buffer.
    return strerror_r(errnoValue, buffer, sizeof buffer);
}

EInOutError::EInOutError(int errorCode)
    : EInOutError(errorCode, InOutErrorMessage(errorCode))
{ }

EInOutError::EInOutError(int errorCode, std::string message)
    : Exception(std::move(message))
    , m_errorCode(errorCode)
{ }

EInOutError EInOutError::FromErrno(int errnoValue)
{
    if (const int code = fileErrorCode(errnoValue))
        return EInOutError(code);
    // errno values 2 to 5 mean other things than the codes 2 to 5: keep the number, not their text.
    return EInOutError(errnoValue, Format("I/O error %d", errnoValue));
}

namespace {

// Root meets ELOOP in the program folder where a link was refused; the system's "too many levels of symbolic
// links" would send the user looking for a loop.
std::string fileErrorText(const std::string& path, int errnoValue)
{
    if (errnoValue == ELOOP && TFolderEntry::RefusesLinksAt(path))
        return TranslatedText("FileErrors",
                              "Collegamento simbolico rifiutato: eseguito come root, Corvane non segue collegamenti "
                              "nella sua cartella");
    return SystemErrorText(errnoValue);
}

} // namespace

EFileOpenError::EFileOpenError(const std::string& path, int errnoValue)
    : Exception(Format("Cannot open file \"%s\". %s", path.c_str(), fileErrorText(path, errnoValue).c_str()))
{ }

EFileCreateError::EFileCreateError(const std::string& path, int errnoValue)
    : Exception(Format("Cannot create file \"%s\". %s", path.c_str(), fileErrorText(path, errnoValue).c_str()))
{ }
