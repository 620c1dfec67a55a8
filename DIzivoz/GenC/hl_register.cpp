// The shell's side of the report seam. This unit is linked into every program
// that links the library (not only pulled from the archive when named), so
// the shell is wired before main: an alert raised before start-up is shown
// as the shell shows it, and a frame request is never lost.
#include "DIzivoz/GenC/hl_alert.h"
#include "DIzivoz/GenC/hl_init.h"
#include "DIzivoz/GenC/hl_mnw.h"
#include "DIzivoz/OGL/OGL_extensions.h"
#include "DIzivoz/OOPS_cpp/butn_keys.h"
#include "DIzivoz/Thread/hl_report.h"
#include "DIzivoz/Thread/hl_thread.h"

void MACIBM_register_shell()
{
	REPORT_set_presenter(MACIBM_present_alert);
	REPORT_set_finisher(MACIBM_finishup);
	REPORT_set_frame_requests(frame_requests{MACIBM_pace_busy, MACIBM_pace_animate, MACIBM_pace_wake,
	                                         [](int type) { MACIBM_startwind(type, 0); }, MACIBM_event_proc,
	                                         MACIBM_show_init});
	// Threads started to share OpenGL get their context from the shell's window.
	THREAD_set_gl_sharing(thread_gl_sharing{[] { return glExt.threaded_avail != 0; }, MACIBM_make_context_loader,
	                                        MACIBM_set_context_loader, [] { glExt.threaded_ogl_failed(); }});
	MACIBM_handleclick_target = MACIBM_handleclick;
}

namespace {
const struct register_at_load {
	register_at_load() { MACIBM_register_shell(); }
} registered;
}  // namespace
