#include "probes/http_run.h"

#include "platform/version_block.h"

#include <cstdlib>
#include <utility>

namespace {

// Nothing of the body is kept: the status and the time to its first byte are the answer.
size_t discard(char*, size_t size, size_t count, void*)
{
    return size * count;
}

} // namespace

THttpRun::THttpRun(TNameResolver& resolver, TCurlWorker& worker, TCheckTarget target, int count)
    : m_resolver(resolver)
    , m_worker(worker)
    , m_target(std::move(target))
    , m_count(count)
{
    m_round.Check = "HTTP";
}

THttpRun::~THttpRun()
{
    Cancel();
}

void THttpRun::Cancel()
{
    m_finished = true;
    if (m_lookUp)
        m_resolver.Cancel(std::exchange(m_lookUp, 0));
    if (m_transfer)
        m_worker.Cancel(std::exchange(m_transfer, 0));
}

void THttpRun::Start()
{
    m_lookUp
        = m_resolver.Resolve(m_target.Host, std::nullopt, [this](const TResolved& answer) { resolved(answer); });
}

void THttpRun::resolved(const TResolved& answer)
{
    m_lookUp = 0;
    if (answer.Error || !answer.Address) {
        m_round.Error = answer.Error ? ExceptionText(answer.Error) : std::string("Unknown error");
        finish();
        return;
    }
    m_address = answer.Address;
    m_round.Address = TSocketStack::IpAddressToText(*m_address);
    requestNext();
}

void THttpRun::requestNext()
{
    CURL* easy = curl_easy_init();
    struct TKeep
    {
        curl_slist* resolve = nullptr;
        ~TKeep() { curl_slist_free_all(resolve); }
    };
    auto keep = std::make_shared<TKeep>();
    if (easy) {
        curl_easy_setopt(easy, CURLOPT_URL, m_target.Url.c_str());
        // The address found as a pinged host's is: curl looks up nothing itself for the first request, and
        // the check reaches the address the row tip shows.
        if (!TSocketStack::IsAddressLiteral(m_target.Host) && !TSocketStack::IsIpv6Literal(m_target.Host)) {
            const int port = m_target.Port ? m_target.Port : m_target.Secure ? 443 : 80;
            const std::string address = m_address->Family == TIpFamily::IPv6
                ? "[" + TSocketStack::IpAddressToText(*m_address) + "]"
                : TSocketStack::IpAddressToText(*m_address);
            keep->resolve = curl_slist_append(nullptr,
                                              (m_target.Host + ":" + std::to_string(port) + ":" + address).c_str());
            curl_easy_setopt(easy, CURLOPT_RESOLVE, keep->resolve);
        }
        curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(easy, CURLOPT_MAXREDIRS, MostRedirects);
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, discard);
        curl_easy_setopt(easy, CURLOPT_USERAGENT, ("Corvane/" + ProgramVersionText()).c_str());
        curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
        // The system's authorities, or those of a file named for checks of servers with a company's own.
        if (const char* authorities = std::getenv("CORVANE_CHECK_CA_FILE"); authorities && *authorities)
            curl_easy_setopt(easy, CURLOPT_CAINFO, authorities);
    }
    m_transfer = m_worker.Start(
        easy, std::chrono::milliseconds(RequestBoundMs),
        [this](CURL* done, const TCurlWorker::TOutcome& outcome) { answered(done, outcome); }, keep);
}

void THttpRun::answered(CURL* easy, const TCurlWorker::TOutcome& outcome)
{
    m_transfer = 0;
    long status = 0;
    curl_off_t firstByteUs = 0;
    if (easy) {
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
        curl_easy_getinfo(easy, CURLINFO_STARTTRANSFER_TIME_T, &firstByteUs);
    }
    TReplyStatus reply;
    reply.Outcome = roTimeOut;
    if (outcome.Result == TCurlWorker::TResult::Done && status > 0) {
        m_round.Check = "HTTP " + std::to_string(status);
        if (status < 400) {
            reply.Outcome = roEchoReply;
            reply.RoundTripUs = static_cast<uint32_t>(std::max<curl_off_t>(firstByteUs, 1));
        } else {
            m_lastFailure = "HTTP " + std::to_string(status);
        }
    } else {
        m_round.Check = "HTTP";
        m_lastFailure = outcome.ErrorText.empty() ? std::string("Unknown error") : outcome.ErrorText;
    }
    m_round.Add(reply);
    if (OnExchange)
        OnExchange(reply.Outcome == roEchoReply);
    if (m_finished)
        return;
    if (m_round.Sent >= m_count)
        finish();
    else
        requestNext();
}

void THttpRun::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    if (!m_round.Up() && m_round.Error.empty())
        m_round.Error = m_lastFailure;
    if (OnDone)
        OnDone();
}
