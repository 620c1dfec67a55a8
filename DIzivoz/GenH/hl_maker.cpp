#include "DIzivoz/GenH/hl_maker.h"

const char* const ventora_web_site = "www.tarnwick.example";
const char* const ventora_support_email = "support@tarnwick.example";
const char* const ventora_older_edition = "Ventora 8";

const char* const default_web_host = "www.tarnwick.example";
const char* const default_store_host = "store.tarnwick.example";
const char* const default_download_page = "https://www.tarnwick.example/demo_download.html";
std::string web_host = default_web_host, store_host = default_store_host, download_page = default_download_page;
