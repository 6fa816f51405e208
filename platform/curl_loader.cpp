#include "platform/curl_loader.h"

// The definitions below take the declarations' names; curl.h's type-checking macros would rename them.
#define CURL_DISABLE_TYPECHECK
#pragma GCC visibility push(hidden)
#include <curl/curl.h>
#pragma GCC visibility pop

#include <atomic>
#include <cstdarg>
#include <dlfcn.h>

namespace {

std::atomic<bool> loaded {false};

void* library()
{
    // Never closed: its TLS libraries keep state until the process ends.
    static void* const handle = [] {
        void* h = ::dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
        loaded = h != nullptr;
        return h;
    }();
    return handle;
}

template<class Function>
Function* resolve(const char* name)
{
    void* handle = library();
    return handle ? reinterpret_cast<Function*>(::dlsym(handle, name)) : nullptr;
}

// Sets `option` with the argument after it, passed on as the type that the option's range says it has.
template<class Function, class Result, class Handle, class Option>
Result setOption(Function* call, Result missing, Handle handle, Option option, va_list arguments)
{
    if (!call)
        return missing;
    if (option >= CURLOPTTYPE_OFF_T && option < CURLOPTTYPE_BLOB)
        return call(handle, option, va_arg(arguments, curl_off_t));
    if (option >= CURLOPTTYPE_OBJECTPOINT)
        return call(handle, option, va_arg(arguments, void*));
    return call(handle, option, va_arg(arguments, long));
}

} // namespace

bool CurlLoaded()
{
    return loaded;
}

#define CORVANE_CURL(result, name, fallback, parameters, arguments)                                                    \
    result name parameters                                                                                             \
    {                                                                                                                  \
        static const auto call = resolve<decltype(::name)>(#name);                                                     \
        return call ? call arguments : fallback;                                                                       \
    }

extern "C" {

CORVANE_CURL(CURLcode, curl_global_init, CURLE_FAILED_INIT, (long flags), (flags))
CORVANE_CURL(void, curl_global_cleanup, void(), (), ())
CORVANE_CURL(char*, curl_version, nullptr, (), ())
CORVANE_CURL(curl_version_info_data*, curl_version_info, nullptr, (CURLversion version), (version))
CORVANE_CURL(void, curl_free, void(), (void* p), (p))

CORVANE_CURL(CURL*, curl_easy_init, nullptr, (), ())
CORVANE_CURL(void, curl_easy_cleanup, void(), (CURL * handle), (handle))
CORVANE_CURL(CURLcode, curl_easy_perform, CURLE_FAILED_INIT, (CURL * handle), (handle))
CORVANE_CURL(CURL*, curl_easy_duphandle, nullptr, (CURL * handle), (handle))
CORVANE_CURL(void, curl_easy_reset, void(), (CURL * handle), (handle))
CORVANE_CURL(CURLcode, curl_easy_pause, CURLE_FAILED_INIT, (CURL * handle, int mask), (handle, mask))
CORVANE_CURL(const char*, curl_easy_strerror, "libcurl is not installed", (CURLcode code), (code))
CORVANE_CURL(char*, curl_easy_escape, nullptr, (CURL * handle, const char* text, int length), (handle, text, length))
CORVANE_CURL(char*, curl_easy_unescape, nullptr, (CURL * handle, const char* text, int length, int* outLength),
             (handle, text, length, outLength))

CORVANE_CURL(CURLM*, curl_multi_init, nullptr, (), ())
CORVANE_CURL(CURLMcode, curl_multi_cleanup, CURLM_BAD_HANDLE, (CURLM * multi), (multi))
CORVANE_CURL(CURLMcode, curl_multi_add_handle, CURLM_BAD_HANDLE, (CURLM * multi, CURL* handle), (multi, handle))
CORVANE_CURL(CURLMcode, curl_multi_remove_handle, CURLM_BAD_HANDLE, (CURLM * multi, CURL* handle), (multi, handle))
CORVANE_CURL(CURLMcode, curl_multi_perform, CURLM_BAD_HANDLE, (CURLM * multi, int* running), (multi, running))
CORVANE_CURL(CURLMcode, curl_multi_poll, CURLM_BAD_HANDLE,
             (CURLM * multi, struct curl_waitfd fds[], unsigned int count, int timeoutMs, int* ready),
             (multi, fds, count, timeoutMs, ready))
CORVANE_CURL(CURLMcode, curl_multi_wait, CURLM_BAD_HANDLE,
             (CURLM * multi, struct curl_waitfd fds[], unsigned int count, int timeoutMs, int* ready),
             (multi, fds, count, timeoutMs, ready))
CORVANE_CURL(CURLMcode, curl_multi_wakeup, CURLM_BAD_HANDLE, (CURLM * multi), (multi))
CORVANE_CURL(CURLMcode, curl_multi_timeout, CURLM_BAD_HANDLE, (CURLM * multi, long* timeoutMs), (multi, timeoutMs))
CORVANE_CURL(CURLMsg*, curl_multi_info_read, nullptr, (CURLM * multi, int* left), (multi, left))
CORVANE_CURL(const char*, curl_multi_strerror, "libcurl is not installed", (CURLMcode code), (code))

CORVANE_CURL(struct curl_slist*, curl_slist_append, nullptr, (struct curl_slist * list, const char* text), (list, text))
CORVANE_CURL(void, curl_slist_free_all, void(), (struct curl_slist * list), (list))

CORVANE_CURL(curl_mime*, curl_mime_init, nullptr, (CURL * handle), (handle))
CORVANE_CURL(void, curl_mime_free, void(), (curl_mime * mime), (mime))
CORVANE_CURL(curl_mimepart*, curl_mime_addpart, nullptr, (curl_mime * mime), (mime))
CORVANE_CURL(CURLcode, curl_mime_name, CURLE_FAILED_INIT, (curl_mimepart * part, const char* name), (part, name))
CORVANE_CURL(CURLcode, curl_mime_filename, CURLE_FAILED_INIT, (curl_mimepart * part, const char* name), (part, name))
CORVANE_CURL(CURLcode, curl_mime_type, CURLE_FAILED_INIT, (curl_mimepart * part, const char* type), (part, type))
CORVANE_CURL(CURLcode, curl_mime_encoder, CURLE_FAILED_INIT, (curl_mimepart * part, const char* encoding),
             (part, encoding))
CORVANE_CURL(CURLcode, curl_mime_data, CURLE_FAILED_INIT, (curl_mimepart * part, const char* data, size_t size),
             (part, data, size))
CORVANE_CURL(CURLcode, curl_mime_filedata, CURLE_FAILED_INIT, (curl_mimepart * part, const char* file), (part, file))
CORVANE_CURL(CURLcode, curl_mime_data_cb, CURLE_FAILED_INIT,
             (curl_mimepart * part, curl_off_t size, curl_read_callback read, curl_seek_callback seek,
              curl_free_callback release, void* argument),
             (part, size, read, seek, release, argument))
CORVANE_CURL(CURLcode, curl_mime_subparts, CURLE_FAILED_INIT, (curl_mimepart * part, curl_mime* subparts),
             (part, subparts))
CORVANE_CURL(CURLcode, curl_mime_headers, CURLE_FAILED_INIT,
             (curl_mimepart * part, struct curl_slist* headers, int takeOwnership), (part, headers, takeOwnership))

CURLcode curl_easy_setopt(CURL* handle, CURLoption option, ...)
{
    static const auto call = resolve<decltype(::curl_easy_setopt)>("curl_easy_setopt");
    va_list arguments;
    va_start(arguments, option);
    const CURLcode result = setOption(call, CURLE_FAILED_INIT, handle, option, arguments);
    va_end(arguments);
    return result;
}

CURLMcode curl_multi_setopt(CURLM* multi, CURLMoption option, ...)
{
    static const auto call = resolve<decltype(::curl_multi_setopt)>("curl_multi_setopt");
    va_list arguments;
    va_start(arguments, option);
    const CURLMcode result = setOption(call, CURLM_BAD_HANDLE, multi, option, arguments);
    va_end(arguments);
    return result;
}

CURLcode curl_easy_getinfo(CURL* handle, CURLINFO info, ...)
{
    static const auto call = resolve<decltype(::curl_easy_getinfo)>("curl_easy_getinfo");
    if (!call)
        return CURLE_FAILED_INIT;
    // Every kind of information is answered through a pointer.
    va_list arguments;
    va_start(arguments, info);
    const CURLcode result = call(handle, info, va_arg(arguments, void*));
    va_end(arguments);
    return result;
}

} // extern "C"
