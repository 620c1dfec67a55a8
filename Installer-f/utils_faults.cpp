#include "Installer-f/utils_faults.h"

#include <errno.h>

#include <cstdint>
#include <cstdlib>

#include "DIzivoz/Files/io_utils.h"

namespace {
run_halt g_halt;
// Free space below which a failed write counts as a full disk.
const uint64_t nearly_full_bytes = 1 << 20;
}  // namespace

float retry_delay(int failures)
{
	if (failures <= 0) return 0;
	float d = 1;
	for (int i = 1; i < failures && d < 30; ++i) d *= 2;
	return d > 30 ? 30 : d;
}

void retry_pacer::failed(float now, float jitter)
{
	if (jitter < 0) jitter = 0;
	if (jitter >= 1) jitter = 0.999f;
	++failures;
	next_try = now + retry_delay(failures) * (1.0f - 0.2f * jitter);
}

float retry_jitter() { return (float)(std::rand() / 2147483648.0); }

local_fault classify_local_error(int err, const std::string& folder)
{
	switch (err) {
	case 0: return fault_none;
	case ENOSPC:
	case EDQUOT: return fault_disk_full;
	case EROFS:
	case EACCES:
	case EPERM: return fault_not_writable;
	case EIO:
	case EFBIG:
	case err_zip_write: {
		// Some writers give no reason (a short 7z write): a disk left with
		// next to nothing free is full.
		uint64_t free_bytes = 0;
		if (!folder.empty() && get_free_space(folder + (folder.back() == '/' ? "." : "/."), nullptr, &free_bytes) == 0 &&
		    free_bytes < nearly_full_bytes)
			return fault_disk_full;
		return fault_cannot_write;
	}
	default: break;
	}
	// A folder that went away takes every later file with it; other codes
	// (a damaged archive) are the file's own.
	if (!folder.empty() && !dir_exists(folder)) return fault_folder_gone;
	return fault_none;
}

local_fault classify_copy_error(int err, bool disc_present, const std::string& temp_folder)
{
	if (err == 0) return fault_none;
	if (!disc_present) return fault_disc_gone;
	if (!temp_folder.empty() && !dir_exists(temp_folder)) return fault_folder_gone;
	// Read errors come from the disc's file; only the writing side repeats.
	switch (err) {
	case ENOSPC:
	case EDQUOT: return fault_disk_full;
	case EROFS: return fault_not_writable;
	default: return fault_none;
	}
}

bool grab_halted() { return g_halt.kind != fault_none; }
const run_halt& grab_halt() { return g_halt; }
void grab_halt_set(const run_halt& h) { g_halt = h; }
void grab_halt_clear() { g_halt = run_halt(); }
