// Scenery library: package discovery, library files, scenery error reports,
// registry lookups and the file searches beside them.
#include "DIzivoz/Files/io_locate.h"

#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <unordered_map>

#include "DIzivoz/Files/io_utils.h"
#include "DIzivoz/Thread/hl_report.h"
#include "DIzivoz/GenH/hl_shared.h"
#include "DIzivoz/GenH/hl_globals.h"
#include "DIzivoz/OOPS_cpp/xmap.h"
#include "DIzivoz/Files/io_locate_bitmap.h"

std::vector<std::string> scenery_packages;
std::vector<int> package_problems;
std::vector<int> package_is_custom;
const unsigned char DSF_no_cells[64800] = {};

namespace {

const char* const io_locate_src = "DIzivoz/Files/io_locate";

const char* const cus_path = "Custom Scenery/";
const char* const glb_path = "Global Scenery/";
const char* const def_path = "Resources/default scenery/";
const char* const obj_path = "Resources/objects/";
const char* const def_ovr_str = "-global overlays-";
const char* const def_ter_str = "-global terrain-";

// Source lines the reports name: each site has its own.
enum {
	line_nonfatal_alert = 310,
	line_fatal_alert = 352,
	line_bad_header = 401,
	line_ratio = 455,
	line_region_unknown = 470,
	line_region_twice = 482,
	line_region_cap = 489,
	line_rect_no_region = 497,
	line_rect_range = 509,
	line_bitmap_no_region = 524,
	line_bitmap_missing = 533,
	line_bitmap_size = 538
};

// A Multiple lookup builds at most about this many strings.
const uint64_t multiple_list_cap = 10000;

const size_t cells_per_region = sizeof(DSF_no_cells);
// Different cell sets held at once (64800 bytes each, about 33 MB in all);
// real scenery defines a handful per package.
const size_t region_block_cap = 512;

std::map<std::string, lib_entry*> dsf_library;
std::map<std::string, lib_region*> dsf_regions;
// Every region a scan made and an entry refers to, each freed once with the
// registry (many entries share one region).
std::vector<lib_region*> dsf_region_store;

// The distinct cell sets of the regions, found again by a hash of their
// bytes. A region points into one of these, or at DSF_no_cells.
std::vector<std::unique_ptr<unsigned char[]>> dsf_cell_blocks;
std::unordered_multimap<uint64_t, const unsigned char*> dsf_cell_index;

// Eight cells at a time (64800 is a multiple of 8).
uint64_t cells_hash(const unsigned char* c)
{
	uint64_t h = 14695981039346656037ull;
	for (size_t k = 0; k < cells_per_region; k += 8) {
		uint64_t w;
		std::memcpy(&w, c + k, 8);
		h = (h ^ w) * 1099511628211ull;
		h ^= h >> 29;
	}
	return h;
}

void index_block(const unsigned char* b) { dsf_cell_index.emplace(cells_hash(b), b); }

// Keeps only the blocks that a kept region points at.
void drop_unused_blocks()
{
	std::vector<const unsigned char*> live;
	for (const lib_region* r : dsf_region_store) live.push_back(r->cells.block);
	std::sort(live.begin(), live.end());
	std::vector<std::unique_ptr<unsigned char[]>> kept;
	for (auto& b : dsf_cell_blocks)
		if (std::binary_search(live.begin(), live.end(), (const unsigned char*)b.get())) kept.push_back(std::move(b));
	dsf_cell_blocks.swap(kept);
	dsf_cell_index.clear();
	for (auto& b : dsf_cell_blocks) index_block(b.get());
}

void free_regions_of_file(const std::vector<lib_region*>& made, const std::vector<bool>& used)
{
	for (size_t k = 0; k < made.size(); ++k) {
		if (used[k]) dsf_region_store.push_back(made[k]);
		else delete made[k];
	}
}

void clear_registry()
{
	for (auto& chain : dsf_library) {
		lib_entry* e = chain.second;
		while (e) {
			lib_entry* next = e->next;
			delete e;
			e = next;
		}
	}
	dsf_library.clear();
	dsf_regions.clear();
	for (lib_region* r : dsf_region_store) delete r;
	dsf_region_store.clear();
	dsf_cell_index.clear();
	dsf_cell_blocks.clear();
}

// Frees the registry when the program ends; defined after the maps, so it
// runs while they still exist.
struct registry_owner {
	~registry_owner() { clear_registry(); }
} registry_owner_instance;

// Our own folder names use '/' only, and the mapped reader refuses a relative
// name holding '\' or ':'. Package folders and bitmap names come from the
// user's disk and may hold either, so those go to the reader as absolute
// paths, which it takes as they are.
std::string reader_path(const std::string& rel)
{
	if (rel.empty() || rel[0] == '/' || rel.find_first_of("\\:") == std::string::npos) return rel;
	char buf[4096];
	if (!getcwd(buf, sizeof(buf))) return rel;
	std::string abs = buf;
	if (abs.empty() || abs.back() != '/') abs += '/';
	return abs + rel;
}

bool list_folders(const std::string& folder, std::vector<std::string>& names)
{
	std::vector<int> types;
	opensave_getitems(folder, ftype_folder, names, types);
	return !names.empty();
}

void add_package(const std::string& folder, int custom)
{
	scenery_packages.push_back(folder);
	package_problems.push_back(0);
	package_is_custom.push_back(custom);
}

// ---- statement reading --------------------------------------------------

class lib_reader {
public:
	explicit lib_reader(xmap_class& m) : m_(m) {}

	bool at_end() const { return !m_.cursor || m_.cursor >= m_.end; }

	void skip_blanks()
	{
		while (m_.cursor < m_.end && TXT_is_blank(*m_.cursor)) ++m_.cursor;
	}

	// The keyword at the cursor followed by a blank; the cursor moves past it.
	bool keyword(const char* k)
	{
		const char* p = m_.cursor;
		for (; *k; ++k, ++p)
			if (p >= m_.end || *p != *k) return false;
		if (p >= m_.end || !TXT_is_blank(*p)) return false;
		m_.cursor = p;
		return true;
	}

	std::string token()
	{
		std::string s;
		m_.TXT_str_scan_space(&s);
		return s;
	}

	// Blanks skipped, then every byte to the line end (blanks kept); then the
	// cursor moves over every following blank and line end.
	std::string rest_of_line()
	{
		std::string s;
		m_.TXT_str_scan_eoln(&s);
		return s;
	}

	// Decimal with an optional sign, up to the next white byte; a long digit
	// string wraps instead of overflowing.
	int integer()
	{
		skip_blanks();
		bool negative = false;
		if (m_.cursor < m_.end && *m_.cursor == '-') {
			negative = true;
			++m_.cursor;
		} else if (m_.cursor < m_.end && *m_.cursor == '+') {
			++m_.cursor;
		}
		unsigned value = 0;
		while (m_.cursor < m_.end && !TXT_is_white(*m_.cursor))
			value = value * 10u + (unsigned)(unsigned char)(*m_.cursor++ - '0');
		return (int)(negative ? 0u - value : value);
	}

	void skip_line()
	{
		while (m_.cursor < m_.end && !TXT_is_eoln(*m_.cursor)) ++m_.cursor;
		while (m_.cursor < m_.end && TXT_is_white(*m_.cursor)) ++m_.cursor;
	}

private:
	xmap_class& m_;
};

struct file_state {
	int package;
	std::string lib_path;           // the library file, for reports
	lib_region* export_region = nullptr;
	lib_region* define_region = nullptr;
	std::vector<lib_region*> made;  // regions this file defined
	std::vector<bool> used;         // ... and whether an entry refers to each
	// Only the region being defined changes: its cells are written in this
	// buffer and shared (or dropped) once its definition ends.
	std::unique_ptr<unsigned char[]> work;
	lib_region* work_region = nullptr;
};

// The cells of the region being defined, ready to be written.
unsigned char* writable_cells(file_state& st)
{
	lib_region* r = st.define_region;
	if (st.work_region != r) {
		if (!st.work) st.work.reset(new unsigned char[cells_per_region]);
		std::memcpy(st.work.get(), r->cells.block, cells_per_region);
		r->cells.block = st.work.get();
		st.work_region = r;
	}
	return st.work.get();
}

// The region whose cells were written gets the shared block of its cells.
void finish_definition(file_state& st)
{
	lib_region* r = st.work_region;
	if (!r) return;
	st.work_region = nullptr;
	const unsigned char* c = st.work.get();
	if (std::memcmp(c, DSF_no_cells, cells_per_region) == 0) {
		r->cells.block = DSF_no_cells;
		return;
	}
	const uint64_t h = cells_hash(c);
	auto same = dsf_cell_index.equal_range(h);
	for (auto it = same.first; it != same.second; ++it)
		if (std::memcmp(it->second, c, cells_per_region) == 0) {
			r->cells.block = it->second;
			return;
		}
	if (dsf_cell_blocks.size() >= region_block_cap) {
		r->cells.block = DSF_no_cells;
		__DSF_NonFatalError(io_locate_src, line_region_cap, st.lib_path.c_str(),
		                    "REGION_DEFINE %s - more than %d different regions.  The region will be empty.",
		                    r->name.c_str(), (int)region_block_cap);
		return;
	}
	dsf_cell_blocks.push_back(std::move(st.work));
	r->cells.block = dsf_cell_blocks.back().get();
	dsf_cell_index.emplace(h, r->cells.block);
}

void set_define_region(file_state& st, lib_region* r)
{
	finish_definition(st);
	st.define_region = r;
}

void mark_used(file_state& st, lib_region* r)
{
	for (size_t k = 0; k < st.made.size(); ++k)
		if (st.made[k] == r) st.used[k] = true;
}

void export_statement(lib_reader& rd, file_state& st, uint32_t ratio, bool is_exclude, bool is_export,
                      bool is_backup, bool ratio_read)
{
	int n = 0;
	if (ratio_read) n = rd.integer();
	std::string vpath = rd.token();
	std::string rpath = rd.rest_of_line();
	set_path_to_right_dirchars(vpath);
	set_path_to_right_dirchars(rpath);
	if (ratio_read) {
		const unsigned un = (unsigned)n;
		if (un > 16777215u)
			__DSF_NonFatalError(io_locate_src, line_ratio, st.lib_path.c_str(),
			                    "Library error: you cannot have a ratio of more than 2^24 lib items for %s -> %s.",
			                    rpath.c_str(), vpath.c_str());
		ratio = un & 0xFFFFFFu;
	}
	lib_entry* e = new lib_entry();
	e->next = nullptr;
	e->region = st.export_region;
	e->package = st.package;
	e->ratio = ratio;
	e->is_exclude = is_exclude;
	e->is_export = is_export;
	e->is_backup = is_backup;
	e->path = rpath;
	if (e->region) mark_used(st, e->region);
	DSF_RegisterEntry(vpath, e);
}

void region_rect(lib_reader& rd, file_state& st)
{
	if (!st.define_region) {
		__DSF_NonFatalError(io_locate_src, line_rect_no_region, st.lib_path.c_str(),
		                    "REGION_RECT command used but no region has been defined.");
		return;
	}
	// Wide, so absurd values land outside the bounds instead of wrapping in.
	const long long west = rd.integer(), south = rd.integer(), east = rd.integer(), north = rd.integer();
	const long long x1 = west + 180, y1 = south + 90, x2 = east + 180, y2 = north + 90;
	if (x1 < 0 || y1 < 0 || x2 > 359 || y2 > 179 || y1 > y2 || x1 > x2) {
		__DSF_NonFatalError(io_locate_src, line_rect_range, st.lib_path.c_str(),
		                    "The boundaries to a REGION_RECT command are out of range: %lld,%lld->%lld,%lld", x1, y1,
		                    x2, y2);
		return;
	}
	unsigned char* cells = writable_cells(st);
	for (long long x = x1; x <= x2; ++x)
		for (long long y = y1; y <= y2; ++y) cells[x * 180 + y] = 1;
}

void region_bitmap(lib_reader& rd, file_state& st)
{
	std::string name = rd.token();
	set_path_to_right_dirchars(name);
	if (!st.define_region) {
		__DSF_NonFatalError(io_locate_src, line_bitmap_no_region, st.lib_path.c_str(),
		                    "REGION_BITMAP used with no region defined.  REGION_BITMAP will be ignored.");
		return;
	}
	unsigned char* pixels = nullptr;
	int width = 0, height = 0;
	const std::string file = reader_path(scenery_packages[st.package] + name);
	if (!DSF_load_region_bitmap(file, pixels, width, height)) {
		__DSF_NonFatalError(io_locate_src, line_bitmap_missing, st.lib_path.c_str(),
		                    "Unable to load bitmap file '%s' for REGION_BITMAP command - will skip.", name.c_str());
		DSF_free_region_bitmap(pixels);
		return;
	}
	if (width != 360 || height != 180) {
		__DSF_NonFatalError(io_locate_src, line_bitmap_size, st.lib_path.c_str(),
		                    "REGION_BITMAP with bitmap %s has a size of %d, %d but need sa size of 360x180.",
		                    name.c_str(), width, height);
		DSF_free_region_bitmap(pixels);
		return;
	}
	// Row 0 is the picture's bottom row: north up, -180 at the left edge.
	unsigned char* cells = writable_cells(st);
	for (int x = 0; x < 360; ++x)
		for (int y = 0; y < 180; ++y) cells[x * 180 + y] = pixels[y * 360 + x] ? 1 : 0;
	DSF_free_region_bitmap(pixels);
}

void read_library_file(int package)
{
	file_state st;
	st.package = package;
	st.lib_path = scenery_packages[package] + "library.txt";
	xmap_class m(reader_path(st.lib_path));
	if (!m.begin) return;
	const int versions[] = {800, 0};
	if (!m.check_file(file_type_text, versions, "LIBRARY", nullptr)) {
		__DSF_NonFatalError(io_locate_src, line_bad_header, st.lib_path.c_str(),
		                    "Incorrect version for scenery library file.  Will skip.");
		return;
	}
	dsf_regions.clear();
	lib_reader rd(m);
	while (!rd.at_end()) {
		rd.skip_blanks();
		if (rd.keyword("EXPORT")) {
			export_statement(rd, st, 1, false, true, false, false);
		} else if (rd.keyword("EXPORT_EXTEND")) {
			export_statement(rd, st, 1, false, false, false, false);
		} else if (rd.keyword("EXPORT_EXCLUDE")) {
			export_statement(rd, st, 1, true, false, false, false);
		} else if (rd.keyword("EXPORT_BACKUP")) {
			export_statement(rd, st, 1, false, false, true, false);
		} else if (rd.keyword("EXPORT_RATIO")) {
			export_statement(rd, st, 0, false, true, false, true);
		} else if (rd.keyword("REGION")) {
			const std::string name = rd.token();
			auto it = dsf_regions.find(name);
			if (it != dsf_regions.end()) st.export_region = it->second;
			else
				__DSF_NonFatalError(io_locate_src, line_region_unknown, st.lib_path.c_str(),
				                    "REGION %s - region unknown.  Ingoring", name.c_str());
		} else if (rd.keyword("REGION_DEFINE")) {
			const std::string name = rd.token();
			if (dsf_regions.count(name)) {
				__DSF_NonFatalError(io_locate_src, line_region_twice, st.lib_path.c_str(),
				                    "REGION_DEFINE %s - region already defined.  Ignoring.", name.c_str());
				set_define_region(st, nullptr);
			} else {
				lib_region* r = new lib_region();
				r->name = name;
				st.made.push_back(r);
				st.used.push_back(false);
				dsf_regions[name] = r;
				set_define_region(st, r);
			}
		} else if (rd.keyword("REGION_RECT")) {
			region_rect(rd, st);
		} else if (rd.keyword("REGION_BITMAP")) {
			region_bitmap(rd, st);
		} else {
			rd.skip_line();
		}
	}
	set_define_region(st, nullptr);
	// Region names hold only inside their file; regions no entry uses go now,
	// and with them the cells only they had.
	dsf_regions.clear();
	free_regions_of_file(st.made, st.used);
	drop_unused_blocks();
}

// ---- reports ------------------------------------------------------------

void report(bool fatal, const char* src_file, int src_line, const char* scenery_file, const char* message)
{
	const std::string file = scenery_file ? scenery_file : "";
	xer << "***Error with scenery file \"" << file << "\" (" << (src_file ? src_file : "") << ": " << src_line
	    << ".)\n";
	xer << "  " << message << "\n";

	int package = -1;
	for (size_t i = 0; i < scenery_packages.size(); ++i) {
		const std::string& p = scenery_packages[i];
		const size_t n = p.size() < file.size() ? p.size() : file.size();
		if (p.compare(0, n, file, 0, n) == 0) {
			package = (int)i;
			break;
		}
	}
	const char* const first = "Error loading the scenery package:";
	const char* const last = "Please see the log.txt file for detailed error information.";
	const int line = fatal ? line_fatal_alert : line_nonfatal_alert;
	if (package < 0) {
		__MACIBM_alert(0, first, file, fatal ? "Ventora cannot run with this corrupt file." : "The scenery may not look correct.",
		               last, fatal ? alert_fatal : alert_warning, io_locate_src, line);
	} else if (!fatal) {
		if (!package_problems[package]) {
			package_problems[package] = 1;
			__MACIBM_alert(0, first, scenery_packages[package], "The scenery may not look correct.", last,
			               alert_warning, io_locate_src, line);
		}
	} else {
		package_problems[package] = 1;
		const char* third =
		    package_is_custom[package]
		        ? "Ventora cannot run with this package installed - you may need to remove the custom  scenery package."
		        : "Ventora cannot run with this package installed - You may need to reinstall Ventora.";
		__MACIBM_alert(0, first, scenery_packages[package], third, last, alert_fatal, io_locate_src, line);
	}
	xer.flush();
}

// ---- lookups ------------------------------------------------------------

bool applies(const lib_entry* e, bool anywhere, int lon, int lat)
{
	if (anywhere || !e->region) return true;
	if (lon < -180 || lon > 179 || lat < -90 || lat > 89) return false;
	return e->region->cells[(lon + 180) * 180 + (lat + 90)] != 0;
}

void eligible_entries(const std::string& path, bool anywhere, int lon, int lat, std::vector<const lib_entry*>& pool)
{
	pool.clear();
	auto it = dsf_library.find(path);
	if (it == dsf_library.end()) return;
	for (const lib_entry* e = it->second; e; e = e->next) {
		if (!applies(e, anywhere, lon, lat)) continue;
		pool.push_back(e);
		if (e->is_exclude) break;
		if (e->is_export && (!e->next || e->next->package != e->package)) break;
	}
}

std::string entry_file(const lib_entry* e)
{
	const std::string folder =
	    (e->package >= 0 && (size_t)e->package < scenery_packages.size()) ? scenery_packages[e->package] : "";
	return folder + e->path;
}

bool lookup_one(bool anywhere, int lon, int lat, std::string& path, int seed)
{
	std::vector<const lib_entry*> pool;
	eligible_entries(path, anywhere, lon, lat, pool);
	uint64_t total = 0;
	for (const lib_entry* e : pool) total += e->ratio;
	if (total == 0) return false;
	int slot = seed % 10000;
	if (slot < 0) slot += 10000;  // a negative seed still reads inside the table
	const float product = (float)total * randrat[slot];
	const uint64_t target = product > 0.0f ? (uint64_t)product : 0;
	const lib_entry* chosen = nullptr;
	uint64_t sum = 0;
	for (const lib_entry* e : pool) {
		sum += e->ratio;
		if (e->ratio) chosen = e;  // rounding up to total chooses the last weighted entry
		if (sum > target) break;
	}
	path = entry_file(chosen);
	return true;
}

bool lookup_multiple(bool anywhere, int lon, int lat, const std::string& path, std::vector<std::string>& out)
{
	out.clear();
	std::vector<const lib_entry*> pool;
	eligible_entries(path, anywhere, lon, lat, pool);
	uint64_t total = 0;
	for (const lib_entry* e : pool) total += e->ratio;
	const bool scaled = total > multiple_list_cap;
	if (scaled)
		xer << "Library list for " << path << " has weights adding up to " << total << ": listing them scaled to "
		    << multiple_list_cap << ".\n";
	for (const lib_entry* e : pool) {
		uint64_t copies = e->ratio;
		if (scaled && copies) {
			copies = copies * multiple_list_cap / total;
			if (copies == 0) copies = 1;
		}
		if (!copies) continue;
		const std::string file = entry_file(e);
		out.insert(out.end(), copies, file);
	}
	return !out.empty();
}

// The name with its last four characters replaced by ext; short names stay.
std::string with_ext(const std::string& name, const char* ext)
{
	if (name.size() <= 4) return name;
	return name.substr(0, name.size() - 4) + ext;
}

void add_image_names(std::vector<std::string>& c, const std::string& folder, const std::string& name)
{
	c.push_back(folder + with_ext(name, ".dds"));
	c.push_back(folder + with_ext(name, ".png"));
	c.push_back(folder + with_ext(name, ".bmp"));
}

bool is_object_type(int t) { return t >= 3 && t <= 7; }

const std::string* first_existing(const std::vector<std::string>& candidates)
{
	for (const std::string& c : candidates)
		if (file_exists(c)) return &c;
	return nullptr;
}

}  // namespace

// ---- discovery and library files ------------------------------------------

void DSF_ScanSceneryFolder()
{
	clear_registry();
	scenery_packages.clear();
	package_problems.clear();
	package_is_custom.clear();

	std::vector<std::string> names;
	bool saw_overlays = false, saw_terrain = false;
	list_folders(cus_path, names);
	for (const std::string& n : names) {
		if (n == def_ovr_str) saw_overlays = true;
		else if (n == def_ter_str) saw_terrain = true;
		else add_package(std::string(cus_path) + n + "/", 1);
	}
	list_folders(glb_path, names);
	for (const std::string& n : names) add_package(std::string(glb_path) + n + "/", 0);
	// The two special folders sit in "Custom Scenery/" and count as custom.
	if (saw_overlays) add_package(std::string(cus_path) + def_ovr_str + "/", 1);
	if (saw_terrain) add_package(std::string(cus_path) + def_ter_str + "/", 1);
	list_folders(def_path, names);
	for (const std::string& n : names) add_package(std::string(def_path) + n + "/", 0);

	xer << "I found the following scenery packages (prioritized in this order):\n";
	for (size_t i = 0; i < scenery_packages.size(); ++i) {
		char num[32];
		std::snprintf(num, sizeof(num), "%3d", (int)i);
		xer << num << " " << scenery_packages[i] << "\n";
	}
	xer << "\n";
	xer.flush();

	for (size_t i = 0; i < scenery_packages.size(); ++i) read_library_file((int)i);
}

void DSF_RegisterEntry(const std::string& virtual_path, lib_entry* entry)
{
	if (!entry) return;
	auto it = dsf_library.find(virtual_path);
	if (it == dsf_library.end()) {
		entry->next = nullptr;
		dsf_library.emplace(virtual_path, entry);
		return;
	}
	lib_entry*& head = it->second;
	if (!head || head->is_backup) {
		entry->next = head;
		head = entry;
		return;
	}
	lib_entry* e = head;
	while (e->next && !e->next->is_backup) e = e->next;
	entry->next = e->next;
	e->next = entry;
}

const lib_entry* DSF_LibraryChain(const std::string& virtual_path)
{
	auto it = dsf_library.find(virtual_path);
	return it == dsf_library.end() ? nullptr : it->second;
}

size_t DSF_LibrarySize() { return dsf_library.size(); }

void __DSF_NonFatalError(const char* src_file, int src_line, const char* scenery_file, const char* fmt, ...)
{
	static char buf[4096];
	va_list ap;
	va_start(ap, fmt);
	std::vsnprintf(buf, sizeof(buf), fmt ? fmt : "", ap);  // cut at the buffer's end
	va_end(ap);
	report(false, src_file, src_line, scenery_file, buf);
}

void __DSF_FatalError(const char* src_file, int src_line, const char* scenery_file, const char* fmt, ...)
{
	static char buf[4096];
	va_list ap;
	va_start(ap, fmt);
	std::vsnprintf(buf, sizeof(buf), fmt ? fmt : "", ap);
	va_end(ap);
	report(true, src_file, src_line, scenery_file, buf);
}

// ---- lookups --------------------------------------------------------------

bool DSF_LookupLibraryResource(int lon, int lat, std::string& path, int seed)
{
	return lookup_one(false, lon, lat, path, seed);
}

bool DSF_LookupLibraryResourceAnywhere(std::string& path, int seed) { return lookup_one(true, 0, 0, path, seed); }

bool DSF_LookupLibraryResourceMultiple(int lon, int lat, const std::string& path, std::vector<std::string>& out)
{
	return lookup_multiple(false, lon, lat, path, out);
}

bool DSF_LookupLibraryResourceAnywhereMultiple(const std::string& path, std::vector<std::string>& out)
{
	return lookup_multiple(true, 0, 0, path, out);
}

void DSF_LocateResourceNoLib(int res_type, const std::string& name, const std::string& base_folder, bool log_missing,
                             std::string& result)
{
	result.clear();
	const std::string& b = base_folder;
	std::vector<std::string> c;
	if (res_type == 0) {
		c = {b + name, "Resources/" + name};
	} else if (res_type == 1) {
		add_image_names(c, b, name);
		add_image_names(c, b + "custom terrain textures/", name);
		add_image_names(c, b + "custom object textures/", name);
		add_image_names(c, "Resources/bitmaps/terrain/", name);
		add_image_names(c, "Resources/", name);
	} else if (res_type == 2) {
		c = {b + name, b + "custom terrain textures/" + name, "Resources/bitmaps/terrain/" + name,
		     "Resources/" + name};
	} else if (is_object_type(res_type)) {
		c = {b + name, b + "custom objects/" + name, std::string(obj_path) + name, "Resources/" + name};
	} else {
		c = {b + name};
	}
	if (const std::string* found = first_existing(c)) {
		result = *found;
		return;
	}
	if (log_missing)
		for (const std::string& cand : c) xer << "Failed to find resource '" << name << "' at '" << cand << "'\n";
}

void DSF_LocateResourcePrimary(int lon, int lat, int res_type, const std::string& name,
                               const std::string& base_folder, bool log_missing, std::string& result, int seed)
{
	std::string copy = name;
	if (DSF_LookupLibraryResource(lon, lat, copy, seed)) {
		result = copy;
		return;
	}
	DSF_LocateResourceNoLib(res_type, name, base_folder, log_missing, result);
}

void DSF_LocateResourcePrimaryMultiple(int lon, int lat, int res_type, const std::string& name,
                                       const std::string& base_folder, bool log_missing,
                                       std::vector<std::string>& out)
{
	DSF_LookupLibraryResourceMultiple(lon, lat, name, out);
	std::string found;
	DSF_LocateResourceNoLib(res_type, name, base_folder, log_missing && out.empty(), found);
	if (!found.empty()) out.push_back(found);
}

void DSF_LocateResourceSecondary(int res_type, int parent_type, const std::string& parent, const std::string& name,
                                 bool log_missing, std::string& result)
{
	result.clear();
	const std::string& p = parent;
	const std::string k = extract_package(p);
	std::vector<std::string> c;
	if (!p.empty()) {
		if (res_type == 1) add_image_names(c, p, name);
		else c.push_back(p + name);
	}
	if (!k.empty()) {
		if (res_type == 1)
			add_image_names(c, k + (parent_type == 2 ? "custom terrain textures/" : "custom object textures/"), name);
		else if (res_type == 2)
			c.push_back(k + "custom terrain textures/" + name);
		else if (is_object_type(res_type))
			c.push_back(k + "custom objects/" + name);
	}
	if (res_type == 0) {
		c.push_back("Resources/" + name);
	} else if (res_type == 1) {
		add_image_names(c, "Resources/bitmaps/terrain/", name);
		add_image_names(c, "Resources/", name);
	} else if (res_type == 2) {
		c.push_back("Resources/bitmaps/terrain/" + name);
		c.push_back("Resources/" + name);
	} else if (is_object_type(res_type)) {
		c.push_back(std::string(obj_path) + name);
		c.push_back("Resources/" + name);
	}
	if (const std::string* found = first_existing(c)) {
		result = *found;
		return;
	}
	if (log_missing)
		for (const std::string& cand : c)
			xer << "Failed to find resource '" << name << "' (parent = '" << p << "' at '" << cand << "'\n";
}

void DSF_LocateResourceSecondaryMultipleWithLibrary(int lon, int lat, int res_type, int parent_type,
                                                    const std::string& parent, const std::string& name,
                                                    bool log_missing, std::vector<std::string>& out)
{
	DSF_LookupLibraryResourceMultiple(lon, lat, name, out);
	std::string found;
	DSF_LocateResourceSecondary(res_type, parent_type, parent, name, log_missing && out.empty(), found);
	if (!found.empty()) out.push_back(found);
}

std::string extract_package(const std::string& path)
{
	// ':' is an ordinary file-name character here, so only '/' and '\' end
	// the package folder.
	for (const char* root : {cus_path, glb_path, def_path}) {
		const std::string r = root;
		if (path.compare(0, r.size(), r) != 0) continue;
		const size_t sep = path.find_first_of("/\\", r.size());
		if (sep != std::string::npos) return path.substr(0, sep + 1);
	}
	return std::string();
}
