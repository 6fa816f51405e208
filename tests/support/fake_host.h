// Hosts that exist only inside a test's own network namespace: a tun device routes 10.77.0.0/24 to this
// object, which answers each echo request as told. Needs root inside an isolated namespace.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class FakeHost
{
public:
    enum class Answer {
        EchoReply, // an echo reply after `delayMs`
        Silence, // nothing, ever
        TimeExceeded, // a router's time-exceeded message about the request, from `reporter`
        Unreachable, // a destination-unreachable message about the request, from `reporter`
        ForeignThenReply, // first a reply with another sequence number, then the real one after `delayMs`
        TimestampRequest, // an ICMP timestamp request (type 13) to the sender instead of an answer
        TimestampThenReply, // first a timestamp request, then the reply after `delayMs`
        WrongIdentifier, // a reply whose identifier is not the request's, as a spoofer would send
    };

    struct Behaviour
    {
        Answer answer = Answer::EchoReply;
        int delayMs = 0;
        int answerFromRequest = 1; // requests before this one (counted from 1) get silence
        std::string reporter = "10.77.0.254";
        int optionBytes = 0; // no-operation IP options in the header of what is sent back
    };

    // The address our side of the tun device has.
    static constexpr const char* LocalAddress = "10.77.0.1";

    FakeHost();
    ~FakeHost();
    FakeHost(const FakeHost&) = delete;
    FakeHost& operator=(const FakeHost&) = delete;

    // Whether the device came up; when not, Error() says why.
    bool Ready() const { return m_fd >= 0; }
    const std::string& Error() const { return m_error; }

    // How `address` (in 10.77.0.0/24) answers; addresses without a behaviour stay silent.
    void Set(const std::string& address, Behaviour behaviour);
    int RequestsSeen(const std::string& address);
    // The time-to-live of the last request that reached `address`; 0 before the first.
    int TtlSeen(const std::string& address);
    // Foreign ICMP to our side, beside the answers, from each of `sources` in turn (addresses of ours on
    // loopback too) at about `perSecond` packets until the host goes: timestamp requests, and echo replies
    // with the last request's sequence number but never its identifier, as a second pinger or a spoofer
    // that guesses would send.
    void Spray(const std::vector<std::string>& sources, int perSecond);
    // Answers due before `until` wait for it and then go out all at once, as if from one burst.
    void HoldAnswersUntil(std::chrono::steady_clock::time_point until);

private:
    void run();
    void answer(const std::vector<uint8_t>& request);
    void send(const std::vector<uint8_t>& packet, int delayMs);
    void spray();

    int m_fd = -1;
    std::string m_error;
    std::string m_name;
    std::atomic<bool> m_stop {false};
    std::thread m_thread;
    std::mutex m_lock;
    std::map<uint32_t, Behaviour> m_behaviours;
    std::map<uint32_t, int> m_seen;
    std::map<uint32_t, int> m_ttl;
    struct Pending
    {
        int64_t dueMs;
        std::vector<uint8_t> packet;
    };
    std::vector<Pending> m_pending;
    int64_t m_heldUntilMs = 0;
    std::vector<uint32_t> m_spraySources;
    int m_loopbackSocket = -1;
    int m_sprayRate = 0;
    int64_t m_sprayStartMs = 0;
    int64_t m_sprayed = 0;
    uint16_t m_lastIdentifier = 0;
    uint16_t m_lastSequence = 0;
};
