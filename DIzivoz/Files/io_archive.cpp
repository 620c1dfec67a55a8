#include "DIzivoz/Files/io_archive.h"
#include "DIzivoz/Files/io_archive_parts.h"
#include "DIzivoz/Files/io_beneath.h"

#include <fcntl.h>
#include <md5.h>
#include <sys/stat.h>
#include <unistd.h>

#include <sys/random.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <new>
#include <set>
#include <vector>

#include "DIzivoz/Files/io_utils.h"
#include "DIzivoz/GenH/hl_globals.h"

// What every format's extraction shares: the thread's cancel flag and
// expectation, files made under temporary names, entry-name checks; and the
// MD5 signatures of files.

using namespace io_archive_parts;

namespace {

// Names of temporary files: a generator per thread, seeded once, so that
// naming a file costs no system call.
uint64_t random64()
{
	thread_local uint64_t state = 0;
	if (state == 0) {
		static std::atomic<uint64_t> counter{0};
		uint64_t seed = 0;
		if (getrandom(&seed, sizeof(seed), GRND_NONBLOCK) != sizeof(seed))
			seed = (uint64_t(getpid()) << 40) ^ uint64_t(time(nullptr));
		state = (seed ^ (counter.fetch_add(1) * 0x9e3779b97f4a7c15ull)) | 1;
	}
	// splitmix64
	uint64_t z = (state += 0x9e3779b97f4a7c15ull);
	z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
	z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
	return z ^ (z >> 31);
}

// The process's file-creation mask, read once; -1 when unknown. A file
// created with a mode the mask leaves whole needs no fchmod afterwards.
int process_umask()
{
	static const int mask = [] {
		int m = -1;
		if (FILE* f = fopen("/proc/self/status", "re")) {
			char line[256];
			while (fgets(line, sizeof(line), f))
				if (strncmp(line, "Umask:", 6) == 0) {
					m = static_cast<int>(strtol(line + 6, nullptr, 8));
					break;
				}
			fclose(f);
		}
		return m;
	}();
	return mask;
}

// Extractions of this thread stop at their next piece once this is set.
thread_local const std::atomic<bool>* tl_cancel = nullptr;

std::string md5_text(const unsigned char digest[MD5_DIGEST_LENGTH]);

// The caller's expectation for this thread's extraction, and how far it got.
struct expect_state {
	const extract_expect* want = nullptr;
	uint64_t written = 0;  // file bytes of the archive so far
	bool made = false;     // the listed file was signed
};
thread_local expect_state tl_expect;

std::vector<std::string> split_components(const std::string& rel)
{
	std::vector<std::string> out;
	size_t start = 0;
	for (;;) {
		size_t slash = rel.find('/', start);
		out.push_back(rel.substr(start, slash == std::string::npos ? std::string::npos : slash - start));
		if (slash == std::string::npos) break;
		start = slash + 1;
	}
	return out;
}

bool signing(const std::string& dest)
{
	return tl_expect.want && !tl_expect.want->md5.empty() && dest == tl_expect.want->path;
}

}  // namespace

namespace io_archive_parts {

int fail_at(int line, int code)
{
	sErrFile = io_utils_src;
	sErrLine = line;
	return code;
}

// A buffer of this thread kept from file to file (slot 0 for data pieces, 1
// for archive windows): a large block allocated and freed per file makes the
// allocator hand pages back, and every thread of the process then pays for
// the change of the address space. Null when memory ran out.
char* thread_buffer(int slot, size_t n)
{
	thread_local std::unique_ptr<char[]> bufs[2];
	thread_local size_t caps[2] = {0, 0};
	if (caps[slot] < n) {
		bufs[slot].reset(new (std::nothrow) char[n]);
		caps[slot] = bufs[slot] ? n : 0;
	}
	return bufs[slot].get();
}

int write_all(int fd, const char* p, size_t n)
{
	while (n > 0) {
		ssize_t w = write(fd, p, n);
		if (w < 0) {
			if (errno == EINTR) continue;
			return errno;
		}
		if (w == 0) return EIO;
		p += w;
		n -= static_cast<size_t>(w);
	}
	return 0;
}

bool cancelled() { return tl_cancel && tl_cancel->load(std::memory_order_relaxed); }

void expect_begin()
{
	tl_expect.written = 0;
	tl_expect.made = false;
}

bool within_bound(uint64_t n)
{
	tl_expect.written += n;
	return !tl_expect.want || tl_expect.want->max_bytes == 0 || tl_expect.written <= tl_expect.want->max_bytes;
}

bool past_bound(uint64_t size)
{
	return tl_expect.want && tl_expect.want->max_bytes && tl_expect.written + size > tl_expect.want->max_bytes;
}

entry_signer::entry_signer(const std::string& dest) : on_(signing(dest))
{
	if (on_) MD5Init(&ctx_);
}

void entry_signer::add(const char* p, size_t n)
{
	if (on_) MD5Update(&ctx_, reinterpret_cast<const unsigned char*>(p), n);
}

int entry_signer::check()
{
	if (!on_) return 0;
	on_ = false;
	tl_expect.made = true;
	unsigned char d[MD5_DIGEST_LENGTH];
	MD5Final(d, &ctx_);
	return md5_text(d) == tl_expect.want->md5 ? 0 : err_signature_mismatch;
}

int expect_end(int err)
{
	if (err == 0 && tl_expect.want && !tl_expect.want->md5.empty() && !tl_expect.made) {
		xer << "The archive holds no " << tl_expect.want->path << ".\n";
		return err_signature_mismatch;
	}
	return err;
}

temp_out::~temp_out()
{
	discard();
	close_dir();
}

int temp_out::create_file(const std::string& dest, mode_t mode)
{
	const int mask = process_umask();
	mode_set_ = mask >= 0 && (mode & static_cast<mode_t>(mask)) == 0;
	return make(dest, [this, mode](int dir, const char* p) {
		fd_ = ::openat(dir, p, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
		return fd_ >= 0 ? 0 : errno;
	});
}

int temp_out::create_link(const std::string& dest, const std::string& text)
{
	return make(dest, [&text](int dir, const char* p) { return symlinkat(text.c_str(), dir, p) == 0 ? 0 : errno; });
}

int temp_out::close_file()
{
	if (fd_ < 0) return 0;
	int rc = ::close(fd_) == 0 ? 0 : errno;
	fd_ = -1;
	return rc;
}

int temp_out::commit()
{
	int rc = close_file();
	if (rc == 0 && renameat(dir_, tmp_name_.c_str(), dir_, dest_name_.c_str()) != 0) rc = errno;
	if (rc == 0) path_.clear();
	return rc;
}

void temp_out::discard()
{
	if (fd_ >= 0) ::close(fd_);
	fd_ = -1;
	if (!path_.empty()) unlinkat(dir_, tmp_name_.c_str(), 0);
	path_.clear();
}

void temp_out::close_dir()
{
	if (dir_ >= 0) ::close(dir_);
	dir_ = AT_FDCWD;
}

template <class F>
int temp_out::make(const std::string& dest, F make_at)
{
	discard();
	close_dir();
	dest_ = dest;
	size_t slash = dest.rfind('/');
	std::string folder = slash == std::string::npos ? std::string() : dest.substr(0, slash + 1);
	std::string in_dir = folder;  // what names the folder relative to dir_
	dest_name_ = dest;
	if (const std::string* root = beneath_root()) {
		int dir = -1;
		if (int rc = beneath_open_parent(*root, dest, dir, &dest_name_)) return rc;
		dir_ = dir;
		in_dir.clear();
	}
	for (int tries = 0; tries < 64; ++tries) {
		char hex[17];
		snprintf(hex, sizeof(hex), "%016llx", static_cast<unsigned long long>(random64()));
		std::string name = in_dir + extract_temp_prefix + hex;
		int rc = make_at(dir_, name.c_str());
		if (rc == EEXIST) continue;
		if (rc == 0) {
			tmp_name_ = name;
			path_ = folder + extract_temp_prefix + hex;
		}
		return rc;
	}
	return EEXIST;
}

bool leaves_root(const std::string& path)
{
	const std::string* root = beneath_root();
	if (!root) return false;
	int dir = -1;
	const int rc = beneath_open_parent(*root, path, dir, nullptr);
	if (dir >= 0) close(dir);
	return rc == err_archive_escape;
}

std::string link_key(const std::string& rel)
{
	std::string key;
	for (const std::string& c : split_components(rel)) {
		if (c.empty() || c == ".") continue;
		if (!key.empty()) key += '/';
		key += c;
	}
	return key;
}

bool escapes_folder(const std::string& rel, const std::set<std::string>& made_links)
{
	if (!rel.empty() && rel[0] == '/') return true;
	if (rel.find('\0') != std::string::npos) return true;  // the system would see a shorter name
	std::vector<std::string> parts = split_components(rel);
	std::string prefix;
	for (size_t i = 0; i < parts.size(); ++i) {
		if (parts[i] == "..") return true;
		if (i + 1 == parts.size()) break;  // the last component itself is replaced, not passed through
		if (parts[i].empty() || parts[i] == ".") continue;
		if (!prefix.empty()) prefix += '/';
		prefix += parts[i];
		if (made_links.count(prefix)) return true;
	}
	return false;
}

int refuse_entry(const std::string& name, const std::string& out_dir, int line)
{
	xer << "Zip to file refused the entry " << name << ": it would be written outside " << out_dir << ".\n";
	return fail_at(line, err_archive_escape);
}

bool read_link_text(const std::string& path, std::string& text)
{
	struct stat st;
	if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return false;
	std::vector<char> buf(PATH_MAX + 1);
	ssize_t n = readlink(path.c_str(), buf.data(), buf.size());
	if (n < 0) return false;
	text.assign(buf.data(), static_cast<size_t>(n));
	return true;
}

}  // namespace io_archive_parts

namespace {

std::string md5_text(const unsigned char digest[MD5_DIGEST_LENGTH])
{
	static const char hex[] = "0123456789abcdef";
	std::string out(32, '0');
	for (int i = 0; i < MD5_DIGEST_LENGTH; ++i) {
		out[2 * i] = hex[digest[i] >> 4];
		out[2 * i + 1] = hex[digest[i] & 15];
	}
	return out;
}

std::string md5_hex(const unsigned char* data, uint64_t size)
{
	MD5_CTX ctx;
	MD5Init(&ctx);
	MD5Update(&ctx, data, static_cast<size_t>(size));
	unsigned char digest[MD5_DIGEST_LENGTH];
	MD5Final(digest, &ctx);
	return md5_text(digest);
}

// Signs a regular file read in pieces: unlike a mapping, a file shortened by
// someone else meanwhile cannot fault the process, and many threads signing at
// once do not contend on the address space. 20006 for nothing to read.
int md5_of_file(const std::string& path, std::string& digest)
{
	int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
	if (fd < 0) return err_file_open_read;
	struct stat st;
	if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0) {
		close(fd);
		return err_file_open_read;
	}
	posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
	const size_t chunk = size_t(128) << 10;
	std::unique_ptr<unsigned char[]> buf(new (std::nothrow) unsigned char[chunk]);
	if (!buf) {
		close(fd);
		return err_file_open_read;
	}
	MD5_CTX ctx;
	MD5Init(&ctx);
	uint64_t total = 0;
	for (;;) {
		ssize_t n = read(fd, buf.get(), chunk);
		if (n < 0 && errno == EINTR) continue;
		if (n < 0) {
			close(fd);
			return err_file_open_read;
		}
		if (n == 0) break;
		MD5Update(&ctx, buf.get(), static_cast<size_t>(n));
		total += static_cast<uint64_t>(n);
	}
	close(fd);
	if (total == 0) return err_file_open_read;
	unsigned char d[MD5_DIGEST_LENGTH];
	MD5Final(d, &ctx);
	digest = md5_text(d);
	return 0;
}

}  // namespace

const char* const extract_temp_prefix = ".ventora-part-";

bool is_extract_temp_name(const std::string& name)
{
	const size_t n = strlen(extract_temp_prefix);
	if (name.size() != n + 16 || name.compare(0, n, extract_temp_prefix) != 0) return false;
	for (size_t i = n; i < name.size(); ++i)
		if (!((name[i] >= '0' && name[i] <= '9') || (name[i] >= 'a' && name[i] <= 'f'))) return false;
	return true;
}

namespace {
std::atomic<crash_point_hook> g_crash_hook{nullptr};
}

void set_crash_point_hook(crash_point_hook hook) { g_crash_hook.store(hook); }

void set_extract_cancel(const std::atomic<bool>* flag) { tl_cancel = flag; }
void set_extract_expect(const extract_expect* expect) { tl_expect.want = expect; }
bool extract_cancel_requested() { return cancelled(); }

void crash_point(const char* point, const std::string& path)
{
	if (crash_point_hook hook = g_crash_hook.load(std::memory_order_relaxed)) hook(point, path);
}

int calc_file_md5(const std::string& path_in, std::string& digest)
{
	std::string path = path_in;
	set_path_to_full(path);
	std::string text;
	if (read_link_text(path, text)) {
		digest = md5_hex(reinterpret_cast<const unsigned char*>(text.data()), text.size());
		return 0;
	}
	return md5_of_file(path, digest);
}
