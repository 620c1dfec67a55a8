#pragma once
// Operations on paths beneath a root folder (an installed copy). Every
// component below the root is opened without following links; a link met
// on the way is followed only while it stays beneath the root, so whatever
// an earlier release left in the copy, nothing is made, renamed, linked or
// deleted outside it. The last component itself is never followed: it is
// what is made, renamed or deleted.
//
// Paths are absolute and begin with root (which ends in '/'); one trailing
// '/' of a path is ignored when it is split into its folder and last
// component. Results: 0, an errno value, or err_archive_escape when the path
// is not under root or a link on its way leads out of it.
#include <sys/types.h>

#include <string>

// Opens the folder that holds path's last component, beneath root (an O_PATH
// descriptor the caller closes); leaf, when given, receives that component.
int beneath_open_parent(const std::string& root, const std::string& path, int& dir_fd, std::string* leaf);

// Removes a file or link; a path ending in '/' removes that empty folder.
int beneath_unlink(const std::string& root, const std::string& path);

// Makes one folder (mode as given, less the process's mask).
int beneath_mkdir(const std::string& root, const std::string& path, mode_t mode = 0755);

// Renames folder + from to folder + to (folder ends in '/'); a link at from
// is left where it is when keep_links is set (EPERM).
int beneath_rename(const std::string& root, const std::string& folder, const std::string& from,
                   const std::string& to, bool keep_links);

// The calling thread's root for extraction: while one is set, every file,
// link and folder an extraction makes is made beneath it.
class beneath_root_scope {
public:
	explicit beneath_root_scope(const std::string& root);
	~beneath_root_scope();
	beneath_root_scope(const beneath_root_scope&) = delete;
	beneath_root_scope& operator=(const beneath_root_scope&) = delete;

private:
	const std::string* saved_;
	std::string root_;
};
const std::string* beneath_root();  // null when none is set
// Closes the root folder this thread's extractions kept open (so that the
// copy's volume is not held busy once a run is over).
void beneath_forget_root();
