#include "tests/support/grab_release.h"

#include <archive.h>
#include <archive_entry.h>
#include <md5.h>
#include <sys/stat.h>
#include <zip.h>

#include <unistd.h>

#include <cstdio>
#include <stdexcept>

#include "tests/support/http_server.h"

namespace vtest {

std::string md5_hex(const std::string& data)
{
	MD5_CTX ctx;
	MD5Init(&ctx);
	MD5Update(&ctx, reinterpret_cast<const unsigned char*>(data.data()), data.size());
	unsigned char digest[16];
	MD5Final(digest, &ctx);
	char out[33];
	for (int i = 0; i < 16; ++i) std::snprintf(out + 2 * i, 3, "%02x", digest[i]);
	return std::string(out, 32);
}

std::string make_zip_bytes(const std::string& entry_name, const std::string& data, unsigned mode,
                           std::time_t mtime, bool link)
{
	char tmpl[] = "/tmp/grab_zip_XXXXXX";
	int fd = mkstemp(tmpl);
	if (fd < 0) throw std::runtime_error("mkstemp");
	close(fd);
	zipFile z = zipOpen64(tmpl, APPEND_STATUS_CREATE);
	if (!z) throw std::runtime_error("zipOpen64");
	zip_fileinfo info{};
	std::tm lt{};
	localtime_r(&mtime, &lt);
	info.tmz_date.tm_sec = lt.tm_sec;
	info.tmz_date.tm_min = lt.tm_min;
	info.tmz_date.tm_hour = lt.tm_hour;
	info.tmz_date.tm_mday = lt.tm_mday;
	info.tmz_date.tm_mon = lt.tm_mon;
	info.tmz_date.tm_year = lt.tm_year + 1900;
	info.external_fa = (unsigned long)((link ? (0120000u | (mode & 0777)) : (0100000u | (mode & 07777))) << 16);
	int err = zipOpenNewFileInZip(z, entry_name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
	                              link ? 0 : Z_DEFLATED, link ? 0 : Z_DEFAULT_COMPRESSION);
	if (err == ZIP_OK && !data.empty()) err = zipWriteInFileInZip(z, data.data(), (unsigned)data.size());
	if (err == ZIP_OK) err = zipCloseFileInZip(z);
	zipClose(z, nullptr);
	if (err != ZIP_OK) throw std::runtime_error("zip write");
	std::string bytes = read_file_bytes(tmpl);
	std::remove(tmpl);
	return bytes;
}

std::string make_7z_bytes(const std::string& item_name, const std::string& data)
{
	std::vector<char> buf(data.size() + 65536);
	size_t used = 0;
	archive* a = archive_write_new();
	archive_write_set_format_7zip(a);
	if (archive_write_open_memory(a, buf.data(), buf.size(), &used) != ARCHIVE_OK)
		throw std::runtime_error("7z open");
	archive_entry* e = archive_entry_new();
	archive_entry_set_pathname(e, item_name.c_str());
	archive_entry_set_filetype(e, AE_IFREG);
	archive_entry_set_perm(e, 0644);
	archive_entry_set_size(e, (la_int64_t)data.size());
	archive_write_header(a, e);
	if (!data.empty()) archive_write_data(a, data.data(), data.size());
	archive_entry_free(e);
	archive_write_close(a);
	archive_write_free(a);
	return std::string(buf.data(), used);
}

std::string manifest_text(const std::string& top, const std::vector<grab_file>& files)
{
	std::string out = "I\n900 version\nINSTALLER\n\n";
	int disk = 0;
	for (const grab_file& f : files) {
		if (f.disk != disk) {
			disk = f.disk;
			out += "DISK " + std::to_string(disk) + "\n";
		}
		const long kb = f.gone ? 0 : (long)(f.data.size() / 1000);
		out += "FILE 0 " + std::to_string(f.platform) + " " + (f.gone ? "91001" : "900") + " " +
		       std::to_string(kb) + " " + std::to_string(kb) + " " + (f.gone ? "GONE" : md5_hex(f.data)) + " " +
		       top + "/" + f.rel + "\n";
	}
	return out;
}

void write_archives(const std::string& archive_root, const std::string& top, const std::vector<grab_file>& files)
{
	for (const grab_file& f : files) {
		if (f.gone) continue;
		const std::string name = f.rel.substr(f.rel.rfind('/') + 1);
		const bool is_7z = f.rel.find("Global Scenery") != std::string::npos;
		const std::string path = archive_root + top + "/" + f.rel + (is_7z ? ".7z" : ".zip");
		for (size_t p = path.find('/', 1); p != std::string::npos; p = path.find('/', p + 1))
			mkdir(path.substr(0, p).c_str(), 0755);
		write_file_bytes(path, is_7z ? make_7z_bytes(name, f.data) : make_zip_bytes(name, f.data, f.mode, f.mtime, f.link));
	}
}

unsigned file_mode(const std::string& path)
{
	struct stat st{};
	if (lstat(path.c_str(), &st) != 0) return 0;
	return st.st_mode & 07777;
}

std::time_t file_mtime(const std::string& path)
{
	struct stat st{};
	if (lstat(path.c_str(), &st) != 0) return 0;
	return st.st_mtime;
}

}  // namespace vtest
