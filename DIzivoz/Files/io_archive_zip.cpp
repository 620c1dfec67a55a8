#include "DIzivoz/Files/io_archive.h"
#include "DIzivoz/Files/io_archive_parts.h"
#include "DIzivoz/Files/io_beneath.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <set>
#include <unordered_map>
#include <vector>

#include "DIzivoz/Files/io_utils.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "Platform/plat_forks.h"

// Zip reading: regular entries, links, AppleDouble entries (resource forks
// and Finder information) and zip64 records, through minizip.

using namespace io_archive_parts;

namespace {

// The first 24 bytes of every AppleDouble file: magic, version, filler.
const unsigned char kAppleHeader[24] = {0x00, 0x05, 0x16, 0x07, 0x00, 0x02, 0x00, 0x00, 0, 0, 0, 0,
                                        0,    0,    0,    0,    0,    0,    0,    0,    0, 0, 0, 0};

uint32_t get_be32(const unsigned char* p)
{
	return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

uint16_t get_le16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t get_le32(const unsigned char* p) { return uint32_t(get_le16(p)) | (uint32_t(get_le16(p + 2)) << 16); }
uint64_t get_le64(const unsigned char* p) { return uint64_t(get_le32(p)) | (uint64_t(get_le32(p + 4)) << 32); }

bool pread_all(int fd, void* buf, size_t n, uint64_t at)
{
	char* p = static_cast<char*>(buf);
	while (n > 0) {
		ssize_t r = pread(fd, p, n, static_cast<off_t>(at));
		if (r < 0 && errno == EINTR) continue;
		if (r <= 0) return false;
		p += r;
		n -= static_cast<size_t>(r);
		at += static_cast<uint64_t>(r);
	}
	return true;
}

// The packaged minizip reads the 64-bit sizes and offset of a zip64 entry
// wrongly on 64-bit systems (its "all ones" test uses a 64-bit value), so
// entries of 4 GiB and more, or lying past 4 GiB, are read here from the
// archive's own records.
struct zip64_entry {
	bool is64 = false;
	uint16_t flags = 0, method = 0;
	uint32_t crc = 0;
	uint64_t csize = 0, usize = 0, local = 0;
};

// Archive being extracted by this thread: its descriptor and current entry.
struct zip64_state {
	int fd = -1;
	zip64_entry entry;
};
thread_local zip64_state* tl_zip64 = nullptr;

// Reads the central record of the current entry; is64 tells whether any of
// its sizes or its offset live in a zip64 extra field.
zip64_entry central_record(unzFile zf, int fd)
{
	zip64_entry e;
	unsigned char rec[46];
	uint64_t pos = unzGetOffset64(zf);
	if (fd < 0 || !pread_all(fd, rec, sizeof(rec), pos) || get_le32(rec) != 0x02014b50) return e;
	e.flags = get_le16(rec + 8);
	e.method = get_le16(rec + 10);
	e.crc = get_le32(rec + 16);
	e.csize = get_le32(rec + 20);
	e.usize = get_le32(rec + 24);
	e.local = get_le32(rec + 42);
	uint16_t name_len = get_le16(rec + 28), extra_len = get_le16(rec + 30);
	if (extra_len == 0 || (e.usize != 0xffffffffu && e.csize != 0xffffffffu && e.local != 0xffffffffu)) return e;
	std::vector<unsigned char> extra(extra_len);
	if (!pread_all(fd, extra.data(), extra.size(), pos + sizeof(rec) + name_len)) return e;
	for (size_t at = 0; at + 4 <= extra.size();) {
		uint16_t id = get_le16(&extra[at]), len = get_le16(&extra[at + 2]);
		size_t field = at + 4, end = std::min(extra.size(), field + len);
		if (id == 0x0001) {
			uint64_t* slots[3] = {&e.usize, &e.csize, &e.local};
			for (uint64_t* slot : slots)
				if (*slot == 0xffffffffu && field + 8 <= end) {
					*slot = get_le64(&extra[field]);
					field += 8;
					e.is64 = true;
				}
			break;
		}
		at = field + len;
	}
	return e;
}

const uint64_t kMaxLinkText = 4096;      // PATH_MAX: longer link texts cannot be made
// AppleDouble data kept in memory; a larger resource fork could not be stored
// as a user attribute here anyway (their values are at most 64 KiB).
const uint64_t kMaxAppleDouble = uint64_t(1) << 20;

// Reads the current entry in pieces, from minizip or, for zip64 records,
// from the archive itself, checking its length and CRC at the end. Lines are
// those of the caller's steps: open, buffer, read, close.
class entry_stream {
public:
	entry_stream(unzFile zf, const unz_file_info64& info, const int lines[4]) : zf_(zf), lines_(lines)
	{
		if (tl_zip64 && tl_zip64->entry.is64) {
			z64_ = &tl_zip64->entry;
			fd_ = tl_zip64->fd;
		}
		want_ = z64_ ? z64_->usize : info.uncompressed_size;
	}
	~entry_stream()
	{
		if (inflating_) inflateEnd(&z_);
		if (open_ && !z64_) unzCloseCurrentFile(zf_);
	}
	entry_stream(const entry_stream&) = delete;
	entry_stream& operator=(const entry_stream&) = delete;

	uint64_t size() const { return want_; }

	int open()
	{
		if (!z64_) {
			int err = unzOpenCurrentFile(zf_);
			if (err != UNZ_OK) return fail_at(lines_[0], err);
			open_ = true;
			return 0;
		}
		unsigned char local[30];
		if ((z64_->flags & 1) || (z64_->method != 0 && z64_->method != Z_DEFLATED) ||
		    !pread_all(fd_, local, sizeof(local), z64_->local) || get_le32(local) != 0x04034b50)
			return fail_at(lines_[0], UNZ_BADZIPFILE);
		data_at_ = z64_->local + sizeof(local) + get_le16(local + 26) + get_le16(local + 28);
		crc_ = crc32(0L, Z_NULL, 0);
		if (z64_->method == Z_DEFLATED) {
			if (inflateInit2(&z_, -MAX_WBITS) != Z_OK) return fail_at(lines_[0], UNZ_INTERNALERROR);
			inflating_ = true;
			in_.resize(kPiece);
		}
		open_ = true;
		return 0;
	}

	// Up to n bytes of the entry into buf: the count, 0 at its end (or when
	// the data runs out early), -1 on a damaged stream.
	long read(char* buf, size_t n)
	{
		n = static_cast<size_t>(std::min<uint64_t>(n, want_ - got_));
		if (n == 0) return 0;
		long r = z64_ ? read_z64(reinterpret_cast<unsigned char*>(buf), n)
		              : unzReadCurrentFile(zf_, buf, static_cast<unsigned>(n));
		if (r > 0) got_ += static_cast<uint64_t>(r);
		return r < 0 ? -1 : r;
	}

	// After the last read: the entry held its whole size and its CRC matches.
	int finish()
	{
		if (got_ < want_) return fail_at(lines_[2], err_zip_read);
		if (z64_) {
			open_ = false;
			if (crc_ != z64_->crc) return fail_at(lines_[3], UNZ_CRCERROR);
			return 0;
		}
		open_ = false;
		int err = unzCloseCurrentFile(zf_);  // checks the CRC
		return err == UNZ_OK ? 0 : fail_at(lines_[3], err);
	}

	// Reads the whole entry into out; for small entries only.
	int read_all(std::string& out)
	{
		out.clear();
		std::vector<char> piece(static_cast<size_t>(std::min<uint64_t>(want_, kPiece)) + 1);
		for (;;) {
			long n = read(piece.data(), piece.size());
			if (n <= 0) break;
			out.append(piece.data(), static_cast<size_t>(n));
		}
		return finish();
	}

private:
	long read_z64(unsigned char* out, size_t n)
	{
		uint64_t stored = std::min(z64_->csize, z64_->usize);
		long r = 0;
		if (z64_->method == 0) {
			n = static_cast<size_t>(std::min<uint64_t>(n, stored - read_));
			if (n == 0 || !pread_all(fd_, out, n, data_at_ + read_)) return 0;
			read_ += n;
			r = static_cast<long>(n);
		} else {
			z_.next_out = out;
			z_.avail_out = static_cast<uInt>(n);
			while (z_.avail_out == n && !ended_) {
				if (z_.avail_in == 0) {
					size_t m = static_cast<size_t>(std::min<uint64_t>(in_.size(), z64_->csize - read_));
					if (m == 0 || !pread_all(fd_, in_.data(), m, data_at_ + read_)) break;
					read_ += m;
					z_.next_in = in_.data();
					z_.avail_in = static_cast<uInt>(m);
				}
				int zr = inflate(&z_, Z_NO_FLUSH);
				if (zr == Z_STREAM_END) ended_ = true;
				else if (zr != Z_OK && zr != Z_BUF_ERROR) return -1;
			}
			r = static_cast<long>(n - z_.avail_out);
		}
		crc_ = crc32(crc_, out, static_cast<uInt>(r));
		return r;
	}

	unzFile zf_;
	const int* lines_;
	const zip64_entry* z64_ = nullptr;
	int fd_ = -1;
	uint64_t want_ = 0, got_ = 0, read_ = 0, data_at_ = 0;
	bool open_ = false, inflating_ = false, ended_ = false;
	uLong crc_ = 0;
	z_stream z_ = {};
	std::vector<unsigned char> in_;
};

// Streams the open entry into the temporary file; codes and lines as the
// caller's steps (read 20002, close CRC, write line given).
int stream_entry(entry_stream& in, temp_out& out, int write_line)
{
	// Small entries, the usual case, need no piece of the full size.
	const size_t size = static_cast<size_t>(std::min<uint64_t>(kThreadPiece, in.size() + 1));
	char* piece = thread_buffer(0, size);
	if (!piece) return fail_at(write_line, ENOMEM);
	entry_signer signer(out.dest());
	bool first = true;
	for (;;) {
		long n = in.read(piece, size);
		if (n <= 0) break;
		if (!within_bound(static_cast<uint64_t>(n))) return fail_at(write_line, err_archive_too_big);
		signer.add(piece, static_cast<size_t>(n));
		if (int err = write_all(out.fd(), piece, static_cast<size_t>(n))) return fail_at(write_line, err);
		if (first) crash_point("extract-piece", out.dest());
		first = false;
		if (cancelled()) return fail_at(write_line, ECANCELED);
	}
	if (int err = in.finish()) return err;
	if (int err = signer.check()) return fail_at(write_line, err);
	return 0;
}

// The mode a zip entry's file ends with: 0755 for executables, else its
// stored Unix mode; false when it keeps the mode it was created with. A
// DOS-only attribute word carries no permissions, and mode 0 would lock the
// user out of the file.
bool entry_mode(const unz_file_info64& info, int flags, mode_t& mode)
{
	if (flags & extract_executable) {
		mode = 0755;
		return true;
	}
	if (info.external_fa != 0 && (info.external_fa >> 16) != 0) {
		mode = static_cast<mode_t>((info.external_fa >> 16) & 0777);
		return true;
	}
	return false;
}

// The local date of an entry as a time. mktime looks at the zone file on
// every call, so each thread keeps the start of the hours it has met; an
// hour whose offset changes within it is asked of mktime as it is.
time_t local_time_of(const tm_unz& d)
{
	struct tm t = {};
	t.tm_sec = static_cast<int>(d.tm_sec);
	t.tm_min = static_cast<int>(d.tm_min);
	t.tm_hour = static_cast<int>(d.tm_hour);
	t.tm_mday = static_cast<int>(d.tm_mday);
	t.tm_mon = static_cast<int>(d.tm_mon);
	t.tm_year = static_cast<int>(d.tm_year) - 1900;
	t.tm_isdst = -1;
	const bool plain = d.tm_sec < 60 && d.tm_min < 60 && d.tm_hour < 24 && d.tm_mday >= 1 && d.tm_mday <= 31 &&
	                   d.tm_mon < 12 && d.tm_year >= 1900 && d.tm_year < 3000;
	if (!plain) return mktime(&t);
	const long long key = ((static_cast<long long>(d.tm_year) * 12 + d.tm_mon) * 32 + d.tm_mday) * 24 + d.tm_hour;
	thread_local std::unordered_map<long long, time_t> hours;
	auto it = hours.find(key);
	if (it == hours.end()) {
		struct tm h = t;
		h.tm_min = h.tm_sec = 0;
		time_t start = mktime(&h);
		struct tm a = {}, b = {};
		const time_t end = start + 3599;
		if (start == static_cast<time_t>(-1) || !localtime_r(&start, &a) || !localtime_r(&end, &b) ||
		    a.tm_gmtoff != b.tm_gmtoff || a.tm_hour != static_cast<int>(d.tm_hour))
			start = static_cast<time_t>(-1);  // not one plain hour: no shortcut
		if (hours.size() > 4096) hours.clear();
		it = hours.emplace(key, start).first;
	}
	if (it->second == static_cast<time_t>(-1)) return mktime(&t);
	return it->second + t.tm_min * 60 + t.tm_sec;
}

// Mode and dates of a zip entry on the open temporary file; lines 1325, 1330.
int restore_mode_and_dates(const temp_out& out, const unz_file_info64& info, int flags)
{
	const int fd = out.fd();
	int err = 0;
	mode_t mode = 0;
	if (entry_mode(info, flags, mode) && !out.mode_set() && fchmod(fd, mode) != 0) err = fail_at(1325, errno);
	if (!err && info.external_fa != 0) {
		time_t when = local_time_of(info.tmu_date);
		struct timespec times[2];
		times[0].tv_sec = times[1].tv_sec = when;
		times[0].tv_nsec = times[1].tv_nsec = 0;
		if (when == static_cast<time_t>(-1)) err = fail_at(1330, EINVAL);
		else if (futimens(fd, times) != 0) err = fail_at(1330, errno);
	}
	return err;
}

// The data file of an AppleDouble entry's relative name: the name without
// its last "._"; empty when it holds none (such entries carry nothing).
std::string fork_data_name(const std::string& rel)
{
	size_t pos = rel.rfind("._");
	if (pos == std::string::npos) return std::string();
	return rel.substr(0, pos) + rel.substr(pos + 2);
}

// Writes the current regular-file entry under a temporary name beside path,
// with its mode and dates; out holds it, not yet renamed into place, so that
// its AppleDouble entry can still be applied.
int unzip_regular(unzFile zf, const std::string& path, const unz_file_info64& info, int flags, temp_out& out)
{
	static const int lines[4] = {1301, 1304, 1306, 1308};
	entry_stream in(zf, info, lines);
	int err = in.open();
	// A stated size past the bound is refused before a byte is written.
	if (!err && past_bound(in.size()))
		err = fail_at(1313, err_archive_too_big);
	if (!err) {
		mode_t mode = 0666;
		entry_mode(info, flags, mode);
		if (int rc = out.create_file(path, mode)) err = fail_at(1313, rc);
	}
	if (!err) err = stream_entry(in, out, 1321);
	if (!err) crash_point("extract-written", out.dest());
	if (!err) err = restore_mode_and_dates(out, info, flags);
	if (!err) {
		if (int rc = out.close_file()) err = fail_at(1321, rc);
	}
	if (err) {
		out.discard();
		xer << "Zip to file failed with error " << err << ". file = " << sErrFile << " line = " << sErrLine
		    << ". inFile=" << path << ".\n";
	}
	return err;
}

// Renames a finished file into place; line 1313 as its creation.
int commit_regular(temp_out& out)
{
	if (out.path().empty()) return 0;
	int rc = out.commit();
	if (rc) {
		fail_at(1313, rc);
		xer << "Zip to file failed with error " << rc << ". file = " << sErrFile << " line = " << sErrLine
		    << ". inFile=" << out.dest() << ".\n";
		out.discard();
	}
	return rc;
}

// Applies AppleDouble data to the file at target; data is what was kept of
// the entry (at most kMaxAppleDouble bytes), size its full length.
int apply_apple_double(const std::string& target, const std::string& path, const std::string& data, uint64_t size)
{
	int err = 0;
	const unsigned char* d = reinterpret_cast<const unsigned char*>(data.data());
	const uint64_t kept = data.size();
	const unsigned char* finfo = nullptr;
	const unsigned char* fork = nullptr;
	uint64_t fork_len = 0;
	bool fork_beyond = false;
	if (kept < 26 || memcmp(d, kAppleHeader, sizeof(kAppleHeader)) != 0) {
		err = fail_at(1459, err_zip_rsrc_header);
	} else {
		int16_t count = static_cast<int16_t>((d[24] << 8) | d[25]);
		if (count > 0 && 26 + 12 * uint64_t(count) > kept) err = fail_at(1459, err_zip_rsrc_header);
		for (int i = 0; !err && i < count; ++i) {
			const unsigned char* e = d + 26 + 12 * i;
			uint32_t id = get_be32(e), off = get_be32(e + 4), len = get_be32(e + 8);
			bool used = (id == 9 && len == 32) || id == 2;
			if (used && uint64_t(off) + len > size) {
				err = fail_at(1459, err_zip_rsrc_header);  // data lies beyond the entry
			} else if (id == 9 && len == 32) {
				finfo = uint64_t(off) + len <= kept ? d + off : nullptr;
			} else if (id == 2) {
				fork_beyond = uint64_t(off) + len > kept;
				fork = fork_beyond ? nullptr : d + off;
				fork_len = len;
			}
		}
	}
	if (err == 0) {
		struct stat st;
		if (lstat(target.c_str(), &st) != 0) return 0;  // the data entry must come first
		if (S_ISLNK(st.st_mode)) {
			xer << "WARNING: the resource fork and Finder information of the link " << path
			    << " were not restored: a link carries none.\n";
			return 0;
		}
		if (finfo) {
			// The first 16 bytes (type, creator, flags, location, reserved) are
			// kept as stored, big-endian; the extended 16 are not applied.
			unsigned char rec[32] = {};
			memcpy(rec, finfo, 16);
			int rc = plat_write_fork(target, plat_finfo_attr, rec, sizeof(rec));
			if (rc && plat_fork_unsupported(rc)) {
				xer << "WARNING: the Finder information of " << path << " could not be stored here (error " << rc
				    << ").\n";
			} else if (rc) {
				err = fail_at(1440, rc);
			}
		}
		if (!err && fork_len > 0) {
			int rc = fork_beyond ? E2BIG : plat_write_fork(target, plat_rsrc_attr, fork, static_cast<size_t>(fork_len));
			if (rc && plat_fork_unsupported(rc)) {
				xer << "WARNING: the resource fork of " << path << " (" << fork_len
				    << " bytes) could not be stored here (error " << rc << ").\n";
			} else if (rc) {
				err = fail_at(1452, rc);
			}
		}
	}
	return err;
}

// The resource-fork step; target is where the data file stands now (its
// temporary name while it waits to be renamed).
int unzip_resource_fork_at(unzFile zf, const std::string& rf_path, const unz_file_info64& info,
                           const std::string* target)
{
	static const int lines[4] = {1386, 1389, 1391, 1393};
	size_t dot = rf_path.rfind("._");
	if (dot == std::string::npos) return 0;  // names no data file
	std::string path = rf_path.substr(0, dot) + rf_path.substr(dot + 2);

	entry_stream in(zf, info, lines);
	std::string data;
	int err = in.open();
	if (!err) {
		// Only the start is kept; the rest is read through for its checks.
		std::vector<char> piece(static_cast<size_t>(std::min<uint64_t>(kPiece, in.size() + 1)));
		for (;;) {
			long n = in.read(piece.data(), piece.size());
			if (n <= 0) break;
			uint64_t room = kMaxAppleDouble - std::min<uint64_t>(kMaxAppleDouble, data.size());
			data.append(piece.data(), static_cast<size_t>(std::min<uint64_t>(room, static_cast<uint64_t>(n))));
		}
		err = in.finish();
	}
	if (!err) err = apply_apple_double(target ? *target : path, path, data, in.size());
	if (err)
		xer << "Unzip RF failed with error " << err << ". file = " << sErrFile << " line = " << sErrLine
		    << ". inFile=" << path << ".\n";
	return err;
}

}  // namespace

int unzip_symlink(unzFile zf, const std::string& path, const unz_file_info64& info)
{
	static const int lines[4] = {1261, 1264, 1266, 1268};
	entry_stream in(zf, info, lines);
	std::string text;
	int err = in.open();
	// A link's text is a path: a record claiming more cannot be a link.
	if (!err && in.size() >= kMaxLinkText) err = fail_at(lines[1], ENAMETOOLONG);
	if (!err) err = in.read_all(text);
	if (!err) {
		// A link is signed by its text.
		entry_signer signer(path);
		signer.add(text.data(), text.size());
		if (int rc = signer.check()) err = fail_at(1276, rc);
	}
	if (!err) {
		temp_out out;
		if (text.empty() || text.find('\0') != std::string::npos) err = fail_at(1276, EINVAL);
		else if (int rc = out.create_link(path, text)) err = fail_at(1276, rc);
		else if (int rc2 = out.commit()) err = fail_at(1276, rc2);
	}
	if (err)
		xer << "Zip to symlink failed with error " << err << ". file = " << sErrFile << " line = " << sErrLine
		    << ". inFile=" << path << ".\n";
	return err;
}

int unzip_resource_fork(unzFile zf, const std::string& rf_path, const unz_file_info64& info)
{
	return unzip_resource_fork_at(zf, rf_path, info, nullptr);
}

namespace {

// An archive read through a descriptor it does not own: an archive of up to
// one window is read whole with one system call, a larger one a window at a
// time, so that minizip's many small reads and seeks cost none.
struct fd_reader {
	static constexpr size_t kWindow = kThreadPiece;
	int fd = -1;
	bool sized = false;
	uint64_t size = 0, pos = 0, win_at = 0;
	size_t win_len = 0;
	char* win = nullptr;  // the thread's kept window buffer
	int error = 0;

	// Fills the window with bytes from at on; false on a read error.
	bool fill(uint64_t at)
	{
		if (!win) win = thread_buffer(1, kWindow);
		if (!win) return fail(ENOMEM);
		if (!sized) {
			// The first read tells the size of a small archive by coming back short.
			size_t got = 0;
			while (got < kWindow) {
				const size_t ask = kWindow - got;
				ssize_t r = pread(fd, win + got, ask, static_cast<off_t>(got));
				if (r < 0 && errno == EINTR) continue;
				if (r < 0) return fail(errno);
				got += static_cast<size_t>(r);
				if (static_cast<size_t>(r) < ask) break;  // a regular file reads short only at its end
			}
			win_at = 0;
			win_len = got;
			sized = true;
			size = got;
			if (got == kWindow) {
				struct stat st;
				if (fstat(fd, &st) != 0) return fail(errno);
				size = static_cast<uint64_t>(st.st_size);
			}
			if (at < win_len || size <= kWindow) return true;
		}
		if (at >= size) {
			win_at = at;
			win_len = 0;
			return true;
		}
		const uint64_t start = size <= kWindow ? 0 : at;
		const size_t len = static_cast<size_t>(std::min<uint64_t>(kWindow, size - start));
		if (!pread_all(fd, win, len, start)) return fail(EIO);
		win_at = start;
		win_len = len;
		return true;
	}
	bool fail(int e)
	{
		error = e;
		return false;
	}
	size_t read(char* out, size_t n)
	{
		size_t done = 0;
		while (done < n) {
			if (!sized || pos < win_at || pos >= win_at + win_len) {
				if (sized && pos >= size) break;
				if (!fill(pos) || win_len == 0) break;
				if (pos < win_at || pos >= win_at + win_len) break;
			}
			const size_t off = static_cast<size_t>(pos - win_at);
			const size_t m = std::min(n - done, win_len - off);
			memcpy(out + done, win + off, m);
			done += m;
			pos += m;
		}
		return done;
	}

	static voidpf ZCALLBACK open_cb(voidpf, const void* reader, int) { return const_cast<void*>(reader); }
	static uLong ZCALLBACK read_cb(voidpf, voidpf s, void* buf, uLong n)
	{
		return static_cast<uLong>(static_cast<fd_reader*>(s)->read(static_cast<char*>(buf), n));
	}
	static uLong ZCALLBACK write_cb(voidpf, voidpf, const void*, uLong) { return 0; }
	static ZPOS64_T ZCALLBACK tell_cb(voidpf, voidpf s) { return static_cast<fd_reader*>(s)->pos; }
	static long ZCALLBACK seek_cb(voidpf, voidpf s, ZPOS64_T off, int origin)
	{
		fd_reader* r = static_cast<fd_reader*>(s);
		if (origin == ZLIB_FILEFUNC_SEEK_END && !r->sized && !r->fill(0)) return -1;
		uint64_t base = origin == ZLIB_FILEFUNC_SEEK_CUR ? r->pos : origin == ZLIB_FILEFUNC_SEEK_END ? r->size : 0;
		r->pos = base + off;
		return 0;
	}
	static int ZCALLBACK close_cb(voidpf, voidpf) { return 0; }
	static int ZCALLBACK error_cb(voidpf, voidpf s) { return static_cast<fd_reader*>(s)->error; }
};

int zip_fd_extract(int fd, const std::string& zip, const std::string& out_dir_in, std::string* name_io, int use_name,
                   int flags);

}  // namespace

int zip_to_file(const std::string& zip_in, const std::string& out_dir_in, std::string* name_io, int use_name,
                int flags)
{
	std::string zip = zip_in;
	set_path_to_full(zip);
	const int fd = open(zip.c_str(), O_RDONLY | O_CLOEXEC);
	const int err = zip_fd_extract(fd, zip, out_dir_in, name_io, use_name, flags);
	if (fd >= 0) close(fd);
	return err;
}

int zip_fd_to_file(int fd, const std::string& zip, const std::string& out_dir, int flags)
{
	return zip_fd_extract(fd, zip, out_dir, nullptr, 0, flags);
}

namespace {

int zip_fd_extract(int fd, const std::string& zip, const std::string& out_dir_in, std::string* name_io, int use_name,
                   int flags)
{
	std::string out_dir = out_dir_in;
	set_path_to_full(out_dir);
	expect_begin();

	int err = 0;
	fd_reader reader;
	reader.fd = fd;
	zlib_filefunc64_def io = {fd_reader::open_cb, fd_reader::read_cb, fd_reader::write_cb, fd_reader::tell_cb,
	                          fd_reader::seek_cb,  fd_reader::close_cb, fd_reader::error_cb, nullptr};
	unzFile zf = fd >= 0 ? unzOpen2_64(&reader, &io) : nullptr;
	if (!zf) {
		xer << "OK I am about to report that I could not open a zip file for extraction!\n";
		xer << "That incoming file is " << zip << "\n";
		xer << "In c-form, it is " << zip << "\n";
		xer << "The size is " << zip.size() << "\n";
		err = fail_at(1500, err_zip_open);
	} else {
		std::set<std::string> made_links;
		bool first = true;
		// The last regular file, whole but not yet renamed into place: its
		// AppleDouble entry may follow and is applied to it first.
		temp_out pending;
		zip64_state z64;
		z64.fd = fd;
		tl_zip64 = &z64;
		int walk = unzGoToFirstFile(zf);
		while (walk == UNZ_OK) {
			unz_file_info64 info;
			char name_buf[kMaxEntryName + 1];
			walk = unzGetCurrentFileInfo64(zf, &info, name_buf, sizeof(name_buf), nullptr, 0, nullptr, 0);
			if (walk != UNZ_OK) {
				xer << "unzGetCurrentFileInfo err != UNZ_OK! err=" << walk << "\n";
				break;
			}
			z64.entry = info.size_file_extra ? central_record(zf, z64.fd) : zip64_entry();
			if (z64.entry.is64) {
				info.uncompressed_size = z64.entry.usize;
				info.compressed_size = z64.entry.csize;
			}
			int entry_err = 0;
			std::string name;
			if (info.size_filename > kMaxEntryName) {
				// Never written under a cut-off name.
				name.assign(name_buf, kMaxEntryName);
				xer << "Zip to file refused the entry " << name << "...: its name is " << info.size_filename
				    << " bytes long.\n";
				entry_err = commit_regular(pending);
				if (!entry_err) entry_err = fail_at(1516, ENAMETOOLONG);
			} else {
				name.assign(name_buf, info.size_filename);
				const std::string rel = use_name && name_io ? *name_io : name;
				const std::string out_path = out_dir + rel;
				if (name_io && first) *name_io = name;
				const bool is_apple = name.compare(0, 8, "__MACOSX") == 0;
				const bool is_folder = !name.empty() && name.back() == '/';
				const uint32_t mode = static_cast<uint32_t>(info.external_fa >> 16);

				const bool fork_of_pending = is_apple && !is_folder && !pending.path().empty() &&
				                             out_dir + fork_data_name(name.size() > 9 ? name.substr(9) : std::string()) ==
				                                 pending.dest();
				if (!fork_of_pending) entry_err = commit_regular(pending);
				if (entry_err) {
					// the file before this entry could not be put in place
				} else if (is_folder) {
					// Folders keep their stored names, also with use_name.
					if (!is_apple) {
						if (escapes_folder(name, made_links) || leaves_root(out_dir + name)) {
							entry_err = refuse_entry(name, out_dir, 1520);
						} else {
							const std::string* root = beneath_root();
							int r = root ? beneath_mkdir(*root, out_dir + name) : make_folder(out_dir + name);
							if (r != 0 && r != EEXIST && r != -48) entry_err = r;
						}
					}
				} else if (is_apple) {
					std::string data_rel = fork_data_name(name.size() > 9 ? name.substr(9) : std::string());
					if (data_rel.empty()) {
						xer << "WARNING: the entry " << name << " names no data file and was skipped.\n";
					} else if (escapes_folder(data_rel, made_links) || leaves_root(out_dir + data_rel)) {
						entry_err = refuse_entry(name, out_dir, 1520);
					} else {
						entry_err = unzip_resource_fork_at(zf, out_dir + name.substr(9), info,
						                                   fork_of_pending ? &pending.path() : nullptr);
						if (entry_err) pending.discard();
					}
				} else if (escapes_folder(rel, made_links)) {
					entry_err = refuse_entry(name, out_dir, 1520);
				} else if (rel.empty()) {
					// Would name the output folder itself.
					xer << "Zip to file refused an entry without a name.\n";
					entry_err = fail_at(1520, EINVAL);
				} else if ((mode & 0xA000) == 0xA000) {
					entry_err = unzip_symlink(zf, out_path, info);
					if (!entry_err) made_links.insert(link_key(rel));
					if (entry_err == err_archive_escape) refuse_entry(name, out_dir, 1520);  // through a link out of the copy
				} else {
					entry_err = unzip_regular(zf, out_path, info, flags, pending);
					made_links.erase(link_key(rel));  // a file now stands where a link was
					if (entry_err == err_archive_escape) refuse_entry(name, out_dir, 1520);  // through a link out of the copy
				}
			}
			first = false;
			if (entry_err) {
				xer << "UNZIP zip_to_file failed with err=" << entry_err << "\n";
				err = fail_at(1539, entry_err);
				break;
			}
			walk = unzGoToNextFile(zf);
		}
		if (!err) {
			int rc = commit_regular(pending);
			if (rc) {
				xer << "UNZIP zip_to_file failed with err=" << rc << "\n";
				err = fail_at(1539, rc);
			}
		}
		pending.discard();
		if (!err && walk != UNZ_OK && walk != UNZ_END_OF_LIST_OF_FILE) err = fail_at(1550, walk);
		tl_zip64 = nullptr;
		unzClose(zf);
	}
	err = expect_end(err);
	if (err)
		xer << "Zip to file failed with error err = " << err << ". file = " << sErrFile << " line = " << sErrLine
		    << ". zip_file=" << zip << ", out_dir=" << out_dir_in << ".\n";
	return err;
}

}  // namespace
