#pragma once
// What the archive readers (zip, 7z) and the zip writer share: the state of
// this thread's extraction, files made under temporary names, entry-name
// checks. Internal to io_archive*.cpp; callers use io_archive.h.
#include <fcntl.h>
#include <md5.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>

namespace io_archive_parts {

const size_t kPiece = size_t(1) << 20;  // bytes moved per read and write
const size_t kThreadPiece = size_t(512) << 10;  // the same, through a thread's kept buffer
const size_t kMaxEntryName = 255;  // longer stored names are refused

// Sets the reported source (io_utils_src) and line; returns code.
int fail_at(int line, int code);

// A buffer of this thread kept from file to file (slot 0 for data pieces, 1
// for archive windows). Null when memory ran out.
char* thread_buffer(int slot, size_t n);

// Writes all n bytes; errno, or EIO when the file takes none.
int write_all(int fd, const char* p, size_t n);

// The thread's extraction was asked to stop.
bool cancelled();

// Starts an extraction's count of bytes and of the listed file.
void expect_begin();
// Counts n more bytes of file data: false when they pass the bound.
bool within_bound(uint64_t n);
// An entry of the stated size would pass the bound before a byte is written.
bool past_bound(uint64_t size);

// Signs the bytes of one entry as they are written, when it is the listed
// file; the file is never read again for it.
class entry_signer {
public:
	explicit entry_signer(const std::string& dest);
	void add(const char* p, size_t n);
	// After the last piece: err_signature_mismatch when signed and different.
	int check();

private:
	bool on_;
	MD5_CTX ctx_;
};

// At the end of a whole extraction: a signature given for a file that no
// entry made.
int expect_end(int err);

// A file or link being made under a temporary name beside its destination;
// removed unless committed. With a root set for the thread, its folder is
// opened beneath that root and everything is done relative to it.
class temp_out {
public:
	~temp_out();
	temp_out() = default;
	temp_out(const temp_out&) = delete;
	temp_out& operator=(const temp_out&) = delete;

	const std::string& path() const { return path_; }
	const std::string& dest() const { return dest_; }
	int fd() const { return fd_; }

	// Creates an empty file, exclusively and never through a link, asking
	// for mode; errno. mode_set() tells whether the file has it already.
	int create_file(const std::string& dest, mode_t mode = 0666);
	bool mode_set() const { return mode_set_; }
	// Makes a symbolic link holding text; errno.
	int create_link(const std::string& dest, const std::string& text);
	// Closes the file; errno of a failed close.
	int close_file();
	// Puts the file or link in place of its destination; errno.
	int commit();
	void discard();

private:
	void close_dir();
	template <class F>
	int make(const std::string& dest, F make_at);

	std::string dest_, path_, dest_name_, tmp_name_;
	int fd_ = -1;
	int dir_ = AT_FDCWD;
	bool mode_set_ = false;
};

// True when the thread has a root and path's folder lies beyond it through a link.
bool leaves_root(const std::string& path);

// The name as a key of the links made so far: no empty or "." components.
std::string link_key(const std::string& rel);

// An archive's names are untrusted: nothing may land outside the output
// folder, neither by an absolute name or a ".." component, nor through a
// link that an earlier entry of the same archive made. Links the user made
// inside an installation are followed as usual.
bool escapes_folder(const std::string& rel, const std::set<std::string>& made_links);

// Logs the refusal of name and reports err_archive_escape at line.
int refuse_entry(const std::string& name, const std::string& out_dir, int line);

// The text of a symbolic link; false when path is no link.
bool read_link_text(const std::string& path, std::string& text);

}  // namespace io_archive_parts
