#include "tests/support/found_units.h"

#include "DIzivoz/GenH/hl_prefix.h"

namespace {
// Initialised before every object of the program except the constants.
struct early_reader {
	found_early_view early;
	early_reader()
	{
		early.build_name0 = build_name[0];
		early.build_name2 = build_name[2];
		early.no_install_name = no_install_name;
		early.acf_path_def = acf_path_def;
		early.degtorad = degtorad;
		early.radtodeg = radtodeg;
	}
} reader __attribute__((init_priority(102)));
}  // namespace

const found_early_view& found_seen_during_static_init() { return reader.early; }
