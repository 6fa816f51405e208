// libcurl, loaded by the program's first transfer instead of with the program.
//
// curl_loader.cpp defines the libcurl functions the program calls; each loads libcurl.so.4 on first use and
// forwards to it, so the rest of the code includes <curl/curl.h> and calls libcurl as usual. The library and
// the two dozen it pulls in (TLS, Kerberos, LDAP...) cost a gadget that never checks for updates 5 MB and a
// noticeable part of its start. The definitions are hidden: libcurl's own calls never reach them.
// A function missing from curl_loader.cpp shows as an undefined reference when linking: add it there.
#pragma once

// Whether libcurl has been loaded so far; a missing library makes every call fail as libcurl would.
bool CurlLoaded();
