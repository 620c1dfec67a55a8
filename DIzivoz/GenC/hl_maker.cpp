#include "DIzivoz/GenC/hl_maker.h"

const char* const ventora_web_site = "www.tarnwick.example";
const char* const ventora_support_email = "support@tarnwick.example";
const char* const ventora_older_edition = "Ventora 8";
