#include "DIzivoz/GenC/hl_url.h"

void go_to_URL(std::string) {}
