// The gadget's notices about resources that stopped answering or answer again, and about alert mails
// that could not be sent. They slide out of the panel's corner like the update check's, in one stack with them.
#pragma once

#include "app/resource_states.h"

#include <functional>
#include <string>
#include <vector>

class QWidget;
class TTrayPopUp;

class TAlertNotices final
{
public:
    // The notices belong to `owner` and go with it.
    explicit TAlertNotices(QWidget& owner);

    // Our notices and those of `other` stack as one.
    void StackWith(const TTrayPopUp& other);
    // One notice for all the changes of a round.
    void ShowChanges(const std::vector<TStateChange>& changes);
    void ShowMailFailure(const std::string& reason);

    // A click anywhere on one of our notices.
    std::function<void()> OnClick;

    TTrayPopUp& PopUp() { return *m_popUp; }

private:
    void show(const std::string& text);

    TTrayPopUp* m_popUp;
};
