// File errors with the wording the user sees, and the mapping from errno to the numbers they carry.
#pragma once

#include "platform/exception.h"

#include <string>

// An input/output error on a file or folder, numbered as the messages expect
// (2 file not found, 3 invalid name or path, 4 too many open files, 5 access denied).
class EInOutError : public Exception
{
public:
    explicit EInOutError(int errorCode);
    // The error for a failed system call: the errno values that have a code above get it, any other is
    // reported as "I/O error" with the errno itself.
    static EInOutError FromErrno(int errnoValue);
    int ErrorCode() const noexcept { return m_errorCode; }

private:
    EInOutError(int errorCode, std::string message);

    int m_errorCode;
};

// "Cannot open file "%s". %s"
class EFileOpenError : public Exception
{
public:
    EFileOpenError(const std::string& path, int errnoValue);
};

// "Cannot create file "%s". %s"
class EFileCreateError : public Exception
{
public:
    EFileCreateError(const std::string& path, int errnoValue);
};

// The text of EInOutError for an error code.
std::string InOutErrorMessage(int errorCode);

// The system's own sentence for an errno value.
std::string SystemErrorText(int errnoValue);
