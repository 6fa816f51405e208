// The echo engine's errors: one family rooted at ENetException, each with its fixed message.
#pragma once

#include "platform/exception.h"

#include <string>

class ENetException : public Exception
{
public:
    using Exception::Exception;
};

class ENetSilentException : public ENetException
{
public:
    using ENetException::ENetException;
};

class ENetConnClosedGracefully : public ENetSilentException
{
public:
    ENetConnClosedGracefully()
        : ENetSilentException("Connection Closed Gracefully.")
    { }
};

class ENetInvalidSocket : public ENetException
{
public:
    ENetInvalidSocket()
        : ENetException("Cannot allocate socket.")
    { }
};

class ENetSocketError : public ENetException
{
public:
    ENetSocketError(int errorNumber, std::string message)
        : ENetException(std::move(message))
        , m_errorNumber(errorNumber)
    { }
    int ErrorNumber() const noexcept { return m_errorNumber; }

private:
    int m_errorNumber;
};

class ENetIcmpException : public ENetException
{
public:
    using ENetException::ENetException;
};

// The socket library could not be loaded or called; the Linux stack never raises it.
class ENetWS2StubError : public ENetException
{
public:
    ENetWS2StubError(std::string baseMessage, int systemError, std::string systemErrorText);
    const std::string& BaseMessage() const noexcept { return m_baseMessage; }
    int SystemError() const noexcept { return m_systemError; }
    const std::string& SystemErrorText() const noexcept { return m_systemErrorText; }

private:
    std::string m_baseMessage;
    int m_systemError;
    std::string m_systemErrorText;
};

class ENetStackError : public ENetException
{
public:
    using ENetException::ENetException;
};

class ENetStackInitializationFailed : public ENetStackError
{
public:
    ENetStackInitializationFailed()
        : ENetStackError("Winsock Initialization Error.")
    { }
};

class ENetStackSetSizeExceeded : public ENetStackError
{
public:
    ENetStackSetSizeExceeded()
        : ENetStackError("Set Size Exceeded.")
    { }
};

class ENetInvalidIPAddress : public ENetStackError
{
public:
    explicit ENetInvalidIPAddress(const std::string& text)
        : ENetStackError(text + " is not a valid IP address.")
    { }
};

class ENetSocketHandleError : public ENetException
{
public:
    using ENetException::ENetException;
};

class ENetPackageSizeTooBig : public ENetSocketHandleError
{
public:
    ENetPackageSizeTooBig()
        : ENetSocketHandleError("Package Size Too Big.")
    { }
};

class ENetNotAllBytesSent : public ENetSocketHandleError
{
public:
    ENetNotAllBytesSent()
        : ENetSocketHandleError("Not all bytes sent.")
    { }
};

class ENetInvalidServiceName : public ENetException
{
public:
    using ENetException::ENetException;
};
