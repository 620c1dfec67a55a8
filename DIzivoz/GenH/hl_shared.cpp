#include "DIzivoz/GenH/hl_shared.h"

#include <cmath>
#include <cstdint>

#include "DIzivoz/GenH/hl_prefix.h"

namespace {
alignas(16) unsigned char scratch_array_storage[scratch_array_bytes + 16];
}

unsigned char* scratch_array = nullptr;
int scratch_dx = 0, scratch_dy = 0;
int ogl_inited = 0;
int plot_init_lights = 0;
float randrat[10000];
float lookup_sin[361], lookup_cos[361];

void MACIBM_alloc_scratch()
{
	uintptr_t p = reinterpret_cast<uintptr_t>(scratch_array_storage);
	scratch_array = reinterpret_cast<unsigned char*>((p + 15) & ~uintptr_t(15));
}

void MACIBM_fill_lookup()
{
	for (int d = 0; d <= 360; ++d) {
		lookup_sin[d] = sinf((float)d * degtorad);
		lookup_cos[d] = cosf((float)d * degtorad);
	}
}
