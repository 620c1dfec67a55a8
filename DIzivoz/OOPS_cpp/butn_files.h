#pragma once
// File handling widgets: the modal open/save dialog, the list with type-ahead
// search it is built on, the path selectors with their browse icon, and the
// longitude/latitude fields. Paths are relative to the application folder,
// '/'-separated; folders end in '/'.
#include <string>
#include <vector>

int BTN_opensave(int window_type, int file_type, std::string* path);
int BTN_list_and_search(int slider_id, float x, float y, float w, float h, int* centre, int* selected, int first,
                        int last, std::string* name_field, const std::string& label,
                        std::string (*name_cb)(int, void*), void* name_data,
                        std::string (*second_cb)(int, void*), void* second_data, int (*type_cb)(int, void*),
                        void* type_data);
int BTN_select_path_stl(float x, float y, int window_type, int file_type, std::string* path, int max_len,
                        std::string label, float w, int auto_focus);
int BTN_select_path_chr(float x, float y, int window_type, int file_type, char* path, int max_len,
                        std::string label, float w, int auto_focus);
int BTN_select_file_chr(float x, float y, int window_type, int file_type, char* name, std::string* path,
                        int max_len, std::string label, float w);
int enter_lat_lon(float* x, float* y, float* lon, float* lat);

// The folder chooser drawn in the window, for a system without a folder
// dialog program: modal, on absolute paths. Starts in `start` (else the home
// folder, else "/"); a double click or Return opens the selected folder,
// Backspace or the parent button goes up, the action button takes the folder
// shown. 1 with *folder set (ending in '/'), 0 when cancelled.
int BTN_choose_folder(const std::string& title, const std::string& action_label, const std::string& start,
                      std::string* folder);
// The folders inside an absolute folder, hidden ones left out, sorted as the
// dialog lists them.
std::vector<std::string> BTN_subfolders(const std::string& folder);

// Pieces the dialog is made of, for its callers and tests.
// Starting folder of a type when the path is empty; extension saving appends.
std::string BTN_opensave_start_folder(int file_type);
std::string BTN_opensave_extension(int file_type);
// Folder the dialog starts in for a given path.
std::string BTN_opensave_folder_of(int file_type, const std::string& path);
// Last component: the text after the last '/' that is not the final character.
std::string BTN_last_component(const std::string& path);
// The save rule: an existing 4-byte extension dropped, the type's appended.
std::string BTN_save_name(int file_type, const std::string& typed);
// Level menu entries of a folder: "Skyframe folder", then each level's name
// with '-' and '|' shown as blanks (at most 299 levels); paths per entry.
void BTN_folder_levels(const std::string& folder, std::vector<std::string>* names, std::vector<std::string>* paths);
// Cut to at most max_bytes bytes without splitting a UTF-8 character.
std::string BTN_cut_utf8(const std::string& s, int max_bytes);
// Type-ahead: the current text and the time of its last key (tests).
extern std::string type_ahead;
extern float last_type_ahead;
extern int current_list_id;
