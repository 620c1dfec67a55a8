#pragma once
// The one-line text field. All fields share one editing engine record, bound
// to whichever field has the keyboard focus; the others draw as plain text.
#include <string>

#include "DIzivoz/OOPS_cpp/OGLE.h"

// 1 on a call in which the user changed the text.
int BTN_enterstring(float x, float y, std::string* text, int max_len, std::string label, float w, int auto_focus);
// The same over a zero-terminated buffer of 500 bytes; a result of 500 bytes
// or more is a fatal alert and leaves the buffer as it was.
int BTN_enterstring(float x, float y, char* text, int max_len, std::string label, float w, int auto_focus);

// List callbacks over a vector of strings or of ints.
std::string BTN_name_from_vector(int index, void* vec);
int BTN_type_from_vector(int index, void* vec);

// The shared engine, its callbacks and the binding to the focused field.
extern OGLE_Rec* ogle;
extern const OGLE_Callbacks OGLE_cbs;
extern int focused_field_id;
extern int OGLE_x, OGLE_y, OGLE_entry_dx;
extern std::string* OGLE_input;
extern float OGLE_dx, OGLE_dy;
extern int OGLE_edit;

void OGLE_GetVisibleBounds(OGLE_Rec*, float rect[4]);
void OGLE_GetLogicalBounds(OGLE_Rec*, float rect[4]);
void OGLE_SetLogicalHeight(OGLE_Rec*, float height);
void OGLE_ScrollTo(OGLE_Rec*, float offset[2]);
void OGLE_GetText(OGLE_Rec*, const char** begin, const char** end);
void OGLE_ReplaceTextFunc(OGLE_Rec*, int start, int end, const char* new_begin, const char* new_end);
float OGLE_GetLineHeight(OGLE_Rec*);
float OGLE_MeasureString(OGLE_Rec*, const char* begin, const char* end);
int OGLE_FitStringFwd(OGLE_Rec*, const char* begin, const char* end, float width);
int OGLE_FitStringRev(OGLE_Rec*, const char* begin, const char* end, float width);
void OGLE_DrawString(OGLE_Rec*, const char* begin, const char* end, float x, float y);
void OGLE_DrawSelection(OGLE_Rec*, float rect[4]);
const char* OGLE_WordBreak(OGLE_Rec*, const char* begin, const char* end);
const char* OGLE_MBCS_Next(OGLE_Rec*, const char* p);
int OGLE_MBCS_NextPos(OGLE_Rec*, int position);
int OGLE_MBCS_PrevPos(OGLE_Rec*, int position);

// UTF-8 bytes of a queued code point; 0 when it is not to be inserted
// (control codes other than 8 and 28-31, 127, surrogates, above 0x10FFFF).
int BTN_utf8_encode(int code_point, char out[4]);
