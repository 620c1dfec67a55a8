#include "tests/support/archive_fixtures.h"

#include <archive.h>
#include <archive_entry.h>
#include <dirent.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "DIzivoz/GenH/hl_globals.h"

namespace atest {

bool write_zip(const std::string& path, const std::vector<zip_entry>& entries)
{
	zipFile zf = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
	if (!zf) return false;
	bool ok = true;
	for (const zip_entry& e : entries) {
		zip_fileinfo zi = {};
		zi.tmz_date.tm_year = static_cast<uInt>(e.year);
		zi.tmz_date.tm_mon = static_cast<uInt>(e.mon);
		zi.tmz_date.tm_mday = static_cast<uInt>(e.mday);
		zi.tmz_date.tm_hour = static_cast<uInt>(e.hour);
		zi.tmz_date.tm_min = static_cast<uInt>(e.min);
		zi.tmz_date.tm_sec = static_cast<uInt>(e.sec);
		zi.external_fa = e.external_fa;
		int method = e.stored ? 0 : Z_DEFLATED;
		ok = zipOpenNewFileInZip4_64(zf, e.name.c_str(), &zi, nullptr, 0, nullptr, 0, nullptr, method,
		                             e.stored ? 0 : Z_DEFAULT_COMPRESSION, 0, -MAX_WBITS, DEF_MEM_LEVEL,
		                             Z_DEFAULT_STRATEGY, nullptr, 0, (3 << 8) | 20, 0, 0) == ZIP_OK &&
		     zipWriteInFileInZip(zf, e.data.data(), static_cast<unsigned>(e.data.size())) == ZIP_OK &&
		     zipCloseFileInZip(zf) == ZIP_OK;
		if (!ok) break;
	}
	return zipClose(zf, nullptr) == ZIP_OK && ok;
}

static void put_le(std::string& out, uint64_t v, int bytes)
{
	for (int i = 0; i < bytes; ++i) out += static_cast<char>((v >> (8 * i)) & 0xff);
}

bool write_zip64(const std::string& path, const std::vector<zip_entry>& entries)
{
	std::string body, central;
	for (const zip_entry& e : entries) {
		std::string packed = e.data;
		if (!e.stored) {
			z_stream z = {};
			if (deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) return false;
			packed.assign(deflateBound(&z, e.data.size()), '\0');
			z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(e.data.data()));
			z.avail_in = static_cast<uInt>(e.data.size());
			z.next_out = reinterpret_cast<Bytef*>(&packed[0]);
			z.avail_out = static_cast<uInt>(packed.size());
			int r = deflate(&z, Z_FINISH);
			packed.resize(z.total_out);
			deflateEnd(&z);
			if (r != Z_STREAM_END) return false;
		}
		uint32_t crc = crc32(0, reinterpret_cast<const Bytef*>(e.data.data()), static_cast<uInt>(e.data.size()));
		uint64_t offset = body.size();
		const uint64_t usize = e.claimed_size ? e.claimed_size : e.data.size();
		int method = e.stored ? 0 : Z_DEFLATED;
		put_le(body, 0x04034b50, 4);
		put_le(body, 45, 2), put_le(body, 0, 2), put_le(body, method, 2), put_le(body, 0, 2), put_le(body, 0x21, 2);
		put_le(body, crc, 4), put_le(body, 0xffffffffu, 4), put_le(body, 0xffffffffu, 4);
		put_le(body, e.name.size(), 2), put_le(body, 20, 2);
		body += e.name;
		put_le(body, 1, 2), put_le(body, 16, 2), put_le(body, usize, 8), put_le(body, packed.size(), 8);
		body += packed;

		put_le(central, 0x02014b50, 4);
		put_le(central, (3 << 8) | 45, 2), put_le(central, 45, 2), put_le(central, 0, 2), put_le(central, method, 2);
		put_le(central, 0, 2), put_le(central, 0x21, 2);
		put_le(central, crc, 4), put_le(central, 0xffffffffu, 4), put_le(central, 0xffffffffu, 4);
		put_le(central, e.name.size(), 2), put_le(central, 28, 2), put_le(central, 0, 2), put_le(central, 0, 2);
		put_le(central, 0, 2), put_le(central, e.external_fa, 4), put_le(central, 0xffffffffu, 4);
		central += e.name;
		put_le(central, 1, 2), put_le(central, 24, 2);
		put_le(central, usize, 8), put_le(central, packed.size(), 8), put_le(central, offset, 8);
	}
	std::string out = body + central;
	put_le(out, 0x06054b50, 4), put_le(out, 0, 2), put_le(out, 0, 2);
	put_le(out, entries.size(), 2), put_le(out, entries.size(), 2);
	put_le(out, central.size(), 4), put_le(out, body.size(), 4), put_le(out, 0, 2);
	return vtest::write_file_bytes(path, out);
}

bool write_7z(const std::string& path, const std::vector<sevenz_item>& items)
{
	struct archive* a = archive_write_new();
	bool ok = archive_write_set_format_7zip(a) == ARCHIVE_OK && archive_write_open_filename(a, path.c_str()) == ARCHIVE_OK;
	for (const sevenz_item& it : items) {
		if (!ok) break;
		struct archive_entry* e = archive_entry_new();
		archive_entry_set_pathname(e, it.name.c_str());
		archive_entry_set_filetype(e, it.folder ? AE_IFDIR : AE_IFREG);
		archive_entry_set_perm(e, it.folder ? 0755 : 0644);
		archive_entry_set_size(e, it.folder ? 0 : static_cast<la_int64_t>(it.data.size()));
		ok = archive_write_header(a, e) == ARCHIVE_OK;
		if (ok && !it.folder && !it.data.empty())
			ok = archive_write_data(a, it.data.data(), it.data.size()) == static_cast<la_ssize_t>(it.data.size());
		archive_entry_free(e);
	}
	ok = archive_write_close(a) == ARCHIVE_OK && ok;
	archive_write_free(a);
	return ok;
}

std::string apple_double(const std::string& finfo16, const std::string& fork)
{
	const unsigned char head[] = {0x00, 0x05, 0x16, 0x07, 0x00, 0x02, 0x00, 0x00, 0, 0, 0, 0, 0, 0, 0, 0,
	                              0,    0,    0,    0,    0,    0,    0,    0,    0x00, 0x02,
	                              0, 0, 0, 9, 0, 0, 0, 0x32, 0, 0, 0, 0x20, 0, 0, 0, 2, 0, 0, 0, 0x52};
	std::string out(reinterpret_cast<const char*>(head), sizeof(head));
	uint32_t n = static_cast<uint32_t>(fork.size());
	out += static_cast<char>(n >> 24);
	out += static_cast<char>(n >> 16);
	out += static_cast<char>(n >> 8);
	out += static_cast<char>(n);
	std::string fi = finfo16;
	fi.resize(16, '\0');
	out += fi;
	out += std::string(16, '\0');
	out += fork;
	return out;
}


static void list_into(const std::string& root, const std::string& rel, std::vector<std::string>& out)
{
	DIR* d = opendir((root + rel).c_str());
	if (!d) return;
	while (struct dirent* e = readdir(d)) {
		std::string n = e->d_name;
		if (n == "." || n == "..") continue;
		struct stat st;
		std::string r = rel + n;
		if (lstat((root + r).c_str(), &st) != 0) continue;
		if (S_ISDIR(st.st_mode)) {
			out.push_back(r + "/");
			list_into(root, r + "/", out);
		} else {
			out.push_back(r);
		}
	}
	closedir(d);
}

std::vector<std::string> list_tree(const std::string& folder)
{
	std::vector<std::string> out;
	list_into(folder, "", out);
	std::sort(out.begin(), out.end());
	return out;
}

log_capture::log_capture(const std::string& file) : path(file) { xer.open(path); }

log_capture::~log_capture() { xer.close(); }

std::string log_capture::text()
{
	xer.flush();
	return vtest::read_file_bytes(path);
}

}  // namespace atest
