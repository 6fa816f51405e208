// Network components share one socket stack, made with the first component and freed with the last.
#pragma once

#include "icmp/socket_stack.h"

#include <functional>
#include <memory>

// The component base: an integer its owner may use as it likes.
class TNetBaseComponent
{
public:
    virtual ~TNetBaseComponent() = default;
    int Tag() const { return m_tag; }
    void SetTag(int tag) { m_tag = tag; }

private:
    int m_tag = 0;
};

class TNetComponent : public TNetBaseComponent
{
public:
    TNetComponent();
    ~TNetComponent() override;
    TNetComponent(const TNetComponent&) = delete;
    TNetComponent& operator=(const TNetComponent&) = delete;
};

// The shared stack, null while no component exists.
TSocketStack* SharedStack();
// The number of live components.
int StackUsers();

// Tests put a scripted stack in place of the platform's; an empty factory goes back to it.
void SetStackFactoryForTesting(std::function<std::unique_ptr<TSocketStack>()> factory);
