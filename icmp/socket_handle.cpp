#include "icmp/socket_handle.h"

#include "icmp/net_component.h"
#include "icmp/net_exceptions.h"

#include <arpa/inet.h>

TSocketHandle::~TSocketHandle()
{
    Close();
}

void TSocketHandle::Open(int type, int protocol, TIpFamily family)
{
    Close();
    m_socketId = SharedStack()->NewSocket(type, protocol, family);
    m_family = family;
    m_isOpen = true;
}

void TSocketHandle::Close()
{
    if (!m_isOpen)
        return;
    m_isOpen = false;
    if (TSocketStack* stack = SharedStack()) {
        stack->Shutdown(m_socketId, 1);
        stack->CloseSocket(m_socketId);
    }
}

void TSocketHandle::SetOption(int level, int name, const void* value, int length)
{
    TSocketStack* stack = SharedStack();
    stack->CheckSocketResult(stack->SetSocketOption(m_socketId, level, name, value, length));
}

void TSocketHandle::SendDatagram(const std::string& address, int port, const void* buffer, int size)
{
    SendDatagram(TSocketStack::TextToIpAddress(address), port, buffer, size);
}

void TSocketHandle::SendDatagram(const TIpAddress& address, int port, const void* buffer, int size)
{
    TSocketStack* stack = SharedStack();
    const int sent = stack->SendTo(m_socketId, buffer, size, 0, address, htons(static_cast<uint16_t>(port)));
    if (sent == -1) {
        const int error = stack->LastError();
        if (error == 10040)
            throw ENetPackageSizeTooBig();
        stack->ThrowSocketError(error);
    }
    if (sent != size)
        throw ENetNotAllBytesSent();
}

int TSocketHandle::Receive(void* buffer, int length, int flags)
{
    return SharedStack()->Receive(m_socketId, buffer, length, flags);
}

bool TSocketHandle::WaitReadable(int timeoutMs)
{
    if (!m_isOpen)
        throw ENetConnClosedGracefully();
    // Kept from wait to wait: a list of one is not worth an allocation per wait.
    static thread_local std::vector<TSocketId> readList;
    readList.assign(1, m_socketId);
    return SharedStack()->WaitForSockets(&readList, nullptr, nullptr, timeoutMs) == 1;
}
