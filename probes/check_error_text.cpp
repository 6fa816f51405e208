#include "probes/check_target.h"

#include <QCoreApplication>

std::string CheckErrorText(TCheckError error)
{
    const auto text
        = [](const char* italian) { return QCoreApplication::translate("TCheckTarget", italian).toStdString(); };
    switch (error) {
    case TCheckError::None:
        break;
    case TCheckError::BadPort:
        return text("La porta deve essere un numero da 1 a 65535");
    case TCheckError::NoHost:
        return text("L'indirizzo web non ha un host");
    case TCheckError::UnclosedBracket:
        return text("L'indirizzo tra parentesi quadre non è chiuso");
    case TCheckError::Blank:
        return text("L'indirizzo web non può contenere spazi");
    }
    return std::string();
}
