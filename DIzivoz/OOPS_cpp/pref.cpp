#include "DIzivoz/OOPS_cpp/pref.h"

pref_class pref;

std::string pref_file_path(int) { return std::string(); }

scan_class::scan_class(const std::string&, int in_mode) : mode(in_mode) {}
scan_class::~scan_class() { values.clear(); }
int scan_class::int_io(int*, const std::string&) { return 0; }
int scan_class::str_io(std::string*, const std::string&) { return 0; }

void pref_class::IO_set(int, int) {}
int pref_class::IO_sta(int, int, std::string) { return 0; }
