// What the alerts say, in the program's language: the notices and mails about resources that stopped
// answering or answer again.
#pragma once

#include "app/resource_states.h"

#include <string>
#include <vector>

// The name a resource goes by: its file name without ".cvr", as clean UTF-8.
std::string AlertResourceName(const std::string& fileName);
// "name (host)", or the name alone when it is the host.
std::string AlertResourceLabel(const TStateChange& change);
// "non risponde" or "risponde di nuovo".
std::string StateWords(THostState state);
// "14:32" (or "14:32:05") in local time.
std::string LocalClockText(TWallClock::time_point at, bool seconds = false);

// The most changes a notice lists one by one; beyond them it counts the rest.
inline constexpr size_t NoticeEntries = 4;

// One notice for the changes of a round; lines end in CR LF, as every notice's do.
std::string AlertNoticeText(const std::vector<TStateChange>& changes);
std::string AlertMailSubject(const std::vector<TStateChange>& changes);
// Per change: what happened and when, the address, the last round's answers and round-trip times.
std::string AlertMailBody(const std::vector<TStateChange>& changes);
// The notice that tells a mail could not be sent, and why.
std::string MailFailureNoticeText(const std::string& reason);
