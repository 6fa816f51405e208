#include "probes/check_target.h"

#include <QCoreApplication>

std::string CheckErrorText(TCheckError error)
{
    switch (error) {
    case TCheckError::None:
        break;
    case TCheckError::BadPort:
        return QCoreApplication::translate("TCheckTarget", "La porta deve essere un numero da 1 a 65535").toStdString();
    case TCheckError::NoHost:
        return QCoreApplication::translate("TCheckTarget", "L'indirizzo web non ha un host").toStdString();
    case TCheckError::UnclosedBracket:
        return QCoreApplication::translate("TCheckTarget", "L'indirizzo tra parentesi quadre non è chiuso")
            .toStdString();
    case TCheckError::Blank:
        return QCoreApplication::translate("TCheckTarget", "L'indirizzo web non può contenere spazi").toStdString();
    }
    return std::string();
}
