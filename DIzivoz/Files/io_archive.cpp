#include "DIzivoz/Files/io_archive.h"

int zip_to_file(const std::string&, const std::string&, std::string*, int) { return 20001; }
int p7z_to_file(const std::string&, const std::string&, std::string*, int) { return 20001; }
int file_to_zip(const std::string&, const std::string&) { return 20003; }
int calc_file_md5(const std::string&, std::string&) { return 20006; }
int unzip_resource_fork(unzFile, const std::string&, const unz_file_info64&) { return 20012; }
int unzip_symlink(unzFile, const std::string&, const unz_file_info64&) { return 20002; }
