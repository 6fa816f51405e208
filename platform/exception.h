// The root of every error the program raises: an exception that carries the text the user will see.
#pragma once

#include <exception>
#include <string>

class Exception : public std::exception
{
public:
    explicit Exception(std::string message)
        : m_message(std::move(message))
    { }

    const std::string& Message() const noexcept { return m_message; }
    const char* what() const noexcept override { return m_message.c_str(); }

private:
    std::string m_message;
};

// A text that should have been an integer was not one.
class EConversionError : public Exception
{
public:
    using Exception::Exception;
};

// An index outside a list, reported with the list's own wording.
class EListIndexError : public Exception
{
public:
    explicit EListIndexError(int index);
};
