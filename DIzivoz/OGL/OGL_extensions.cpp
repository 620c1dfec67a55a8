#include "DIzivoz/OGL/OGL_extensions.h"

#include "DIzivoz/GenC/hl_alert.h"

OGL_extensions glExt;

// Worker threads never get a loader context here: the capability probe would
// withdraw the permission before any worker is made.
OGL_extensions::OGL_extensions() : threaded_avail(0) {}

void OGL_extensions::threaded_ogl_failed()
{
	if (threaded_avail == 0) return;
	threaded_avail = 0;
	__MACIBM_alert(0, "There was a problem setting up OpenGL.",
	               "You can still fly, but you may experience pauses during flight while scenery loads.",
	               "", "(Please send your log.txt file to Tarnwick for debugging purposes.)",
	               alert_warning, "DIzivoz/OGL/OGL_extensions", 637);
}
