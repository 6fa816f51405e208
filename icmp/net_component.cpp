#include "icmp/net_component.h"

#include "icmp/socket_stack_posix.h"

#include <mutex>

namespace {

std::mutex s_stackLock;
std::unique_ptr<TSocketStack> s_sharedStack;
int s_stackUsers = 0;
std::function<std::unique_ptr<TSocketStack>()> s_factory;

std::unique_ptr<TSocketStack> makeStack()
{
    return s_factory ? s_factory() : std::make_unique<TSocketStackPosix>();
}

} // namespace

TNetComponent::TNetComponent()
{
    std::lock_guard guard(s_stackLock);
    ++s_stackUsers;
    if (s_stackUsers == 1) {
        try {
            s_sharedStack = makeStack();
        } catch (...) {
            // A failed component must not hold the count up, so the next one tries again.
            --s_stackUsers;
            throw;
        }
    }
}

TNetComponent::~TNetComponent()
{
    std::lock_guard guard(s_stackLock);
    if (--s_stackUsers == 0)
        s_sharedStack.reset();
}

TSocketStack* SharedStack()
{
    return s_sharedStack.get();
}

int StackUsers()
{
    std::lock_guard guard(s_stackLock);
    return s_stackUsers;
}

void SetStackFactoryForTesting(std::function<std::unique_ptr<TSocketStack>()> factory)
{
    std::lock_guard guard(s_stackLock);
    s_factory = std::move(factory);
}
