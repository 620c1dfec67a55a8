#pragma once
#include <cstdint>
#include <string>

// Opens url in the user's web browser (through xdg-open). No result: a
// browser that cannot be started is logged, never fatal. Any length is passed.
void go_to_URL(std::string url);

// The native file dialog (zenity, else kdialog). Kinds: 0 open a file, 1 save
// a file (the name starts as out), 2 choose a folder. 1 and the chosen path in
// out, or 0 (cancelled, no dialog program, failure) with out unchanged. The
// folder last chosen is remembered per preference_key for the run.
int GetFilePathFromUser(int kind, const std::string& message, const std::string& action_label,
                        int preference_key, const std::string& start_folder, std::string& out);
// A native stop alert of one text.
void DoUserAlert(const char* text);
// Byte order of the value at p reversed in place; returns the new value.
int16_t EndianFlipShort(int16_t* p);
int32_t EndianFlipLong(int32_t* p);
