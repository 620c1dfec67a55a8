#include "Installer-f/utils_tasks.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>
#include <set>

#include "DIzivoz/Files/io_archive.h"
#include "DIzivoz/Files/io_beneath.h"
#include "DIzivoz/Files/io_utils.h"
#include "DIzivoz/GenC/hl_mnw.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/GenH/hl_stg.h"
#include "DIzivoz/Thread/UTL_thread.h"
#include "DIzivoz/UTL/UTL_xtim.h"
#include "Installer-f/utils.h"
#include "Installer-f/utils_dirs.h"
#include "Installer-f/utils_extract.h"
#include "Installer-f/utils_grab.h"

UTL_worker_threads* checksum_workers = nullptr;
UTL_worker_threads* copy_pool = nullptr;
UTL_worker_threads* unzip_pool = nullptr;
int install_err_num = 0;
std::string install_err_msg;

namespace {
int g_processor_override = 0;
// An answer other than 0 that came while a frame was rendered, for the
// page's next call (a further call would not give it again: a failed task is
// gone, a finished pass starts anew).
int held_checksum = 0, held_install = 0;

// Bytes of the archives fed and not yet collected (queued, copied or being
// unpacked).
double copies_kb = 0;

// A stop of the feeding for a fault every later file would meet, from the
// first such task until the tasks in flight have come back.
bool halting = false;
int halt_first = 0;  // first file that failed that way
run_halt halt;       // the first fault seen
run_halt last_halt;  // what the last result 3 was about

// Copies kept after a failed unpack, removed when the run is cancelled or done.
std::set<std::string> kept_copies;
// Unpacked copies, written over by later copies: a new file in the temporary
// folder for every archive, unlinked once unpacked, makes each later create
// slower (the file system skips every recently freed inode). Only small ones:
// a large copy costs far more than its create, and would hold disk space.
std::vector<std::string> spare_copies;
const long long spare_copy_most_bytes = 1 << 20;

void remove_spare_copies()
{
	for (const std::string& c : spare_copies) delete_file(c);
	spare_copies.clear();
}

void remove_kept_copies()
{
	for (const std::string& c : kept_copies) delete_file(c);
	kept_copies.clear();
	remove_spare_copies();
}

// What a failed task's error means for the rest of the run.
local_fault task_fault(const dvd_unpack_task& t)
{
	if (t.copy_failed) {
		const bool disc_present = !dvd_path.empty() && dir_exists(dvd_path + install_name + "/");
		return classify_copy_error(t.error_code, disc_present, temp_path);
	}
	return classify_local_error(t.error_code, dest_dir_path);
}

int pool_threads()
{
	if (g_processor_override > 0) return g_processor_override;
	int n = UTL_count_processors();
	return n > 0 ? n : 1;
}

bool is_md5_text(const std::string& s)
{
	if (s.size() != 32) return false;
	for (char c : s)
		if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
	return true;
}

std::string folder_of(const std::string& path)
{
	size_t slash = path.rfind('/');
	return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

double seconds_now() { return (double)xtim.microsecs() / 1000000.0; }

// The disc's archive into temp, written over what temp holds: a file cut to
// nothing and written again is flushed to the disk when it is closed.
int copy_over(const std::string& source, const std::string& temp, long long* bytes)
{
	std::string src = source, dst = temp;
	set_path_to_full(src);
	set_path_to_full(dst);
	const int in = open(src.c_str(), O_RDONLY | O_CLOEXEC);
	if (in < 0) return ENOENT;
	const int out = open(dst.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
	if (out < 0) {
		close(in);
		return ENOENT;
	}
	struct stat a, b;
	int result = 0;
	if (fstat(in, &a) == 0 && fstat(out, &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino) result = EINVAL;
	std::vector<char> buf(65536);
	off_t total = 0;
	while (result == 0) {
		const ssize_t got = read(in, buf.data(), buf.size());
		if (got < 0 && errno == EINTR) continue;
		if (got < 0) result = errno;
		if (got <= 0) break;
		for (ssize_t done = 0; done < got && result == 0;) {
			const ssize_t w = write(out, buf.data() + done, (size_t)(got - done));
			if (w < 0 && errno == EINTR) continue;
			if (w <= 0) result = w < 0 ? errno : ENOSPC;
			else done += w;
		}
		total += got;
	}
	// What is left of a longer earlier archive goes.
	if (result == 0 && ftruncate(out, total) != 0) result = errno;
	*bytes = total;
	close(in);
	if (close(out) != 0 && result == 0) result = errno;
	return result;
}
}  // namespace

void tasks_set_processor_count(int count) { g_processor_override = count; }

checksum_task::checksum_task(int first_file, int last_file) : first(first_file), last(last_file) {}

void checksum_task::do_it()
{
	for (int f = first; f < last; ++f) {
		const int newest = (int)sim_info[f].size() - 1;
		if (!want_this_f(f, newest)) continue;
		file_version_struct& v = sim_info[f][newest];
		std::string rel = v.path;
		trim_dest_folder(rel);
		std::string have = "NONE";
		if (dest_relative_path_ok(rel)) calc_file_md5(dest_dir_path + rel, have);
		v.sig_have = have;
		v.have_is_want = (v.sig_have == v.sig_want) ? 1 : 0;
	}
}

int checksum_task::check_error(std::string& msg)
{
	msg.clear();
	return 0;
}

dvd_unpack_task::dvd_unpack_task(int file_number, const std::string& temp_folder)
    : file(file_number), copied(false), error_code(0)
{
	const file_version_struct& v = sim_info[file].back();
	const std::string suffix = suffix_for_file(file);
	source = dvd_path + install_name + "/" + v.path + suffix;
	// The signature names the copy only when it is one; anything else from
	// the manifest could reach outside the temporary folder.
	if (is_md5_text(v.sig_want))
		temp = temp_folder + v.sig_want.str() + "_" + std::to_string(file) + suffix;
	else
		temp = temp_folder + std::to_string(file) + suffix;
	std::string rel = v.path;
	trim_dest_folder(rel);
	destination = dest_dir_path + rel;
	if (!dest_relative_path_ok(rel)) {
		error_code = 22;
		error_text = "I was unable to unzip the file " + temp + " to the folder " + folder_of(destination) + ".";
	}
}

dvd_unpack_task::~dvd_unpack_task()
{
	if (stg.log_actions) {
		xer << "EXPANDING file " << destination << ", with result=" << error_code << ".";
		if (error_code != 0) xer << " " << error_text;
		xer << "\n";
	}
}

void dvd_unpack_task::do_it()
{
	if (!copied) {
		copied = true;
		if (error_code != 0) {
			if (!reuse.empty()) delete_file(reuse);
			return;
		}
		// The maker writes a scenery file without a pre-made .7z as .zip: take
		// whichever the disc holds, and keep its suffix for the unpack.
		if (!file_exists(source)) {
			const bool was_7z = source.size() >= 3 && source.compare(source.size() - 3, 3, ".7z") == 0;
			const std::string stem = source.substr(0, source.size() - (was_7z ? 3 : 4));
			const std::string other = stem + (was_7z ? ".zip" : ".7z");
			if (file_exists(other)) {
				source = other;
				temp = temp.substr(0, temp.size() - (was_7z ? 3 : 4)) + (was_7z ? ".zip" : ".7z");
			}
		}
		if (!reuse.empty() && rename(reuse.c_str(), temp.c_str()) != 0) delete_file(reuse);
		error_code = copy_over(source, temp, &copy_bytes);
		if (error_code != 0) {
			// Never an earlier archive under this file's name.
			if (!reuse.empty()) delete_file(temp);
			copy_failed = true;
			error_text = "I was unable to copy the file " + source + " from the DVD to the hard drive.";
		}
		return;
	}
	if (error_code != 0) return;
	const std::string folder = folder_of(destination);
	const bool is_7z = temp.size() >= 3 && temp.compare(temp.size() - 3, 3, ".7z") == 0;
	const bool mac_exec = destination.find("Contents/MacOS/") != std::string::npos;
	const int flags = mac_exec ? extract_executable : 0;
	// The disc's archive is checked against the manifest as it is unpacked.
	const file_version_struct& listed = sim_info[file].back();
	const extract_expect expect = listed_file_expect(destination, listed.sig_want, listed.install_kb);
	set_extract_expect(&expect);
	// Links an earlier release left in the copy never lead a write out of it.
	beneath_root_scope beneath(dest_dir_path);
	int err = is_7z ? p7z_to_file(temp, folder, nullptr, 0, flags) : zip_to_file(temp, folder, nullptr, 0, flags);
	set_extract_expect(nullptr);
	if (err != 0) {
		error_code = err;
		error_text = "I was unable to unzip the file " + temp + " to the folder " + folder + ".";
		return;
	}
	// A link from the archive may point anywhere: its target's mode is not ours to change.
	if (mac_exec && !is_sim_link(destination, nullptr))
		make_file_executable(destination);
	if (copy_bytes <= spare_copy_most_bytes) unpacked = true;
	else delete_file(temp);
	file_version_struct& v = sim_info[file].back();
	v.sig_have = v.sig_want;
	v.have_is_want = 1;
}

int dvd_unpack_task::check_error(std::string& msg)
{
	msg = error_text;
	return error_code;
}

int checksum_directory(int& next_index, float& progress)
{
	const int count = (int)sim_info.size();
	if (!dir_exists(dest_dir_path)) {
		for (auto& history : sim_info) {
			file_version_struct& v = history.back();
			v.sig_have = "NONE";
			v.have_is_want = (v.sig_want == "NONE") ? 1 : 0;
		}
		return 1;
	}
	if (!checksum_workers) {
		// What a killed extraction left is removed before anything is signed.
		if (next_index == 0) remove_extract_leftovers();
		const int n = pool_threads();
		checksum_workers = new UTL_worker_threads(n, 4 * n);
		xer << " Start of MD5 at " << seconds_now() << "\n";
	}
	while (next_index < count && checksum_workers->has_free_slot()) {
		const int n = std::min(10, count - next_index);
		checksum_workers->enqueue_task(new checksum_task(next_index, next_index + n));
		next_index += n;
	}
	while (UTL_work_task* done = checksum_workers->check_retired_tasks()) delete done;
	progress = count ? (float)next_index / (float)count : 0.0f;
	if (next_index >= count && checksum_workers->count_total_tasks() == 0) {
		delete checksum_workers;
		checksum_workers = nullptr;
		xer << " End of MD5 at " << seconds_now() << "\n";
		return 1;
	}
	return 0;
}

void checksum_directory_kill()
{
	held_checksum = 0;
	if (!checksum_workers) return;
	while (UTL_work_task* done = checksum_workers->wait_retired_tasks()) delete done;
	delete checksum_workers;
	checksum_workers = nullptr;
}

int install_files(int& next_index, int disk)
{
	const int count = (int)sim_info.size();
	if (!copy_pool) copy_pool = new UTL_worker_threads(1, dvd_pool_tasks);
	if (!unzip_pool) unzip_pool = new UTL_worker_threads(pool_threads(), dvd_pool_tasks);

	// Last stage first: each finished task frees the slot the stage before it
	// needs, so one call leaves both pools full again.
	while (UTL_work_task* done = unzip_pool->check_retired_tasks()) {
		dvd_unpack_task* t = static_cast<dvd_unpack_task*>(done);
		copies_kb = std::max(0.0, copies_kb - sim_info[t->file].back().download_kb);
		std::string msg;
		const int err = t->check_error(msg);
		if (err != 0 && !t->copy_failed && file_exists(t->temp)) kept_copies.insert(t->temp);
		if (err == 0 && t->unpacked) spare_copies.push_back(t->temp);
		const local_fault kind = err != 0 ? task_fault(*t) : fault_none;
		if (kind != fault_none) {
			// Stop feeding; the file is installed again when the run goes on.
			if (!halting) {
				halting = true;
				halt_first = t->file;
				halt = run_halt();
				halt.kind = kind;
				halt.code = err;
				halt.folder = t->copy_failed ? (kind == fault_disc_gone ? dvd_path : temp_path) : dest_dir_path;
				halt.file = msg;
				xer << "Stopped the run: " << msg << " " << error_str(err) << " (" << err << ")\n" << std::flush;
			}
			halt_first = std::min(halt_first, t->file);
			delete done;
			continue;
		}
		install_err_num = err;
		install_err_msg = msg;
		delete done;
		if (install_err_num != 0) {
			last_halt = run_halt();
			remove_spare_copies();
			return install_failed;
		}
	}
	while (unzip_pool->has_free_slot()) {
		UTL_work_task* copied = copy_pool->check_retired_tasks();
		if (!copied) break;
		unzip_pool->enqueue_task(copied);
	}
	while (next_index < count && !sim_info[next_index].back().install) ++next_index;
	while (!halting && next_index < count && copy_pool->has_free_slot()) {
		const file_version_struct& v = sim_info[next_index].back();
		// Files not to install never hold up the feeding.
		if (v.install) {
			if (v.disk != disk) break;
			if (copies_kb > 0 && copies_kb + v.download_kb > dvd_copies_most_kb) break;
			copies_kb += v.download_kb;
			dvd_unpack_task* t = new dvd_unpack_task(next_index, temp_path);
			if (!spare_copies.empty()) {
				t->reuse = spare_copies.back();
				spare_copies.pop_back();
			}
			copy_pool->enqueue_task(t);
		}
		++next_index;
	}
	const bool idle = copy_pool->count_total_tasks() == 0 && unzip_pool->count_total_tasks() == 0;
	if (halting) {
		if (!idle) return install_busy;
		halting = false;
		next_index = halt_first;
		last_halt = halt;
		remove_spare_copies();
		if (halt.kind == fault_disc_gone) return install_next_disc;
		install_err_num = halt.code;
		install_err_msg = halt.file;
		return install_failed;
	}
	if (next_index >= count && idle) {
		delete copy_pool;
		delete unzip_pool;
		copy_pool = unzip_pool = nullptr;
		copies_kb = 0;
		remove_kept_copies();
		return install_done;
	}
	if (next_index < count && idle) {
		const file_version_struct& v = sim_info[next_index].back();
		if (v.disk != disk && v.install) {
			remove_spare_copies();
			return install_next_disc;
		}
	}
	return install_busy;
}

int install_files_get_error(std::string& msg)
{
	msg = install_err_msg;
	const int err = install_err_num;
	install_err_msg.clear();
	install_err_num = 0;
	return err;
}

namespace {
// The driver again until it answers nonzero or the frame has had its time:
// `now` before the drawing, `later` (which must outlive the page's call)
// while the picture is rendered, its answer kept in held.
template <class Now, class Later>
int driver_frame(int& held, Now now, Later later)
{
	if (held) {
		const int r = held;
		held = 0;
		return r;
	}
	frame_work work([&held, later] {
		usleep(50);
		held = later();
		return held == 0;
	});
	int r;
	while (!(r = now()) && work.more()) usleep(50);
	if (r) frame_work::drop_then();
	return r;
}
}  // namespace

int checksum_directory_frame(int& next_index, float& progress)
{
	// A pass that starts again does not take what the last one left.
	if (next_index == 0) held_checksum = 0;
	int* next = &next_index;
	return driver_frame(
	    held_checksum, [&] { return checksum_directory(next_index, progress); },
	    [next] {
		    float ignored;  // the page reads the progress in its next frame
		    return checksum_directory(*next, ignored);
	    });
}

int install_files_frame(int& next_index, int disk)
{
	if (next_index == 0) held_install = 0;
	int* next = &next_index;
	return driver_frame(
	    held_install, [&] { return install_files(next_index, disk); }, [next, disk] { return install_files(*next, disk); });
}

void install_files_kill()
{
	held_install = 0;
	halting = false;
	if (!copy_pool) {
		remove_kept_copies();
		return;
	}
	// Archives already queued are still copied and unpacked; copies of
	// failed unpacks go with the run.
	while (UTL_work_task* copied = copy_pool->wait_retired_tasks()) unzip_pool->enqueue_task(copied);
	while (UTL_work_task* done = unzip_pool->wait_retired_tasks()) {
		delete_file(static_cast<dvd_unpack_task*>(done)->temp);
		delete done;
	}
	delete copy_pool;
	delete unzip_pool;
	copy_pool = unzip_pool = nullptr;
	copies_kb = 0;
	remove_kept_copies();
}

const run_halt& install_files_halt() { return last_halt; }
