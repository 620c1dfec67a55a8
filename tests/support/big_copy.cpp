#include "tests/support/big_copy.h"

#include <sys/stat.h>

#include <ctime>

#include "tests/support/grab_release.h"
#include "tests/support/http_server.h"
#include "tests/support/maker_master.h"

namespace vtest {

std::string make_big_copy(http_server& server, const std::string& host, const std::string& top,
                          const std::string& dest, int count, int64_t size)
{
	mtest::make_dirs(dest + "Resources/bulk/");
	for (const char* f : {"Airfoils", "Instructions", "Output"}) mkdir((dest + f).c_str(), 0755);
	const std::string sig = md5_hex(std::string((size_t)size, '\0'));
	const std::string kb = std::to_string(size / 1000);
	std::string text = "I\n900 version\nINSTALLER\n\n";
	for (int i = 0; i < count; ++i) {
		const std::string folder = "Resources/bulk/" + std::to_string(i / 100) + "/";
		if (i % 100 == 0) mkdir((dest + folder).c_str(), 0755);
		const std::string rel = folder + "f" + std::to_string(i) + ".dat";
		mtest::make_sparse(dest + rel, size);
		if (mtest::size_of(dest + rel) != size) return "cannot write " + dest + rel;
		text += "FILE 0 0 900 " + kb + " " + kb + " " + sig + " " + top + "/" + rel + "\n";
	}
	server.put_file(host, "/" + top + "/directory.txt.zip", make_zip_bytes("directory.txt", text, 0644, 1700000000, false));
	return "";
}

}  // namespace vtest
