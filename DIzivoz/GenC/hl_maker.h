#pragma once
// The maker's addresses and names that messages of the library and the
// installer show (one copy for both).
extern const char* const ventora_web_site;        // "www.tarnwick.example"
extern const char* const ventora_support_email;   // on the same domain
extern const char* const ventora_older_edition;   // the edition that needs no 3-D card
