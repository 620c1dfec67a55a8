#include "Installer-f/utils_extract.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <deque>
#include <vector>
#include <cerrno>

#include "DIzivoz/Files/io_archive.h"
#include "DIzivoz/Files/io_utils.h"
#include "DIzivoz/GenC/hl_alert.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/GenH/hl_stg.h"
#include "DIzivoz/Thread/UTL_thread.h"
#include "DIzivoz/Thread/UTL_worker_threads.h"
#include "DIzivoz/UTL/UTL_translate.h"

namespace {
const char* const kSource = "Installer-f/utils";

bool ends_with(const std::string& s, const char* tail)
{
	const size_t n = std::char_traits<char>::length(tail);
	return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

bool is_mac_exec(const std::string& destination) { return destination.find("Contents/MacOS/") != std::string::npos; }

// Set while the pool is being ended: running extractions stop, queued ones are skipped.
std::atomic<bool> g_stopping{false};

class extract_task : public UTL_work_task {
public:
	explicit extract_task(extract_job j) : job(std::move(j)) {}
	~extract_task() override
	{
		if (job.fd >= 0) close(job.fd);
	}
	void do_it() override
	{
		if (g_stopping.load()) return;
		set_extract_cancel(&g_stopping);
		extract_job_run(job);
		set_extract_cancel(nullptr);
	}
	int check_error(std::string& msg) override
	{
		msg.clear();
		return job.error;
	}
	extract_job job;
};

UTL_worker_threads* g_pool = nullptr;
// Handed over, not yet given to the pool: they go together at the next flush.
std::vector<UTL_work_task*> g_pending;
// Taken back from the pool, not yet collected.
std::deque<extract_task*> g_done;

// File creation, not decompression, bounds an extraction; a few threads
// keep up with every stream while leaving the processor to the rest.
int pool_threads()
{
	const int n = UTL_count_processors() - 1;
	return n < 1 ? 1 : n > 4 ? 4 : n;
}
}  // namespace

extract_job extract_job_take(int file, const std::string& archive, const std::string& destination, int fd,
                             bool recycle, long long size)
{
	extract_job job;
	job.file = file;
	job.archive = archive;
	job.destination = destination;
	job.fd = fd;
	if (recycle && fd >= 0) {
		job.recycle = true;
		job.size = size;
		return job;
	}
	if (job.fd < 0) {
		std::string path = archive;
		set_path_to_full(path);
		job.fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
		if (job.fd < 0) job.open_error = errno;
	}
	delete_file(archive);
	return job;
}

void extract_job_run(extract_job& job)
{
	std::string folder = job.destination;
	if (!folder.empty() && folder.back() == '/') folder.pop_back();
	const size_t slash = folder.rfind('/');
	folder = slash == std::string::npos ? std::string() : folder.substr(0, slash + 1);

	// The archive layer refuses entry names that would leave the folder, and
	// gives an application's executable its mode before it is put in place.
	const bool mac_exec = is_mac_exec(job.destination);
	const int flags = mac_exec ? extract_executable : 0;
	if (ends_with(job.archive, ".7z"))
		job.error = job.fd >= 0 ? p7z_fd_to_file(job.fd, folder, flags) : job.open_error;
	else
		job.error = zip_fd_to_file(job.fd, job.archive, folder, flags);
	job.chmod_error = 0;
	// A link from the archive may point anywhere: its target's mode is not ours to change.
	if (mac_exec && !is_sim_link(job.destination, nullptr)) job.chmod_error = make_file_executable(job.destination);
	if (job.fd >= 0 && !job.recycle) {
		close(job.fd);
		job.fd = -1;
	}
	// Emptied here, off the download loop, before the file is used again.
	if (job.fd >= 0 && job.recycle && ftruncate(job.fd, 0) == 0) job.size = 0;
}

void extract_job_report(const extract_job& job, bool stopped_run)
{
	if (job.error != 0 && !stopped_run) {
		stg.install_problems = 1;
		__MACIBM_alert(0, UTL_translate_string("The installer cannot extract a file."),
		               UTL_translate_string("Error: ") + error_str(job.error),
		               UTL_translate_string("Compressed File: ") + job.archive,
		               UTL_translate_string("Destination: ") + job.destination, alert_warning, kSource, 2391);
	}
	if (stg.log_actions) {
		xer << "EXPANDING file " << job.destination << ", with result=" << job.error << ".\n";
		xer << "CHMODING  file " << job.destination << ", with result=" << job.chmod_error << ".\n";
	}
}

bool extract_pool_submit(extract_job& job)
{
	if (!g_pool) {
		const int threads = pool_threads();
		// Room for a few archives a thread: enough to keep every thread busy
		// between two passes of the download loop, few open descriptors.
		g_pool = new UTL_worker_threads(threads, 4 * threads);
	}
	if (g_pool->free_slots() <= (int)g_pending.size()) return false;
	g_pending.push_back(new extract_task(std::move(job)));
	job = extract_job();
	return true;
}

void extract_pool_flush(size_t at_least)
{
	if (!g_pool || g_pending.empty() || g_pending.size() < at_least) return;
	g_pool->enqueue_tasks(g_pending);
	g_pending.clear();
}

bool extract_pool_collect(extract_job& out)
{
	if (!g_pool) return false;
	if (g_done.empty()) {
		std::vector<UTL_work_task*> got;
		g_pool->check_retired_tasks(got);
		for (UTL_work_task* t : got) g_done.push_back(static_cast<extract_task*>(t));
	}
	if (g_done.empty()) return false;
	extract_task* done = g_done.front();
	g_done.pop_front();
	out = std::move(done->job);
	done->job.fd = -1;
	delete done;
	return true;
}

int extract_pool_outstanding()
{
	return g_pool ? g_pool->count_total_tasks() + (int)g_pending.size() + (int)g_done.size() : 0;
}

void extract_pool_stop()
{
	if (!g_pool) return;
	g_stopping.store(true);
	for (UTL_work_task* t : g_pending) delete t;
	g_pending.clear();
	for (extract_task* t : g_done) delete t;
	g_done.clear();
	while (UTL_work_task* t = g_pool->wait_retired_tasks()) delete t;
	delete g_pool;
	g_pool = nullptr;
	g_stopping.store(false);
}
