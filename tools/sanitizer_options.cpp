// Linked straight into every executable of a sanitizer build, so the options
// hold for anyone who runs a test or a program directly, not only under
// scripts/test.sh. Weak: a test with options of its own defines a strong one.
#include "tools/sanitizer_options.h"

extern "C" __attribute__((weak, visibility("default"))) const char* __asan_default_options()
{
	return VENTORA_ASAN_TLS_OPTION;
}
