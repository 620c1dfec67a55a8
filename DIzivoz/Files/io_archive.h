#pragma once
// Archive extraction and creation (.zip, .7z) and file MD5 signatures.
// Every function returns an error code: 0 on success, otherwise an errno
// value, minizip's or the 7z reader's code, or one of the program's own
// codes (20001...) whose text error_str() gives.
#include <atomic>
#include <cstdint>
#include <string>

#include <unzip.h>

// Every file and link is written in pieces to a temporary file of its own
// folder and renamed over its path only once whole and checked, with its
// mode, dates and forks already set: a failed or interrupted extraction
// leaves the previous file as it was, and memory does not grow with an
// entry's size.

// Flags of an extraction.
enum {
	extract_executable = 1,  // every regular file written gets mode 0755
};

// Extracts every entry of a .zip into out_dir (which ends in '/').
// name_io, when given, receives the stored name of the first entry; with
// use_name set, every entry is written to out_dir + *name_io instead.
int zip_to_file(const std::string& zip, const std::string& out_dir, std::string* name_io, int use_name,
                int flags = 0);

// Extracts every file item of a .7z into out_dir (which ends in '/'); no
// folders are made and no dates or links restored. name_io, when given,
// receives the full output path of each item written.
int p7z_to_file(const std::string& archive, const std::string& out_dir, std::string* name_io, int use_name,
                int flags = 0);

// As zip_to_file and p7z_to_file without a first-entry name, reading an
// archive already open at fd (which stays open); zip names it in the log.
int zip_fd_to_file(int fd, const std::string& zip, const std::string& out_dir, int flags = 0);
int p7z_fd_to_file(int fd, const std::string& out_dir, int flags = 0);

// Extractions on the calling thread stop at their next piece, leaving the
// files they were writing as they were, once *flag is set (ECANCELED);
// null clears it.
void set_extract_cancel(const std::atomic<bool>* flag);
bool extract_cancel_requested();  // for the calling thread

// What the caller knows of the one file an extraction installs, checked as
// its bytes are written: a file (or link text) that differs from md5, or
// file bytes past max_bytes in the whole archive, fail the extraction
// (err_signature_mismatch, err_archive_too_big) before anything is put in
// place; so does an archive that never makes path while md5 is given.
struct extract_expect {
	std::string path;        // the file, as the extraction's folder + entry name
	std::string md5;         // 32 lower-case hex digits; empty: not checked
	uint64_t max_bytes = 0;  // 0: no bound
};
// For extractions on the calling thread; null clears it.
void set_extract_expect(const extract_expect* expect);

// Names of the temporary files extraction writes: this prefix, then 16
// lower-case hex digits. One left by a killed run may be removed.
extern const char* const extract_temp_prefix;
bool is_extract_temp_name(const std::string& name);

// Test seam: when set, called at named points of extraction and deletion
// with the path concerned: "extract-piece" (the first piece of a file is
// written), "extract-written" (all of it, before its mode), "delete-done"
// (a dropped file was deleted). A test stops the process there. The program
// never sets it.
using crash_point_hook = void (*)(const char* point, const std::string& path);
void set_crash_point_hook(crash_point_hook hook);
void crash_point(const char* point, const std::string& path);

// Writes a new .zip holding the one file (or link text) src and, when the
// file carries a resource fork, its "__MACOSX/._name" entry.
int file_to_zip(const std::string& src, const std::string& zip);

// 32 lower-case hex digits of the MD5 of the file's bytes (of the link text
// for a symbolic link) into digest; 20006 when nothing could be read.
int calc_file_md5(const std::string& path, std::string& digest);

// Step of zip_to_file: the current entry of the open archive is AppleDouble
// data for the data file named by path (the last "._" is removed from it).
int unzip_resource_fork(unzFile zip, const std::string& path, const unz_file_info64& info);

// Step of zip_to_file: the current entry is a symbolic link made at path.
int unzip_symlink(unzFile zip, const std::string& path, const unz_file_info64& info);
