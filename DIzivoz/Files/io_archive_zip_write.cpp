#include "DIzivoz/Files/io_archive.h"
#include "DIzivoz/Files/io_archive_parts.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <new>
#include <vector>

#include "DIzivoz/Files/io_utils.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "Platform/plat_forks.h"

// Zip writing: one file or link, with its resource fork as an AppleDouble entry.

using namespace io_archive_parts;

namespace {

// What the writer puts first: the header, two entries (Finder information at
// 50, 32 bytes; resource fork at 82), all but the fork's length.
const unsigned char kMagicCrap[46] = {
    0x00, 0x05, 0x16, 0x07, 0x00, 0x02, 0x00, 0x00, 0,    0,    0,    0,    0,    0,    0,    0,
    0,    0,    0,    0,    0,    0,    0,    0,    0x00, 0x02, 0x00, 0x00, 0x00, 0x09, 0x00, 0x00,
    0x00, 0x32, 0x00, 0x00, 0x00, 0x20, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x52};

const unsigned kIoChunk = 1u << 30;  // minizip counts bytes in 32 bits

// Adds one entry and writes its data in pieces; lines are open, the
// pieces in order, close.
struct zip_writer {
	zipFile zf = nullptr;
	int open_entry(const std::string& name, const zip_fileinfo& zi, int method, bool zip64, int line)
	{
		int err = zipOpenNewFileInZip4_64(zf, name.c_str(), &zi, nullptr, 0, nullptr, 0, nullptr, method,
		                                  method ? Z_DEFAULT_COMPRESSION : 0, 0, -MAX_WBITS, DEF_MEM_LEVEL,
		                                  Z_DEFAULT_STRATEGY, nullptr, 0, (3 << 8) | 20, 0, zip64 ? 1 : 0);
		return err == ZIP_OK ? 0 : fail_at(line, err);
	}
	int write(const void* data, uint64_t n, int line)
	{
		const char* p = static_cast<const char*>(data);
		while (n > 0) {
			unsigned chunk = static_cast<unsigned>(std::min<uint64_t>(n, kIoChunk));
			int err = zipWriteInFileInZip(zf, p, chunk);
			if (err != ZIP_OK) return fail_at(line, err);
			p += chunk;
			n -= chunk;
		}
		return 0;
	}
	int close_entry(int line)
	{
		int err = zipCloseFileInZip(zf);
		return err == ZIP_OK ? 0 : fail_at(line, err);
	}
	int close_archive(int line)
	{
		int err = zipClose(zf, nullptr);
		zf = nullptr;
		return err == ZIP_OK ? 0 : fail_at(line, err);
	}
	~zip_writer()
	{
		if (zf) zipClose(zf, nullptr);
	}
};

// A regular file with bytes in it, read in pieces rather than mapped: a
// file shortened by someone else while it is zipped cannot fault the process.
struct source_file {
	int fd = -1;
	uint64_t size = 0;
	explicit source_file(const std::string& path)
	{
		fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
		if (fd < 0) return;
		struct stat st;
		if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0) {
			close(fd);
			fd = -1;
			return;
		}
		size = static_cast<uint64_t>(st.st_size);
		posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
	}
	~source_file()
	{
		if (fd >= 0) close(fd);
	}
	source_file(const source_file&) = delete;
	source_file& operator=(const source_file&) = delete;

	// Writes the whole file into the open entry.
	int copy_to(zip_writer& w, int line)
	{
		const size_t chunk = size_t(1) << 20;
		std::unique_ptr<char[]> buf(new (std::nothrow) char[chunk]);
		if (!buf) return fail_at(line, ENOMEM);
		for (;;) {
			ssize_t n = read(fd, buf.get(), chunk);
			if (n < 0 && errno == EINTR) continue;
			if (n < 0) return fail_at(line, errno);
			if (n == 0) return 0;
			int err = w.write(buf.get(), static_cast<uint64_t>(n), line);
			if (err) return err;
		}
	}
};

int file_to_zip_impl(const std::string& src_in, const std::string& zip_in)
{
	std::string src = src_in, zip = zip_in;
	set_path_to_full(src);
	set_path_to_full(zip);
	size_t slash = src.rfind('/');
	const std::string entry_name = slash == std::string::npos ? src : src.substr(slash + 1);

	// The canonical path resolves the folder, never the file itself: a link
	// is zipped as a link.
	std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : src.substr(0, slash));
	struct stat st;
	char* real = realpath(folder.c_str(), nullptr);
	if (!real) return fail_at(1050, errno);
	std::string canon = real;
	free(real);
	if (canon.back() != '/') canon += '/';
	canon += entry_name;
	if (lstat(canon.c_str(), &st) != 0) return fail_at(1050, errno);
	if (canon.size() > 499) return fail_at(1053, ENAMETOOLONG);

	zip_writer w;
	std::string link_text;
	if (read_link_text(canon, link_text)) {
		w.zf = zipOpen64(zip.c_str(), APPEND_STATUS_CREATE);
		if (!w.zf) return fail_at(1062, err_zip_create);
		zip_fileinfo zi = {};
		zi.external_fa = 0xA1ED0000u;  // link, rwxr-xr-x
		int err = w.open_entry(entry_name, zi, 0, false, 1071);
		if (!err) err = w.write(link_text.data(), link_text.size(), 1073);
		if (!err) err = w.close_entry(1075);
		if (!err) err = w.close_archive(1077);
		return err;
	}

	source_file data(canon);
	if (data.fd < 0) return fail_at(1089, err_file_open_read);
	w.zf = zipOpen64(zip.c_str(), APPEND_STATUS_CREATE);
	if (!w.zf) return fail_at(1095, err_zip_create);

	zip_fileinfo zi = {};
	if (stat(canon.c_str(), &st) == 0) {
		struct tm t;
		time_t mt = st.st_mtime;
		if (localtime_r(&mt, &t)) {
			zi.tmz_date.tm_sec = static_cast<uInt>(t.tm_sec);
			zi.tmz_date.tm_min = static_cast<uInt>(t.tm_min);
			zi.tmz_date.tm_hour = static_cast<uInt>(t.tm_hour);
			zi.tmz_date.tm_mday = static_cast<uInt>(t.tm_mday);
			zi.tmz_date.tm_mon = static_cast<uInt>(t.tm_mon);
			zi.tmz_date.tm_year = static_cast<uInt>(t.tm_year + 1900);
		}
		zi.external_fa = static_cast<uLong>(st.st_mode) << 16;
	}
	int err = w.open_entry(entry_name, zi, Z_DEFLATED, data.size >= 0xffffffffu, 1124);
	if (!err) err = data.copy_to(w, 1126);
	if (!err) err = w.close_entry(1128);
	if (err) return err;

	// The resource fork, when the file has one with bytes in it.
	if (lstat(canon.c_str(), &st) != 0) return w.close_archive(1232);
	std::vector<char> fork;
	int rc = plat_read_fork(canon, plat_rsrc_attr, fork);
	if (rc == ENODATA || plat_fork_unsupported(rc)) return w.close_archive(1232);
	if (rc) return fail_at(1159, rc);
	if (fork.size() >= (uint64_t(1) << 31)) return fail_at(1160, err_zip_rsrc_too_big);
	if (fork.empty()) return w.close_archive(1232);
	unsigned char finfo[16] = {};
	std::vector<char> fi;
	rc = plat_read_fork(canon, plat_finfo_attr, fi);
	if (rc == 0) memcpy(finfo, fi.data(), std::min<size_t>(fi.size(), sizeof(finfo)));
	else if (rc != ENODATA && !plat_fork_unsupported(rc)) return fail_at(1174, rc);

	zip_fileinfo none = {};
	err = w.open_entry("__MACOSX/._" + entry_name, none, Z_DEFLATED, false, 1202);
	unsigned char len_be[4] = {static_cast<unsigned char>(fork.size() >> 24), static_cast<unsigned char>(fork.size() >> 16),
	                           static_cast<unsigned char>(fork.size() >> 8), static_cast<unsigned char>(fork.size())};
	static const unsigned char zeros[16] = {};
	if (!err) err = w.write(kMagicCrap, sizeof(kMagicCrap), 1211);
	if (!err) err = w.write(len_be, sizeof(len_be), 1213);
	if (!err) err = w.write(finfo, sizeof(finfo), 1215);
	if (!err) err = w.write(zeros, sizeof(zeros), 1216);
	if (!err) err = w.write(fork.data(), fork.size(), 1217);
	if (!err) err = w.close_entry(1218);
	if (!err) err = w.close_archive(1232);
	return err;
}

}  // namespace

int file_to_zip(const std::string& src, const std::string& zip)
{
	int err = file_to_zip_impl(src, zip);
	if (err) xer << "file_to_zip failed with error " << err << ".\nfile = " << sErrFile << " line = " << sErrLine << "\n";
	return err;
}
