#include "tests/support/text_fixture.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "DIzivoz/Files/io_utils.h"
#include "DIzivoz/GenH/hl_globals.h"

text_sandbox::text_sandbox()
{
	std::string tmpl = (std::filesystem::temp_directory_path() / "ventora-text-XXXXXX").string();
	if (!mkdtemp(&tmpl[0])) throw std::runtime_error("mkdtemp failed");
	dir_ = tmpl + "/";
	log_path_ = dir_ + "log.txt";
	UTL_set_resource_root(dir_);
	xer.open(log_path_);
}

text_sandbox::~text_sandbox()
{
	xer.close();
	UTL_set_resource_root("");
	std::error_code ec;
	std::filesystem::remove_all(dir_, ec);
}

std::string text_sandbox::write(const std::string& name, const std::string& bytes) const
{
	std::string path = dir_ + name;
	std::filesystem::create_directories(std::filesystem::path(path).parent_path());
	std::ofstream out(path, std::ios::binary | std::ios::trunc);
	out << bytes;
	return path;
}

std::string text_sandbox::take_log()
{
	xer.close();
	std::string text = text_read_file(log_path_);
	xer.open(log_path_);
	return text;
}

std::string text_read_file(const std::string& path)
{
	std::ifstream in(path, std::ios::binary);
	std::stringstream s;
	s << in.rdbuf();
	return s.str();
}
