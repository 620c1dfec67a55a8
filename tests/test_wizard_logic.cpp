// The wizard's pure parts: texts of sizes, times and rates, the disk report,
// the server list, the server draw and retry delays, the install registry,
// the start-up decisions and the frame's bar and icon sizes.
#include <gtest/gtest.h>

#include <errno.h>

#include <cmath>
#include <functional>
#include <cstdlib>
#include <limits>

#include "DIzivoz/Files/io_utils.h"
#include "DIzivoz/GenH/hl_stg.h"
#include "DIzivoz/UTL/UTL_translate.h"
#include "Installer-f/utils.h"
#include "Installer-f/wizard.h"
#include "Installer-f/wizard_faults.h"
#include "tests/support/files_tmp.h"

TEST(WizardText, SizesTimesAndRatesAtTheirBoundaries)
{
	UTL_translate_clear();
	struct {
		float kb;
		const char* want;
	} sizes[] = {{0, "0 KB"},       {1024, "1024 KB"},       {1025, "1 MB"},
	             {1024000, "1000 MB"}, {1024001, "1.0 GB"}, {5 * 1048576.0f, "5.0 GB"}};
	for (auto& c : sizes) EXPECT_EQ(size_string(c.kb), c.want) << c.kb;

	const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
	struct {
		float s;
		const char* want;
	} times[] = {{0, "0 seconds"},   {1.5f, "1 second"},   {119, "119 seconds"}, {120, "2 minutes"},
	             {7199, "119 minutes"}, {7200, "2 hours"}, {3600 * 1.5f, "90 minutes"},
	             {nan, "0 hours"}, {inf, "2147483647 hours"}, {-5, "-5 seconds"}};
	for (auto& c : times) EXPECT_EQ(time_str(c.s), c.want) << c.s;

	EXPECT_EQ(rate_str(1.5f), "1 kilobyte/second");
	EXPECT_EQ(rate_str(0.5f), "0 kilobytes/second");  // English: 0 takes the plural form
	EXPECT_EQ(rate_str(250.9f), "250 kilobytes/second");
	EXPECT_EQ(rate_str(nan), "0 kilobytes/second");
	EXPECT_EQ(int_str(-42), "-42");
	EXPECT_EQ(flt_str("%.2f", 1.005f), "1.00");

	// Each language's units and decimal mark, from its translation file.
	struct {
		int lang;
		const char* file;
		float kb;
		const char* want;
	} local[] = {{1, "French.txt", 59662746.0f, "56,9 Go"}, {1, "French.txt", 2048, "2 Mo"}, {1, "French.txt", 95, "95 Ko"},
	             {2, "German.txt", 59662746.0f, "56,9 GB"}, {2, "German.txt", 95, "95 KB"}};
	for (auto& c : local) {
		UTL_translate_clear();
		UTL_translate_load(c.lang, std::string(VENTORA_SOURCE_DIR) + "/Resources/" + c.file);
		EXPECT_EQ(size_string(c.kb), c.want) << c.file << " " << c.kb;
	}
	UTL_translate_clear();
}

// The install page's time left agrees with its bar (the share installed):
// never "0 seconds" while anything remains to download or install.
TEST(WizardText, TimeLeftFollowsTheSlowerOfDownloadAndInstall)
{
	struct {
		const char* name;
		float dl_total, dl_got, inst_total, inst_done, elapsed;
		float want;
	} cases[] = {
	    {"downloaded, 27% installed", 1000, 1000, 4000, 1080, 10, 28},  // 10 s for 27%: 27.03 s for the rest
	    {"half of both at the same pace", 1000, 500, 4000, 2000, 10, 10},
	    {"installing keeps up, the download is the slower", 1000, 250, 4000, 3900, 10, 30},
	    {"under a second left reads as one", 1000, 999, 4000, 3999, 10, 1},
	    {"nothing installed yet: the download alone", 1000, 100, 4000, 0, 5, 45},
	    {"the first second counts as one", 1000, 500, 4000, 2000, 0.2f, 1},
	    {"all done", 1000, 1000, 4000, 4000, 10, 0},
	    {"counters past their totals", 1000, 1200, 4000, 4100, 10, 0},
	};
	for (auto& c : cases)
		EXPECT_EQ(install_seconds_left(c.dl_total, c.dl_got, c.inst_total, c.inst_done, c.elapsed), c.want) << c.name;
	EXPECT_EQ(time_str(install_seconds_left(1000, 1000, 4000, 3990, 30)), "1 second");
}

TEST(WizardText, DiskReportComparesWithTheInstallTotal)
{
	files_tmp t;
	dest_dir_path = t("not yet made/");  // the nearest existing folder is asked
	stg.total_install_kb = 100;
	disk_report r = UTIL_disk_report("enough", "short");
	ASSERT_EQ(r.ok, 1);
	EXPECT_EQ(r.enough, 1);
	EXPECT_NE(r.text.find("Disk space needed to install: 100 KB\n\nenough"), std::string::npos) << r.text;

	stg.total_install_kb = 1e12f;
	r = UTIL_disk_report("enough", "short");
	EXPECT_EQ(r.enough, 0);
	EXPECT_NE(r.text.find("short"), std::string::npos);

	// A volume that cannot be asked: no report, and the page keeps its Next.
	dest_dir_path = "";
	EXPECT_EQ(UTIL_disk_report("enough", "short").ok, 0);
	stg.total_install_kb = 0;
}

namespace {
server_list_info parse(const std::string& body, int beta = 0)
{
	return parse_server_body(body.data(), body.data() + body.size(), beta, "Not Yet Scanned");
}
std::string server(const std::string& host, const std::string& path, const std::string& desc = "d|D")
{
	return "SERVER " + host + "\n" + path + "\n" + desc + "\n";
}
}  // namespace

TEST(WizardServers, BodyRecordsAsTheListSays)
{
	const std::string two = server("a.example", "/x/") + server("b.example", "/y/", "B|Second");
	struct {
		const char* what;
		std::string body;
		int beta;
		int count;
		std::string name;
		int newer;
	} cases[] = {
	    {"final taken without beta", "BETA b1\nFINAL f1\n" + two + "ENDOFLIST\n", 0, 2, "f1", 0},
	    {"beta taken with beta", "BETA b1\nFINAL f1\n" + two + "ENDOFLIST\n", 1, 2, "b1", 0},
	    {"no ENDOFLIST", "FINAL f1\r\n" + two, 0, 2, "f1", 0},
	    {"SERVERS is not SERVER", "FINAL f1\nSERVERS x\n/p/\nd\n", 0, 0, "f1", 0},
	    {"BETAX is skipped", "BETAX b\nFINAL f1\n", 1, 0, "Not Yet Scanned", 0},
	    {"own version does nothing", "INS_VERSION 20402 x http://a/\n" + two, 0, 2, "Not Yet Scanned", 0},
	    {"newer version stops", "INS_VERSION 20403 x http://new.example/get\n" + two, 0, 0, "Not Yet Scanned", 1},
	    {"after ENDOFLIST nothing", "FINAL f1\nENDOFLIST\n" + two, 0, 0, "f1", 0},
	    {"blanks before keywords", "  \tFINAL f1\n\t" + two, 0, 2, "f1", 0},
	    {"empty body", "", 0, 0, "Not Yet Scanned", 0},
	};
	for (auto& c : cases) {
		server_list_info i = parse(c.body, c.beta);
		EXPECT_EQ(i.count, c.count) << c.what;
		EXPECT_EQ(i.install_name, c.name) << c.what;
		EXPECT_EQ(i.newer_installer, c.newer) << c.what;
	}
	server_list_info n = parse("INS_VERSION 20403 x http://new.example/get\n");
	EXPECT_EQ(n.newer_address, "http://new.example/get");
	server_list_info i = parse(two);
	EXPECT_EQ(i.name[1], "b.example");
	EXPECT_EQ(i.path[1], "/y/Not Yet Scanned/");
	EXPECT_EQ(i.desc[1], "B|Second");

	// A record's path takes the install name in effect when it is read.
	const struct {
		const char* what;
		std::string body;
		int beta;
		std::vector<std::string> paths;
		const char* name;
	} names[] = {
	    {"name first", "FINAL f1\n" + server("a.example", "/pub/", "A|A"), 0, {"/pub/f1/"}, "f1"},
	    {"name after the records", server("a.example", "/pub/", "A|A") + "FINAL 9.10r1\n", 0,
	     {"/pub/Not Yet Scanned/"}, "9.10r1"},
	    {"names between records", "BETA b1\nFINAL f1\n" + server("a.example", "/p/") + "BETA b2\n" +
	                                  server("b.example", "/q/"), 1, {"/p/b1/", "/q/b2/"}, "b2"},
	};
	for (const auto& c : names) {
		const server_list_info n = parse(c.body, c.beta);
		ASSERT_EQ(n.count, (int)c.paths.size()) << c.what;
		for (int k = 0; k < n.count; ++k) EXPECT_EQ(n.path[k], c.paths[(size_t)k]) << c.what;
		EXPECT_EQ(n.install_name, c.name) << c.what;
	}
}

TEST(WizardServers, BadAndSurplusRecordsAreLeftOut)
{
	std::string body = server("", "/p/") + server("a/b", "/p/") + server("ok.example", "no-slash");
	for (int k = 0; k < 11; ++k) body += server("s" + std::to_string(k) + ".example", "/p/");
	server_list_info i = parse(body + server("late.example", "/p/"));
	EXPECT_EQ(i.count, 10);
	EXPECT_EQ(i.name[0], "s0.example");
	EXPECT_EQ(i.name[9], "s9.example");
	EXPECT_EQ(i.skipped.size(), 5u);  // three bad, the eleventh and the twelfth
}

TEST(WizardServers, HeaderMustBeAServerListOfVersion820)
{
	files_tmp t;
	struct {
		const char* text;
		int ok;
	} cases[] = {{"I\n820 version\nSERVERS\nFINAL f\n", 1},
	             {"A\r\n820 version\r\nSERVERS\r\nFINAL f\r\n", 1},
	             {"I\n900 version\nSERVERS\nFINAL f\n", 0},
	             {"I\n820 version\nINSTALLER\n", 0},
	             {"<html>not found</html>", 0},
	             {"", 0}};
	for (auto& c : cases) {
		t.write("list.txt", c.text);
		EXPECT_EQ(parse_server_list_file(t("list.txt"), 0, "N").header_ok, c.ok) << c.text;
	}
	EXPECT_EQ(parse_server_list_file(t("missing.txt"), 0, "N").header_ok, 0);
}

TEST(WizardServers, DrawFavoursTheTopAndStaysInRange)
{
	struct {
		float r;
		int count, want;
	} cases[] = {{0, 4, 0}, {0.5f, 4, 1}, {0.99999f, 4, 3}, {1.0f, 4, 3}, {0.7f, 1, 0},
	             {0.5f, 0, 0}, {-1, 3, 0}, {0.9f, 10, 8}};
	for (auto& c : cases) EXPECT_EQ(draw_server(c.r, c.count), c.want) << c.r << " " << c.count;
	int first = 0;
	for (int k = 0; k < 10000; ++k) first += draw_server(k / 10000.0f, 4) == 0;
	EXPECT_NEAR(first / 10000.0, 0.40, 0.01);
	// Retries wait 1 s, doubling to 30 s.
	const float want[] = {0, 1, 2, 4, 8, 16, 30, 30};
	for (int f = 0; f < 8; ++f) EXPECT_EQ(retry_delay(f), want[f]) << f;
	// The jitter only ever shortens a wait, by at most a fifth.
	for (float j : {0.0f, 0.5f, 0.999f, 7.0f, -1.0f}) {
		retry_pacer p;
		for (int f = 1; f <= 7; ++f) {
			p.failed(100, j);
			EXPECT_LE(p.next_try, 100 + want[f]) << j << " " << f;
			EXPECT_GE(p.next_try, 100 + 0.8f * want[f]) << j << " " << f;
		}
		EXPECT_FALSE(p.due(100 + 0.79f * 30));
		EXPECT_TRUE(p.due(100 + 30));
	}
}

TEST(WizardFaults, FaultsThatRepeatForEveryFileAreToldFromAFilesOwn)
{
	files_tmp t;
	const std::string here = t(""), gone = t("gone/");
	struct {
		int err;
		std::string folder;
		local_fault want;
	} writes[] = {{ENOSPC, here, fault_disk_full},    {EDQUOT, here, fault_disk_full},
	              {EROFS, here, fault_not_writable},  {EACCES, here, fault_not_writable},
	              {EIO, here, fault_cannot_write},    {err_zip_write, here, fault_cannot_write},
	              {ENOENT, gone, fault_folder_gone},  {ENOENT, here, fault_none},
	              {err_zip_read, here, fault_none},   {20001, here, fault_none},
	              {0, gone, fault_none}};
	for (auto& c : writes) EXPECT_EQ(classify_local_error(c.err, c.folder), c.want) << c.err << " " << c.folder;
	// Copies from the disc: only the disc's absence and the writing side repeat.
	struct {
		int err;
		bool disc;
		std::string temp;
		local_fault want;
	} copies[] = {{ENOENT, false, here, fault_disc_gone}, {EIO, false, here, fault_disc_gone},
	              {ENOENT, true, gone, fault_folder_gone}, {ENOSPC, true, here, fault_disk_full},
	              {EIO, true, here, fault_none},          {ENOENT, true, here, fault_none},
	              {0, false, here, fault_none}};
	for (auto& c : copies)
		EXPECT_EQ(classify_copy_error(c.err, c.disc, c.temp), c.want) << c.err << " " << c.disc << " " << c.temp;
}

TEST(WizardFaults, FailureTextsGiveTheSystemsReasonInThePagesLanguage)
{
	net_failure refused;
	refused.kind = net_fail_connection;
	refused.os_error = ECONNREFUSED;
	net_failure unknown;
	unknown.kind = net_fail_no_server;
	auto through_proxy = [](const net_failure& f, int port = 3128) {
		http.proxy_host = "proxy.example";
		http.proxy_port = port;
		const std::string text = net_failure_text(f, "www.tarnwick.example");
		http.proxy_host.clear();
		http.proxy_port = 0;
		return text;
	};
	run_halt full;
	full.kind = fault_disk_full;
	full.code = ENOSPC;
	full.folder = "/d/";
	net_failure longer;
	longer.kind = net_fail_long;
	net_failure too_big;
	too_big.kind = net_fail_too_big;
	struct {
		int lang;
		std::function<std::string()> text;
		std::string want;
	} cases[] = {
	    // A code outside the installer's own table is named, never numbered.
	    {0, [&] { return net_failure_text(refused, "localhost"); }, "I cannot connect to localhost: Connection refused."},
	    {1, [&] { return net_failure_text(refused, "localhost"); },
	     "Je ne peux pas me connecter à localhost : Connexion refusée."},
	    {0, [&] { return local_fault_text(full); },
	     "The disk that holds /d/ is full. (No space left on device. Perhaps your hard drive is full)"},
	    {2, [&] { return local_fault_text(full); },
	     "Der Datenträger mit /d/ ist voll. (Kein Platz mehr auf dem Gerät. Vielleicht ist Ihre Festplatte voll)"},
	    {0, [] { return reason_text(20013); }, "Error code 20013"},
	    // An answer longer than it announced is not one that broke off.
	    {0, [&] { return net_failure_text(longer, "m.test"); },
	     "The answer from m.test went on past the length it announced."},
	    {2, [&] { return net_failure_text(longer, "m.test"); },
	     "Die Antwort von m.test ging über die angekündigte Länge hinaus."},
	    {1, [&] { return net_failure_text(too_big, "m.test"); },
	     "Le fichier reçu de m.test est plus grand que ce qu'indique la version : il est endommagé."},
	    // Through a proxy the failure is the proxy's, with the port tried.
	    {0, [&] { return through_proxy(refused); },
	     "I cannot connect to the proxy proxy.example on port 3128: Connection refused."},
	    {1, [&] { return through_proxy(refused); },
	     "Je ne peux pas me connecter au proxy proxy.example sur le port 3128 : Connexion refusée."},
	    {2, [&] { return through_proxy(refused); },
	     "Ich kann keine Verbindung zum Proxy proxy.example auf Port 3128 herstellen: Verbindung abgelehnt."},
	    {2, [&] { return through_proxy(unknown); }, "Ich finde den Proxy proxy.example (Port 3128) nicht."},
	    // A proxy port outside 1..65535 is no proxy: the server is named.
	    {0, [&] { return through_proxy(refused, 70000); }, "I cannot connect to www.tarnwick.example: Connection refused."},
	};
	for (auto& c : cases) {
		UTL_translate_clear();
		if (c.lang) UTL_translate_load(c.lang, "");
		EXPECT_EQ(c.text(), c.want) << c.lang;
	}
	UTL_translate_clear();
}

TEST(WizardText, InstallNameSaysWhatIsWrongWithIt)
{
	UTL_translate_clear();
	struct {
		std::string name;
		std::string want;
	} cases[] = {
	    {"", "Please pick a name for your Ventora 9 installation..."},
	    {"a/b", "The name 'a/b' cannot be used: a folder name cannot hold a '/'."},
	    {"..", "The name '..' cannot be used: it stands for an existing folder."},
	    {".", "The name '.' cannot be used: it stands for an existing folder."},
	    {std::string(256, 'x'), "The name is too long for a folder name; please pick a shorter one."},
	    {std::string(255, 'x'), ""},
	    {"Ventora 9 Demo", ""},
	    {"...", ""},
	};
	for (auto& c : cases) EXPECT_EQ(install_name_problem(c.name), c.want) << c.name;
}

TEST(WizardRegistry, AppendsOnceAndListsExistingFolders)
{
	files_tmp t;
	setenv("XDG_CONFIG_HOME", t("config").c_str(), 1);
	t.mkdir("a");
	t.mkdir("b");
	dest_dir_path = t("a/");
	register_new_ventora();
	register_new_ventora();
	dest_dir_path = t("gone/");
	register_new_ventora();
	const std::string reg = t("config/Ventora/ventora_install.txt");
	EXPECT_EQ(vtest::read_file_bytes(reg), t("a/") + "\n" + t("gone/") + "\n");
	// A last line without its line end, CR LF lines and empty lines.
	vtest::write_file_bytes(reg, t("a/") + "\r\n\r\n" + t("gone/") + "\n" + t("b/"));
	locate_all_ventoras();
	ASSERT_EQ(all_skyframes.size(), 2u);
	EXPECT_EQ(all_skyframes[0], t("a/"));
	EXPECT_EQ(all_skyframes[1], t("b/"));
	dest_dir_path = t("b/");
	register_new_ventora();
	EXPECT_EQ(vtest::read_file_bytes(reg), t("a/") + "\r\n\r\n" + t("gone/") + "\n" + t("b/"));
	unsetenv("XDG_CONFIG_HOME");
}

TEST(WizardRegistry, AnUnfinishedInstallIsKnownUntilFinishedAndRemovalLeavesOtherLinesAsTheyWere)
{
	files_tmp t;
	setenv("XDG_CONFIG_HOME", t("config").c_str(), 1);
	t.mkdir("a");
	t.mkdir("b");
	t.mkdir("config");
	t.mkdir("config/Ventora");
	const std::string reg = t("config/Ventora/ventora_install.txt");
	// Lines of older runs in every form the readers take.
	const std::string before = t("a/") + "\r\n\n" + t("gone/") + "\n";
	vtest::write_file_bytes(reg, before);
	dest_dir_path = t("b/");
	install_started(dest_dir_path);
	register_new_ventora();
	EXPECT_TRUE(install_unfinished(t("b/")));
	EXPECT_FALSE(install_unfinished(t("a/")));
	// The registry itself keeps one folder per line.
	EXPECT_EQ(vtest::read_file_bytes(reg), before + t("b/") + "\n");

	// Finished: no longer unfinished, still registered.
	install_finished(t("b/"));
	EXPECT_FALSE(install_unfinished(t("b/")));
	EXPECT_EQ(vtest::read_file_bytes(reg), before + t("b/") + "\n");

	// Discarded: the folder and its line go, the other lines stay byte for byte.
	install_started(dest_dir_path);
	t.write("b/file", "x");
	discard_partial_install();
	EXPECT_FALSE(vtest::path_exists(t("b/")));
	EXPECT_FALSE(install_unfinished(t("b/")));
	EXPECT_EQ(vtest::read_file_bytes(reg), before);
	ASSERT_EQ(all_skyframes.size(), 1u);
	EXPECT_EQ(all_skyframes[0], t("a/"));
	unsetenv("XDG_CONFIG_HOME");
}

TEST(WizardRegistry, AppendingKeepsEveryEntryWhateverTheFileHolds)
{
	files_tmp t;
	setenv("XDG_CONFIG_HOME", t("config").c_str(), 1);
	t.mkdir("a");
	t.mkdir("b");
	t.mkdir("c");
	t.mkdir("config");
	t.mkdir("config/Ventora");
	const std::string a = t("a/"), b = t("b/"), c = t("c/"), reg = t("config/Ventora/ventora_install.txt");
	const std::string nul(1, '\0');
	const struct {
		const char* what;
		std::string before;  // the file before c is registered
		std::string after;
		std::vector<std::string> listed;
	} cases[] = {
	    {"last line without its line end", a, a + "\n" + c + "\n", {a, c}},
	    {"last line ending in CR", a + "\r", a + "\r\n" + c + "\n", {a, c}},
	    {"a NUL ends the entry, not the line", a + nul + "junk\n" + b + "\n", a + nul + "junk\n" + b + "\n" + c + "\n",
	     {a, b, c}},
	    {"a NUL-cut entry equal to the folder", c + nul + "\n", c + nul + "\n", {c}},
	    {"empty file", "", c + "\n", {c}},
	};
	for (const auto& k : cases) {
		SCOPED_TRACE(k.what);
		vtest::write_file_bytes(reg, k.before);
		dest_dir_path = c;
		register_new_ventora();
		EXPECT_EQ(vtest::read_file_bytes(reg), k.after);
		locate_all_ventoras();
		EXPECT_EQ(all_skyframes, k.listed);
	}
	unsetenv("XDG_CONFIG_HOME");
}

TEST(WizardRegistry, SimulatorFolderNeedsTheFourFolders)
{
	files_tmp t;
	for (const char* d : {"sim/", "sim/Airfoils/", "sim/Instructions x/", "sim/Output/", "sim/My Resources/"}) t.mkdir(d);
	dest_dir_path = t("sim/");
	EXPECT_EQ(path_is_to_a_sim(), 1);
	t.mkdir("half/");
	t.mkdir("half/Airfoils/");
	t.write("half/Output", "a file does not count");
	t.mkdir("half/Instructions/");
	t.mkdir("half/Resources/");
	dest_dir_path = t("half/");
	EXPECT_EQ(path_is_to_a_sim(), 0);
	dest_dir_path = t("none/");
	EXPECT_EQ(path_is_to_a_sim(), 0);
	dest_dir_path = "";
	EXPECT_EQ(path_is_to_a_sim(), 0);
}

TEST(WizardStart, SelfCopyAndPathArgument)
{
	struct {
		const char* bundle;
		const char* temp;
		const char* dvd;
		int want;
	} cases[] = {{"/media/disc/Installer/", "/tmp/v/", "/media/disc/", 1},
	             {"/home/u/Installer/", "/tmp/v/", "/media/disc/", 0},
	             {"/media/disc/Installer/", "/tmp/v/", "", 0},
	             {"/tmp/v/Installer/", "/tmp/v/", "/tmp/", 0},  // already the copy
	             {"/home/u/Installer/", "/tmp/v/", "/", 0},
	             {"/media/disc/Installer", "/tmp/v/", "/media/disc/", 1},
	             {"/media/d", "/tmp/v/", "/media/disc/", 0}};
	for (auto& c : cases) EXPECT_EQ(should_copy_self(c.bundle, c.temp, c.dvd), c.want) << c.bundle << " " << c.dvd;

	const char* only[] = {"prog", "-path"};
	const char* other[] = {"prog", "-x", "/a"};
	const char* rel[] = {"prog", "-path", "copies/one"};
	const char* abs[] = {"prog", "-path", "/opt/Ventora/"};
	EXPECT_EQ(path_argument(2, only, "/start/"), "");
	EXPECT_EQ(path_argument(3, other, "/start/"), "");
	EXPECT_EQ(path_argument(3, rel, "/start/"), "/start/copies/one/");
	EXPECT_EQ(path_argument(3, abs, "/start/"), "/opt/Ventora/");
}

TEST(WizardFrame, BarAndIconSizes)
{
	struct {
		float p, want;
	} bars[] = {{-1, 0}, {-0.01f, 0}, {0, 20.8f}, {0.5f, 270.4f}, {1, 520}, {7, 520}};
	for (auto& c : bars) EXPECT_NEAR(wizard_bar_width(c.p), c.want, 0.01) << c.p;
	EXPECT_EQ(wizard_bar_width(std::numeric_limits<float>::quiet_NaN()), 0);
	struct {
		int icon, lang;
		float want;
	} icons[] = {{0, 0, 56}, {0, 1, 91}, {0, 2, 96}, {2, 0, 101}, {2, 2, 75}, {6, 1, 96}, {7, 0, 0}};
	for (auto& c : icons) EXPECT_EQ(interface_icon_width(c.icon, c.lang), c.want) << c.icon << " " << c.lang;
}
