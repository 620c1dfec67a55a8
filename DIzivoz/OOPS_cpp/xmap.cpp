#include "DIzivoz/OOPS_cpp/xmap.h"

xmap_class::xmap_class(const std::string&) {}
xmap_class::~xmap_class() {}
const char* xmap_class::retry(const std::string&) { return nullptr; }
int xmap_class::check_file(int, const int*, const char*, std::string*) { return 0; }
void xmap_class::TXT_str_scan_space(std::string* out) { if (out) out->clear(); }
void xmap_class::TXT_str_scan_eoln(std::string* out) { if (out) out->clear(); }
void xmap_class::read_n_rev(long, long) {}
int xmap_class::io_file_open(int, std::string, int*, int) { return 0; }
void xmap_class::io_file_close() {}
void xmap_class::TXT_xer_line() {}
void xmap_class::release() {}
