#include "DIzivoz/Files/io_archive.h"
#include "DIzivoz/Files/io_archive_parts.h"

#include <archive.h>
#include <archive_entry.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <set>
#include <vector>

#include "DIzivoz/Files/io_utils.h"
#include "DIzivoz/GenH/hl_globals.h"

// 7z reading, through libarchive: file items only.

using namespace io_archive_parts;

namespace {

struct p7z_source {
	int fd = -1;
	std::vector<char> buf;
};

la_ssize_t SzFileReadImp(struct archive*, void* client, const void** buffer)
{
	p7z_source* src = static_cast<p7z_source*>(client);
	ssize_t n;
	do n = read(src->fd, src->buf.data(), src->buf.size());
	while (n < 0 && errno == EINTR);
	*buffer = src->buf.data();
	return n < 0 ? ARCHIVE_FATAL : n;
}

la_int64_t SzFileSeekImp(struct archive*, void* client, la_int64_t offset, int whence)
{
	p7z_source* src = static_cast<p7z_source*>(client);
	off_t r = lseek(src->fd, static_cast<off_t>(offset), whence);
	return r < 0 ? ARCHIVE_FATAL : static_cast<la_int64_t>(r);
}

// Streams the current item into the temporary file: 20002 when it yields
// other than its stated size, 20004 when it cannot be written.
int stream_7z_item(struct archive* a, struct archive_entry* entry, temp_out& out)
{
	const bool sized = archive_entry_size_is_set(entry) && archive_entry_size(entry) >= 0;
	const uint64_t want = sized ? static_cast<uint64_t>(archive_entry_size(entry)) : 0;
	const size_t size = sized ? static_cast<size_t>(std::min<uint64_t>(kThreadPiece, want + 1)) : kThreadPiece;
	char* piece = thread_buffer(0, size);
	if (!piece) return ENOMEM;
	if (sized && past_bound(want))
		return err_archive_too_big;
	entry_signer signer(out.dest());
	uint64_t got = 0;
	bool first = true;
	for (;;) {
		la_ssize_t n = archive_read_data(a, piece, size);
		if (n < 0) return err_zip_read;
		if (n == 0) break;
		got += static_cast<uint64_t>(n);
		if (sized && got > want) return err_zip_read;
		if (!within_bound(static_cast<uint64_t>(n))) return err_archive_too_big;
		signer.add(piece, static_cast<size_t>(n));
		if (write_all(out.fd(), piece, static_cast<size_t>(n))) return err_zip_write;
		if (first) crash_point("extract-piece", out.dest());
		first = false;
		if (cancelled()) return ECANCELED;
	}
	if (sized && got != want) return err_zip_read;
	return signer.check();
}

int p7z_fd_extract(int fd, const std::string& out_dir_in, std::string* name_io, int use_name, int flags)
{
	std::string out_dir = out_dir_in;
	set_path_to_full(out_dir);

	p7z_source src;
	src.fd = fd;
	src.buf.resize(1 << 20);
	expect_begin();

	struct archive* a = archive_read_new();
	int err = 0;
	if (!a) {
		err = ENOMEM;
	} else {
		archive_read_support_format_7zip(a);
		archive_read_set_read_callback(a, SzFileReadImp);
		archive_read_set_seek_callback(a, SzFileSeekImp);
		archive_read_set_callback_data(a, &src);
		if (archive_read_open1(a) != ARCHIVE_OK) err = err_zip_open;
	}
	bool first = true;
	while (!err) {
		struct archive_entry* entry = nullptr;
		int r = archive_read_next_header(a, &entry);
		if (r == ARCHIVE_EOF) break;
		if (r < ARCHIVE_WARN) {
			// The first header brings the archive's whole table of items:
			// failing there is failing to open the archive.
			err = first ? err_zip_open : err_zip_read;
			break;
		}
		first = false;
		if (archive_entry_filetype(entry) == AE_IFDIR) continue;
		const char* item = archive_entry_pathname_utf8(entry);
		if (!item) item = archive_entry_pathname(entry);
		if (!item) {
			err = err_zip_read;
			break;
		}
		std::string name = item;
		const std::string rel = use_name && name_io ? *name_io : name;
		if (name.size() > kMaxEntryName) {
			xer << "7z extraction refused the item " << name.substr(0, kMaxEntryName) << "...: its name is "
			    << name.size() << " bytes long.\n";
			err = ENAMETOOLONG;
			break;
		}
		if (escapes_folder(rel, std::set<std::string>())) {
			xer << "7z extraction refused the item " << name << ": it would be written outside " << out_dir_in
			    << ".\n";
			err = err_archive_escape;
			break;
		}
		const std::string out_path = out_dir + rel;
		if (name_io) *name_io = out_path;
		// Written whole under a temporary name, then renamed over whatever
		// stands at the path (a link is replaced, never written through).
		temp_out out;
		err = out.create_file(out_path, (flags & extract_executable) ? 0755 : 0666);
		if (err == err_archive_escape)
			xer << "7z extraction refused the item " << name << ": it would be written outside " << out_dir_in
			    << ".\n";
		if (err) break;
		err = stream_7z_item(a, entry, out);
		if (!err) crash_point("extract-written", out.dest());
		if (!err && (flags & extract_executable) && !out.mode_set() && fchmod(out.fd(), 0755) != 0) err = errno;
		if (!err && out.close_file() != 0) err = err_zip_write;
		if (!err) err = out.commit();
	}
	if (a) archive_read_free(a);
	return expect_end(err);
}

}  // namespace

int p7z_to_file(const std::string& archive_in, const std::string& out_dir_in, std::string* name_io, int use_name,
                int flags)
{
	std::string path = archive_in;
	set_path_to_full(path);
	const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
	if (fd < 0) return errno;
	const int err = p7z_fd_extract(fd, out_dir_in, name_io, use_name, flags);
	close(fd);
	return err;
}

int p7z_fd_to_file(int fd, const std::string& out_dir, int flags)
{
	// The reader moves the descriptor's own offset.
	if (lseek(fd, 0, SEEK_SET) != 0) return errno;
	return p7z_fd_extract(fd, out_dir, nullptr, 0, flags);
}
