// A resource whose host line is a web address: its host resolved as a pinged one's is, then its count of
// GET requests one after another, each answered by a status below 400 within five seconds.
#pragma once

#include "app/resource_run.h"
#include "icmp/name_resolver.h"
#include "platform/curl_worker.h"
#include "probes/check_target.h"

#include <cstdint>
#include <optional>
#include <string>

class THttpRun final : public TResourceRun
{
public:
    static constexpr int RequestBoundMs = 5000;
    // Redirects are followed up to this many, all within the request's bound.
    static constexpr long MostRedirects = 5;

    THttpRun(TNameResolver& resolver, TCurlWorker& worker, TCheckTarget target, int count);
    ~THttpRun() override;

    void Start() override;
    void Cancel() override;

private:
    void resolved(const TResolved& answer);
    void requestNext();
    void answered(CURL* easy, const TCurlWorker::TOutcome& outcome);
    void finish();

    TNameResolver& m_resolver;
    TCurlWorker& m_worker;
    TCheckTarget m_target;
    int m_count;
    std::optional<TIpAddress> m_address;
    TNameResolver::TTicket m_lookUp = 0;
    TCurlWorker::TId m_transfer = 0;
    std::string m_lastFailure;
    bool m_finished = false;
};
