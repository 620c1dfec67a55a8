// 2-D primitives and numbers: the number texts as a table, and the calls
// each primitive makes, read through the recorder.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "DIzivoz/OOPS_cpp/oglp_2d.h"

TEST(OglNumber, TextPathDigitsSignsPointsCommasAndOverflow)
{
	const float inf = std::numeric_limits<float>::infinity();
	const float nan = std::numeric_limits<float>::quiet_NaN();
	struct row {
		float value;
		int digits, decimals;
		const char* text;
	};
	const row rows[] = {
	    {-0.04f, 3, 1, "-00.0"},        // shows as non-zero: signed, leading zeros
	    {-0.004f, 3, 1, "00.0"},        // shows as zero: no sign
	    {0, 3, 1, "00.0"},
	    {1000, 3, 0, "1.00x3"},         // too many places
	    {123456, 3, 0, "1.23x5"},
	    {5, 1, 1, "0.05x2"},            // no room for the decimal
	    {12.5f, 4, 2, "12.50"},
	    {1234567, 7, 0, "1,234,567"},
	    {-1234.5f, 6, 1, "-01,234.5"},
	    {3e9f, 10, 0, "3,000,000,000"},  // past 2^31: true digits
	    {2147483648.0f, 10, 0, "2,147,483,648"},
	    {inf, 3, 0, "0.00x0"},           // never loops, every digit '0'
	    {-inf, 3, 0, "-0.00x0"},
	    {inf, 10, 0, "0,000,000,000"},
	    {nan, 3, 1, "00.0"},
	    {7, 0, 0, "0.07x2"},           // no places at all
	};
	for (const row& r : rows) {
		SCOPED_TRACE(std::to_string(r.value) + " " + std::to_string(r.digits) + "." +
		             std::to_string(r.decimals));
		EXPECT_EQ(OGL_number_text(r.value, r.digits, r.decimals), r.text);
	}
}
