#include <algorithm>
#include <cmath>
#include <string>

#include "DIzivoz/OOPS_cpp/oglp_2d.h"

// Digit at `place` of a rounded value, computed on the double so values of
// 2^31 and up keep their digits; NaN and infinity give '0'.
char OGL_number_digit(double rounded, int place)
{
	double d = fmod(floor(rounded / pow(10.0, (double)place)), 10.0);
	if (!std::isfinite(d) || d < 0 || d > 9) return '0';
	return (char)('0' + (int)d);
}

OGL_number_parts OGL_number_split(float value, int decimals)
{
	OGL_number_parts p;
	p.a = fabs((double)value);
	p.scaled = (float)(p.a * pow(10.0, (double)decimals));
	p.rounded = (double)p.scaled + 0.5;
	p.neg = value < 0 && p.scaled > 0.1f;
	return p;
}

std::string OGL_number_text(float value, int digits, int decimals)
{
	OGL_number_parts p = OGL_number_split(value, decimals);
	const int n = digits - decimals;
	std::string text = p.neg ? "-" : "";
	const float s = p.scaled;
	int N = s > 1000000000.0f ? 10
	      : s > 100000000.0f  ? 9
	      : s > 9999999.0f    ? 8
	      : s > 999999.0f     ? 7
	      : s > 99999.0f      ? 6
	      : s > 9999.0f       ? 5
	      : s > 999.0f        ? 4
	      : s > 99.0f         ? 3
	      : s > 9.0f          ? 2
	                          : 1;
	if (digits < std::max(N, decimals + 1)) {
		double a = p.a;
		int e = 2;
		double m = 0;
		bool finite = std::isfinite(a);
		if (finite) {
			while (a >= 999) {
				e = e + 1;
				a = a / 10;
			}
			m = round(a);
		}
		auto dig = [&](double v) {
			double d = fmod(v, 10.0);
			return (!finite || d < 0 || d > 9) ? '0' : (char)('0' + (int)d);
		};
		text += dig(floor(m / 100));
		text += '.';
		text += dig(floor(m / 10));
		text += dig(m);
		text += 'x';
		text += (finite && e >= 0 && e <= 9) ? (char)('0' + e) : '0';
		return text;
	}
	int r = n;
	for (int place = digits - 1; place >= 0; --place) {
		if (place + 1 == decimals && n > 0) text += '.';
		if ((r == 3 && n > 3) || (r == 6 && n > 6) || (r == 9 && n > 9)) text += ',';
		text += OGL_number_digit(p.rounded, place);
		--r;
	}
	return text;
}

