#pragma once
// Preference files: small text files of "key value" lines under the maker's
// text header, read at start and written at exit.
#include <map>
#include <string>

class scan_class {
public:
	// mode 0 read, 1 write, 2 note the values in effect (no file)
	scan_class(const std::string& path, int mode);
	~scan_class();
	scan_class(const scan_class&) = delete;
	scan_class& operator=(const scan_class&) = delete;

	// Reads or writes one integer setting; in read mode returns 1 when a
	// value was found (command line first, then the file).
	int int_io(int* value, const std::string& key);
	// The same for a text setting: written only when not empty.
	int str_io(std::string* value, const std::string& key);

	int mode;
	bool write_stored(const std::string& key, const std::string& text);
	std::map<std::string, std::string> values;
	int writing = 0;  // 1 while the shared writer holds this object's file
};

class pref_class {
public:
	// write 0 reads the file of that type into the bound variables, 1 writes
	// them. Values given as "--pref:<key>" hold for the run: unless changed
	// meanwhile, writing puts back what the file held. 2 notes the values in
	// effect as the run's own (after start-up has adjusted what it read).
	void IO_set(int type, int write);
	int IO_sta(int, int, std::string);
};

extern pref_class pref;

// Path of the preference file of a type (10, 11, 12); empty for other types.
std::string pref_file_path(int type);
