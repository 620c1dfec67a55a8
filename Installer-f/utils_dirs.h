#pragma once
// Folder tree, deletions and the installer's questions.
#include <functional>
#include <set>
#include <string>

// Makes the destination chain, every folder a file to install needs, the
// fixed user folders and the framework renames. 0, or the code of the first
// folder of the chain or of the needed folders that could not be made.
int make_dirs();

// Warning alert for a folder that could not be made.
void make_dir_error(std::string folder, int code);

// Deletes every file marked remove, then the folders that became empty.
void delete_files();

// Deletes a file the release dropped, beneath dest_dir_path (never through a
// link out of the copy). A failure is logged with its reason and counted for
// the Finish page; nothing left at the path is no failure. The result code.
int delete_dropped_file(const std::string& destination);
// Dropped files of this run that could not be deleted (make_dirs starts a run).
int undeleted_file_count();
// The Finish pages' paragraph about them: empty when there are none, else
// two line breaks and the translated sentence with the count.
std::string undeleted_files_text();

// Adds every folder of path's folder chain below dest_dir_path to folders
// (the file's own folder first, each ending in "/").
void add_folder_chain(const std::string& path, std::set<std::string>& folders);

// Lists each folder of folders from the greatest to the least in string
// order and deletes it when the listing holds nothing.
void delete_empty_folders(const std::set<std::string>& folders);

// Adds the folder chain of every manifest file whose newest record is GONE,
// except folders that hold a file of the release and the simulator's own
// user folders: a run stopped between its deletions still has them cleaned.
void add_gone_folders(std::set<std::string>& folders);

// Removes the temporary files a killed extraction left in the folders of the
// manifest's files below dest_dir_path; nothing else is touched.
void remove_extract_leftovers();

// 1 when a manifest path with its top folder removed stays inside the
// destination: not empty, not absolute, no "." or ".." component, no NUL.
int dest_relative_path_ok(const std::string& rel);

// The cancel question: 1 first button, 0 second button, 3 window closed.
// The title names the question in its title bar ("Question" when empty).
int abort_alert(std::string message, std::string caption1, std::string text1,
                std::string caption2, std::string text2, std::string title = "");

// What the cancel question shows: a modal sub-window of type 997, cleared to
// palette colour 34 with its background frame (BTN_fillwin(1, 21)); texts in
// text_colour, regular font, left-aligned; two BTN_action buttons (lit 0,
// mode 1, side text "-") centred on their points. All texts come translated.
struct abort_question {
	std::string message;              // at message_x/y, wrapped to the window width minus 40
	std::string caption1, text1;      // first button and the text beside it
	std::string caption2, text2;      // second button and the text beside it
	std::string title;                // in the title bar
	int window_type = 997;
	int text_colour = 43;
	float message_x = 20, message_y = 160;
	float text1_x = 150, text1_y = 53;  // texts wrapped to the window width minus 210
	float text2_x = 150, text2_y = 28;
	float button1_x = 96, button1_y = 56;
	float button2_x = 96, button2_y = 31;
	float button_width = 100;
};

// The shell's modal loop for the cancel question: opens sub-window 997, runs
// frames until a button is clicked or the window closes, and returns 1 (first
// button), 0 (second button) or 3 (closed); any other value counts as closed.
// Until the shell installs one (and in tests that set their own) a question
// without a handler counts as closed.
using abort_alert_handler = std::function<int(const abort_question&)>;
void set_abort_alert_handler(abort_alert_handler handler);
