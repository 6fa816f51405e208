#include "app/smtp_transport.h"

#include "update/curl_driver.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

struct TReader
{
    const std::string& text;
    size_t at = 0;
};

size_t readMessage(char* buffer, size_t size, size_t count, void* data)
{
    auto* reader = static_cast<TReader*>(data);
    const size_t n = std::min(size * count, reader->text.size() - reader->at);
    std::memcpy(buffer, reader->text.data() + reader->at, n);
    reader->at += n;
    return n;
}

std::string serverUrl(const TSmtpRequest& request)
{
    const bool literal6 = request.Host.find(':') != std::string::npos;
    const std::string host = literal6 ? "[" + request.Host + "]" : request.Host;
    return (request.Port == 465 ? "smtps://" : "smtp://") + host + ":" + std::to_string(request.Port);
}

// The sockets libcurl has open for one mail. libcurl says goodbye to an SMTP server (QUIT) when it lets a
// connection go and waits for the answer, blocking, up to two minutes; a server that stopped answering would
// hold the program that long. Shut down first, a connection fails the goodbye at once.
struct TSockets
{
    std::vector<curl_socket_t> open;

    static int opened(void* self, curl_socket_t socket, curlsocktype)
    {
        static_cast<TSockets*>(self)->open.push_back(socket);
        return CURL_SOCKOPT_OK;
    }

    static int closed(void* self, curl_socket_t socket)
    {
        std::erase(static_cast<TSockets*>(self)->open, socket);
        return ::close(socket);
    }

    void shutDown() const
    {
        for (const curl_socket_t socket : open)
            ::shutdown(socket, SHUT_RDWR);
    }
};

struct TEasyDeleter
{
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};

struct TListDeleter
{
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

} // namespace

TSmtpTransport::TSmtpTransport(std::function<void()> pump, std::function<bool()> aborted)
    : m_pump(std::move(pump))
    , m_aborted(std::move(aborted))
{
    static std::once_flag initialised;
    std::call_once(initialised, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

TMailOutcome TSmtpTransport::Send(const TSmtpRequest& request)
{
    // Outlives the handles, so that every socket is known until the last of them is closed.
    TSockets sockets;
    std::unique_ptr<CURL, TEasyDeleter> easy(curl_easy_init());
    if (!easy)
        return {TMailOutcome::TResult::Failed, curl_easy_strerror(CURLE_FAILED_INIT)};
    CURL* handle = easy.get();
    std::unique_ptr<curl_slist, TListDeleter> recipients;
    for (const std::string& to : request.To)
        recipients.reset(curl_slist_append(recipients.release(), ("<" + to + ">").c_str()));
    const std::string url = serverUrl(request);
    const std::string from = "<" + request.From + ">";
    TReader reader {request.Message};

    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
    const bool password = !request.Password.empty();
    // A password goes over TLS or not at all; without one, the mail is encrypted whenever the server can.
    curl_easy_setopt(handle, CURLOPT_USE_SSL, static_cast<long>(password ? CURLUSESSL_ALL : CURLUSESSL_TRY));
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L);
    // A private authority (a company's, or the tests') in place of the system's.
    if (const char* authorities = std::getenv("CORVANE_MAIL_CA_FILE"); authorities && *authorities)
        curl_easy_setopt(handle, CURLOPT_CAINFO, authorities);
    if (password) {
        curl_easy_setopt(handle, CURLOPT_USERNAME, request.UserName.c_str());
        curl_easy_setopt(handle, CURLOPT_PASSWORD, request.Password.c_str());
    }
    curl_easy_setopt(handle, CURLOPT_MAIL_FROM, from.c_str());
    curl_easy_setopt(handle, CURLOPT_MAIL_RCPT, recipients.get());
    curl_easy_setopt(handle, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(handle, CURLOPT_READFUNCTION, &readMessage);
    curl_easy_setopt(handle, CURLOPT_READDATA, &reader);
    curl_easy_setopt(handle, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(request.Message.size()));

    curl_easy_setopt(handle, CURLOPT_SOCKOPTFUNCTION, &TSockets::opened);
    curl_easy_setopt(handle, CURLOPT_SOCKOPTDATA, &sockets);
    curl_easy_setopt(handle, CURLOPT_CLOSESOCKETFUNCTION, &TSockets::closed);
    curl_easy_setopt(handle, CURLOPT_CLOSESOCKETDATA, &sockets);

    TCurlDriver driver(handle, {0, TimeLimitMs, 0}, m_pump, m_aborted);
    const TCurlDriver::TResult result = driver.Run();
    // The server has the mail, or will not get it: nothing is left to wait for.
    sockets.shutDown();
    switch (result) {
    case TCurlDriver::TResult::Done:
        return {TMailOutcome::TResult::Sent, {}};
    case TCurlDriver::TResult::Aborted:
        return {TMailOutcome::TResult::Aborted, driver.ErrorText()};
    case TCurlDriver::TResult::TimedOut:
        return {TMailOutcome::TResult::Failed,
                "il server " + url + " non ha risposto entro " + std::to_string(TimeLimitMs / 1000) + " secondi"};
    default:
        if (password && driver.Code() == CURLE_USE_SSL_FAILED)
            return {TMailOutcome::TResult::Failed,
                    "il server " + url + " non offre una connessione cifrata e la password non va inviata in chiaro"};
        return {TMailOutcome::TResult::Failed, driver.ErrorText()};
    }
}
