#pragma once
#include <string>

// Opens url in the user's web browser (through xdg-open). No result: a
// browser that cannot be started is logged, never fatal. A URL longer than
// 499 characters is a fatal alert.
void go_to_URL(std::string url);
