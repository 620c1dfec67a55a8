#pragma once
// Scenery library: the packages below the working folder in priority order,
// the registry their "library.txt" files build (virtual path -> weighted,
// regional entries), the reports of scenery errors, and the lookups and file
// searches that resolve the names scenery files use.
//
// Everything here runs on one thread; a scan must not overlap lookups.
#include <cstdint>
#include <string>
#include <vector>

// One package per index, lower index first searched: the folder relative to
// the working folder, ending in '/'.
extern std::vector<std::string> scenery_packages;
// 1 once an error inside the package has been reported (one alert per scan).
extern std::vector<int> package_problems;
// 1 for packages from "Custom Scenery/", 0 for global and default ones.
extern std::vector<int> package_is_custom;

// 64800 zero bytes: the cells of a region in which no cell was set.
extern const unsigned char DSF_no_cells[64800];

// The 64800 cells of a region, one byte each. Regions with the same cells
// share one block of them (a library file cannot make memory grow by
// repeating a definition); the block lives as long as the registry.
struct lib_cells {
	const unsigned char* block = DSF_no_cells;
	unsigned char operator[](size_t k) const { return block[k]; }
	const unsigned char* begin() const { return block; }
	const unsigned char* end() const { return block + 64800; }
};

// A named set of one-degree cells. Cell (lon, lat), south-west corner, is
// byte (lon + 180) * 180 + (lat + 90); 1 = inside.
struct lib_region {
	std::string name;
	lib_cells cells;
};

// One export statement of a library file.
struct lib_entry {
	lib_entry* next;
	lib_region* region;  // null: applies everywhere
	int package;         // index into scenery_packages
	uint32_t ratio : 24;
	uint32_t is_exclude : 1;
	uint32_t is_export : 1;
	uint32_t is_backup : 1;
	std::string path;  // relative to the package folder
};

void DSF_ScanSceneryFolder();
// The registry takes ownership of the entry (not of a region the caller made).
void DSF_RegisterEntry(const std::string& virtual_path, lib_entry* entry);

void __DSF_NonFatalError(const char* src_file, int src_line, const char* scenery_file, const char* fmt, ...)
    __attribute__((format(printf, 4, 5)));
void __DSF_FatalError(const char* src_file, int src_line, const char* scenery_file, const char* fmt, ...)
    __attribute__((format(printf, 4, 5)));

// Lookups: lon -180..179, lat -90..89 (a cell outside lies in no region).
bool DSF_LookupLibraryResource(int lon, int lat, std::string& path, int seed);
bool DSF_LookupLibraryResourceAnywhere(std::string& path, int seed);
bool DSF_LookupLibraryResourceMultiple(int lon, int lat, const std::string& path, std::vector<std::string>& out);
bool DSF_LookupLibraryResourceAnywhereMultiple(const std::string& path, std::vector<std::string>& out);

// File searches outside the library; an empty result means nothing found.
void DSF_LocateResourceNoLib(int res_type, const std::string& name, const std::string& base_folder,
                             bool log_missing, std::string& result);
void DSF_LocateResourcePrimary(int lon, int lat, int res_type, const std::string& name,
                               const std::string& base_folder, bool log_missing, std::string& result, int seed);
void DSF_LocateResourcePrimaryMultiple(int lon, int lat, int res_type, const std::string& name,
                                       const std::string& base_folder, bool log_missing,
                                       std::vector<std::string>& out);
void DSF_LocateResourceSecondary(int res_type, int parent_type, const std::string& parent, const std::string& name,
                                 bool log_missing, std::string& result);
void DSF_LocateResourceSecondaryMultipleWithLibrary(int lon, int lat, int res_type, int parent_type,
                                                    const std::string& parent, const std::string& name,
                                                    bool log_missing, std::vector<std::string>& out);
// The package folder (ending in its separator) a path lies in, or empty.
std::string extract_package(const std::string& path);

// Read-only view of the registry for tests and diagnostics: the chain of a
// virtual path (null when absent) and the number of virtual paths.
const lib_entry* DSF_LibraryChain(const std::string& virtual_path);
size_t DSF_LibrarySize();
