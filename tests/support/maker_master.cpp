#include "tests/support/maker_master.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <stdexcept>

#include "tests/support/grab_release.h"
#include "tests/support/http_server.h"
#include "tests/support/test_files.h"

namespace mtest {

void make_dirs(const std::string& path)
{
	for (size_t i = 1; i <= path.size(); ++i)
		if (i == path.size() || path[i] == '/') mkdir(path.substr(0, i).c_str(), 0755);
}

void write_master(const std::string& root, const std::vector<master_entry>& entries)
{
	for (const master_entry& e : entries) {
		const std::string full = root + e.rel;
		if (!e.rel.empty() && e.rel.back() == '/') {
			make_dirs(full.substr(0, full.size() - 1));
			continue;
		}
		make_dirs(full.substr(0, full.rfind('/')));
		if (e.link) {
			if (symlink(e.data.c_str(), full.c_str()) != 0) throw std::runtime_error("symlink " + full);
		} else {
			vtest::write_file_bytes(full, e.data);
		}
	}
}

std::string pe_exe_bytes()
{
	std::string b(256, '\0');
	b[0] = 'M';
	b[1] = 'Z';
	b[60] = 64;
	b.replace(64, 4, std::string("PE\0\0", 4));
	b[68] = 0x4c;  // i386
	b[69] = 0x01;
	b[pe_flags_offset] = 0x02;
	b[pe_flags_offset + 1] = 0x01;
	return b;
}

std::vector<master_entry> full_master()
{
	return {
	    {"All/Aircraft/Cirrus/c4.acf", vtest::noise(4000, 3)},
	    {"All/Airfoils/naca.afl", "airfoil"},
	    {"All/Custom Scenery/DSF 900 Mars World-Wide/+00+000.dsf", "red planet"},
	    {"All/Custom Scenery/readme.txt", "custom"},
	    {"All/Global Scenery/-global terrain-/+40-120.dsf", "tile bytes"},
	    {"All/Global Scenery/-global terrain-/+40-120.dsf.7z", vtest::make_7z_bytes("+40-120.dsf", "tile bytes")},
	    {"All/Instructions/Manual.txt", "read me"},
	    {"All/Output/"},
	    {"All/Resources/.hidden", "never listed"},
	    {"All/Resources/Thumbs.db", "refused by name"},
	    {"All/Resources/bitmaps/Earth Orbit Textures/e.png", "orbit"},
	    {"All/Resources/dangling", "nowhere/at/all", true},
	    {"All/Resources/default scenery/900 red terrain/r.txt", "red"},
	    {"All/Resources/empty.txt", ""},
	    {"All/Resources/folder_link", "menus", true},
	    {"All/Resources/link_to_menu", "menus/English/Ventora.txt", true},
	    {"All/Resources/menus/English/Ventora.txt", "menus"},
	    {"All/Resources/plugins/PluginAdminMac.vnp", "admin"},
	    {"All/Resources/plugins/readme.txt", "plug"},
	    {"All/Resources/plugins/VNTM.dll", "dll"},
	    {"All/Resources/plugins/VNTM.so", "so"},
	    {"All/Resources/preferences/Ventora.prf", "prefs"},
	    {"All/Resources/text/English/Ventora.txt", "text"},
	    {"All/Weapons/gun.wpn", "bang"},
	    {"Linux/Ventora", "#!/bin/sh\necho fly\n"},
	    {"Macintosh/tool.exe", pe_exe_bytes()},
	    {"Macintosh/Ventora.app/Contents/MacOS/Ventora", "mac binary"},
	    {"Windows/Ventora.exe", pe_exe_bytes()},
	};
}

void make_sparse(const std::string& path, int64_t size)
{
	const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
	if (fd < 0 || ftruncate(fd, (off_t)size) != 0) throw std::runtime_error("sparse " + path);
	close(fd);
}

int64_t size_of(const std::string& path)
{
	struct stat st;
	return lstat(path.c_str(), &st) == 0 ? (int64_t)st.st_size : -1;
}

}  // namespace mtest
