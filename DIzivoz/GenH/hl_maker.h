#pragma once
// The maker's addresses and names that messages of the library and the
// installer show (one copy for both).
extern const char* const ventora_web_site;        // "www.tarnwick.example"
extern const char* const ventora_support_email;   // on the same domain
extern const char* const ventora_older_edition;   // the edition that needs no 3-D card

#include <string>
// Hosts the installer talks to; installer preferences, saved only when they
// differ from these defaults.
extern const char* const default_web_host;       // server list ("www.tarnwick.example")
extern const char* const default_store_host;     // the Store icon's page
extern const char* const default_download_page;  // opened when a newer installer is needed
extern std::string web_host, store_host, download_page;
