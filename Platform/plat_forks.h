#pragma once
// Resource forks and Finder information of a file. Linux has neither, so
// both live in user extended attributes of the file itself. Symbolic links
// are never followed: a link carries no fork.
#include <cstddef>
#include <string>
#include <vector>

extern const char* const plat_rsrc_attr;    // "user.com.apple.ResourceFork"
extern const char* const plat_finfo_attr;   // "user.com.apple.FinderInfo"

// Stores len bytes as the attribute; 0 or errno. A file whose owner lacks
// write permission is made writable for the moment of the write.
int plat_write_fork(const std::string& path, const char* attr, const void* data, size_t len);

// Reads the whole attribute into out; 0 or errno (ENODATA when the file has
// none, ENOTSUP where the file system keeps no user attributes).
int plat_read_fork(const std::string& path, const char* attr, std::vector<char>& out);

// True for errors that say the file system cannot keep the attribute (no
// user attributes at all, or none of that size): callers log, not fail.
bool plat_fork_unsupported(int err);
