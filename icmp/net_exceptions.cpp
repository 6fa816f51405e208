#include "icmp/net_exceptions.h"

namespace {

std::string stubMessage(const std::string& base, int systemError, const std::string& text)
{
    return systemError != 0 ? base + ": " + text : base;
}

} // namespace

ENetWS2StubError::ENetWS2StubError(std::string baseMessage, int systemError, std::string systemErrorText)
    : ENetException(stubMessage(baseMessage, systemError, systemErrorText))
    , m_baseMessage(std::move(baseMessage))
    , m_systemError(systemError)
    , m_systemErrorText(std::move(systemErrorText))
{ }
