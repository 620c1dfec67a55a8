#include "DIzivoz/Files/io_dsf_tile.h"

namespace {

// Sign, then `digits` decimal digits with leading zeros; a digit whose value
// would exceed 9 (an input out of range) is written as '0', so the form
// keeps its width.
void put_signed(char* at, long long v, int digits)
{
	at[0] = v >= 0 ? '+' : '-';
	unsigned long long a = v >= 0 ? (unsigned long long)v : 0ull - (unsigned long long)v;
	unsigned long long place = 1;
	for (int k = 1; k < digits; ++k) place *= 10;
	for (int k = 0; k < digits; ++k, place /= 10) {
		const unsigned long long d = a / place;
		at[1 + k] = d > 9 ? '0' : (char)('0' + d);
		a %= place;
	}
}

}  // namespace

void return_latlon_str_dsf(int lat, int lon, std::string* out)
{
	if (!out) return;
	// Wide, so inputs near the int limits cannot overflow.
	const long long lat10 = ((long long)lat + 90) / 10 * 10 - 90;
	const long long lon10 = ((long long)lon + 180) / 10 * 10 - 180;
	char s[19];
	put_signed(s, lat10, 2);
	put_signed(s + 3, lon10, 3);
	s[7] = '/';
	put_signed(s + 8, lat, 2);
	put_signed(s + 11, lon, 3);
	s[15] = '.';
	s[16] = 'd';
	s[17] = 's';
	s[18] = 'f';
	out->assign(s, 19);
}
