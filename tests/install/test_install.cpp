// Vistrel as people install it. Install: the run paths of every object in the staged tree and in
// an install; cmake --install into a prefix with nothing else writable; that tree copied elsewhere
// running (the channel tool, the application's first broadcast frame on Xvfb); the desktop files
// and manual pages validating; the uninstall target leaving nothing. Package: the Debian package
// built from the source tree, installed with apt-get into a private overlay of this system, run
// with no build-tree path in sight, and purged without a trace.
#include "tests/support/Broadcast.h"
#include "tests/support/ComponentBinding.h"
#include "tests/support/XServer.h"

#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sched.h>
#include <sstream>
#include <sys/mount.h>
#include <sys/statvfs.h>

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

// The run path entries of the objects under root that do not start at the object ($ORIGIN) or
// lead out of root: an empty, relative, absolute or build-tree entry (readelf reads only objects).
std::vector<std::string> BadRunPaths(const std::string& root) {
    std::vector<std::string> bad;
    for (const auto& file : fs::recursive_directory_iterator(root)) {
        if (file.is_symlink() || !file.is_regular_file()) continue;
        const std::string dynamic = RunProcess({"/usr/bin/readelf", "-d", file.path()}).out;
        for (size_t at = dynamic.find("path: ["); at != std::string::npos;
             at = dynamic.find("path: [", at + 1)) {
            std::istringstream list(dynamic.substr(at + 7, dynamic.find(']', at) - at - 7) + ":");
            for (std::string path; std::getline(list, path, ':');)
                if (!path.starts_with("$ORIGIN") ||
                    fs::path(file.path().parent_path().string() + path.substr(7))
                        .lexically_normal()
                        .lexically_relative(root)
                        .string()
                        .starts_with(".."))
                    bad.push_back(file.path().string() + ": \"" + path + "\"");
        }
    }
    return bad;
}

// A program started with nothing from this test's environment but what it names (and the
// sanitizers' settings in a sanitizer build).
std::vector<std::string> Clean(const std::string& home, std::vector<std::string> argv) {
    argv.insert(argv.begin(),
                {"/usr/bin/env", "-i", "PATH=/usr/bin:/bin", "HOME=" + home,
                 "XDG_DATA_HOME=" + home + "/data", "XDG_CONFIG_HOME=" + home + "/config"});
    for (const char* name : {"ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS"})
        if (const char* value = std::getenv(name))
            argv.insert(argv.begin() + 2, std::string(name) + "=" + value);
    return argv;
}

// An install as an ordinary user, then what it holds, checked in turn: the run paths, the desktop
// files and manual pages, every program's options, the tree running from a copy, the uninstall.
TEST(Install, AnInstallIsSelfContainedValidRunsWhereverItIsCopiedAndUninstallsWithoutATrace) {
    TempFolder temp;
    const std::string prefix = temp / "prefix", home = temp / "home";
    // The build tree's manifest stays the user's: this program's mount namespace sees a copy.
    const std::string manifest = VISTREL_BUILD_DIR "/install_manifest.txt";
    if (!Exists(manifest)) WriteFile(manifest, "");
    WriteFile(temp / "manifest", "");
    ASSERT_EQ(::mount((temp / "manifest").c_str(), manifest.c_str(), nullptr, MS_BIND, nullptr), 0)
        << std::strerror(errno);
    // The root file system read-only, as for an ordinary user, who may write to /tmp (a file
    // system of its own here) and nowhere else.
    Child install([&] {
        struct statvfs st;
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::statvfs("/", &st) != 0 ||
            ::mount(nullptr, "/", nullptr,
                    MS_REMOUNT | MS_BIND | MS_RDONLY | (st.f_flag & ST_NOSUID ? MS_NOSUID : 0) |
                        (st.f_flag & ST_NODEV ? MS_NODEV : 0),
                    nullptr) != 0)
            return 125;
        return Exec({VISTREL_CMAKE, "--install", VISTREL_BUILD_DIR, "--prefix", prefix});
    });
    ASSERT_TRUE(install.Wait(300));
    ASSERT_EQ(install.exitCode, 0) << install.out << install.err;

    // No object of the stage or the install has a run path outside its tree.
    EXPECT_EQ(BadRunPaths(VISTREL_STAGE), std::vector<std::string>{});
    EXPECT_EQ(BadRunPaths(prefix), std::vector<std::string>{});

    // The desktop entries, the metadata and the manual pages validate.
    const std::string share = prefix + "/share/";
    std::vector<std::vector<std::string>> checks = {
        {"desktop-file-validate", share + "applications/com.tarnwick.Vistrel.desktop"},
        {"desktop-file-validate", share + "vistrel/autostart/com.tarnwick.Vistrel.desktop"},
        {"appstreamcli", "validate", "--no-net",
         share + "metainfo/com.tarnwick.Vistrel.metainfo.xml"}};
    for (const char* page : {"vistrel", "vistrel-channel", "vistrel-rtsp", "vistrel-pipewire"})
        checks.push_back(
            {"man", "--warnings", "-l", "-Tutf8", "-Z", share + "man/man1/" + page + ".1"});
    for (std::vector<std::string> check : checks) {
        ASSERT_TRUE(XServer::Installed(check[0]))
            << check[0] << " is missing: scripts/install-deps.sh";
        check[0] = XServer::ProgramPath(check[0]);
        const ProcessResult run = RunProcess(check);
        EXPECT_EQ(run.exitCode, 0) << check.back() << run.out << run.err;
        EXPECT_EQ(run.err, "") << check.back();
    }

    // Every installed program, with no display and nothing from the build tree: help and version
    // on standard output with status 0 (the version the package's), an unknown option in one line
    // on standard error with status 2.
    size_t programs = 0;
    for (const auto& entry : fs::directory_iterator(prefix + "/bin")) {
        const std::string name = entry.path().filename();
        ++programs;
        // The option, its status and the whole of standard output, or with ... its start.
        for (const auto& [option, status, expected] :
             {std::tuple<std::string, int, std::string>{"--help", 0, "usage: " + name + "..."},
              {"--version", 0, name + " " VISTREL_VERSION "\n"},
              {"--no-such-option", 2, ""}}) {
            const ProcessResult run = RunProcess(Clean(home, {entry.path(), option}));
            const std::string what = name + " " + option + "\n" + run.out + run.err;
            EXPECT_EQ(run.exitCode, status) << what;
            std::string out = run.out;
            if (expected.ends_with("...")) out = out.substr(0, expected.size() - 3) + "...";
            if (!out.empty()) out[0] = char(std::tolower(out[0]));
            EXPECT_EQ(out, expected) << what;
            if (status == 0)
                EXPECT_EQ(run.err, "") << what;
            else
                EXPECT_TRUE(run.err.starts_with(name + ": ") &&
                            run.err.find('\n') == run.err.size() - 1)
                    << what;
        }
    }
    EXPECT_GE(programs, 4u) << "vistrel, vistrel-channel, vistrel-rtsp, vistrel-pipewire";

    // The tree runs wherever it is put, found by nothing but its own run paths and main bundle:
    const std::string copy = temp / "copy";
    fs::copy(prefix, copy, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
    const std::string tool = copy + "/bin/vistrel-channel";
    // Its channel tool publishing while its reader reads.
    binding::RemoveChannel();
    Child publisher([&] { return Exec(Clean(home, {tool, "publish", "--seconds", "30"})); });
    ProcessResult read = RunProcess(Clean(home, {tool, "read", "--wait", "10"}));
    EXPECT_EQ(read.exitCode, 0) << read.out << read.err << publisher.ErrSoFar();
    EXPECT_TRUE(publisher.Stop(10)) << publisher.ErrSoFar();
    // Its application broadcasting from its start on a private Xvfb: the first frame it publishes.
    ASSERT_TRUE(XServer::Installed("Xvfb")) << "Xvfb is missing: scripts/install-deps.sh";
    const std::unique_ptr<XServer> server = XServer::Xvfb({1024, 768});
    ASSERT_TRUE(server->Running()) << server->Log();
    binding::RemoveChannel();
    fs::create_directories(home + "/config");
    WriteFile(home + "/config/com.tarnwick.Vistrel.conf", "[Integers]\n_rebroadcastButton=1\n");
    const std::vector<std::string> app =
        Clean(home, {"DISPLAY=" + server->Display(), "QT_QPA_PLATFORM=xcb", copy + "/bin/vistrel"});
    Child vistrel([&] { return Exec(app); });
    read = RunProcess(Clean(home, {tool, "read", "--wait", "20"}));
    EXPECT_EQ(read.exitCode, 0) << read.out << read.err << vistrel.ErrSoFar();
    EXPECT_TRUE(vistrel.Stop(20)) << vistrel.ErrSoFar();

    // Then the uninstall target takes away every file and folder the install made.
    const ProcessResult uninstall =
        RunProcess({VISTREL_CMAKE, "--build", VISTREL_BUILD_DIR, "--target", "uninstall"});
    EXPECT_EQ(uninstall.exitCode, 0) << uninstall.out << uninstall.err;
    EXPECT_FALSE(fs::exists(prefix)) << RunProcess({"/usr/bin/find", prefix}).out;
}

// Builds and installs into this system, so it runs as root with apt-get only, alone, and in a
// private overlay of /usr, /etc and /var that no other process sees.
TEST(Package, InstallsRunsWithoutTheBuildTreeAndPurgesWithoutATrace) {
    std::ifstream map("/proc/self/uid_map");
    std::string inside, outside;
    if (::geteuid() != 0 || !(map >> inside >> outside) || outside != "0" ||
        !XServer::Installed("apt-get"))
        GTEST_SKIP() << "installing a package needs root and apt-get";
    TempFolder temp;
    const std::string home = temp / "home";
    // The overlay comes first: what the package's script may install for its build goes there too.
    for (const std::string folder : {"/usr", "/etc", "/var"}) {
        const std::string upper = temp / ("system" + folder);
        fs::create_directories(upper + "/upper");
        fs::create_directories(upper + "/work");
        const std::string options =
            "lowerdir=" + folder + ",upperdir=" + upper + "/upper,workdir=" + upper + "/work";
        ASSERT_EQ(::mount("overlay", folder.c_str(), "overlay", 0, options.c_str()), 0)
            << folder << ": " << std::strerror(errno);
    }
    std::vector<std::string> build = {VISTREL_SOURCE_DIR "/scripts/package.sh",
                                      VISTREL_BUILD_DIR "/package"};
    for (const char* option : {VISTREL_PACKAGE_OPTIONS})
        build.push_back(option);
    Child built([&] { return Exec(build); });
    ASSERT_TRUE(built.Wait(3000));
    ASSERT_EQ(built.exitCode, 0) << built.out << built.err;
    // The script's last line names the package.
    const std::string out = built.out.substr(0, built.out.find_last_not_of('\n') + 1);
    const std::string deb = out.substr(out.find_last_of('\n') + 1);
    const auto apt = [](const std::string& action, const std::string& package) {
        const ProcessResult run =
            RunProcess({"/usr/bin/apt-get", "-y", "-q", "--no-install-recommends", action, package},
                       {"DEBIAN_FRONTEND=noninteractive"});
        return run.exitCode == 0 ? std::string() : run.out + run.err;
    };
    ASSERT_EQ(apt("install", deb), "");
    const std::string files = RunProcess({"/usr/bin/dpkg", "-L", "vistrel"}).out;

    // The program says the version the package has.
    EXPECT_EQ(RunProcess(Clean(home, {"vistrel", "--version"})).out,
              "vistrel " +
                  RunProcess({"/usr/bin/dpkg-query", "-W", "-f", "${Version}", "vistrel"}).out +
                  "\n");
    // Every object is stripped, the half the second configuration builds too.
    std::istringstream objects(files);
    for (std::string path; std::getline(objects, path);) {
        if (fs::is_regular_file(path) && ReadFile(path).starts_with("\177ELF")) {
            EXPECT_EQ(RunProcess({"/usr/bin/readelf", "-S", path}).out.find(".debug_"),
                      std::string::npos)
                << path;
        }
    }
    // (That the installed tree runs as a whole, the channel tool and the application, the install
    // test shows of any prefix; here what only the system's own folders decide.)
    const ProcessResult inspect = RunProcess(Clean(home, {"gst-inspect-1.0", "vistrelsrc"}));
    EXPECT_EQ(inspect.exitCode, 0) << inspect.out << inspect.err;
    // The filter reads the installed VistrelX64 a user linked: the last of four published frames.
    const std::string lib = StageLibPath("").substr(StagePath("").size());
    fs::create_directories(home + "/data/vistrel/components");
    fs::create_directory_symlink("/usr/" + lib + "vistrel/VistrelX64.component",
                                 home + "/data/vistrel/components/VistrelX64.component");
    RunProcess(Clean(home, {"vistrel-channel", "publish", "--frames", "4", "--no-install"}));
    const ProcessResult frame = RunProcess(Clean(
        home, {"ffmpeg", "-loglevel", "error", "-f", "lavfi", "-i",
               "frei0r_src=size=640x480:framerate=30:filter_name=cilookpaneinput:filter_params=",
               "-frames:v", "1", "-f", "rawvideo", "-pix_fmt", "argb", temp / "frame.raw"}));
    EXPECT_EQ(frame.exitCode, 0) << frame.err;
    const std::string argb = ReadFile(temp / "frame.raw");
    ASSERT_EQ(argb.size(), 640u * 480 * 4);
    EXPECT_EQ(broadcast::Counter(reinterpret_cast<const uint8_t*>(argb.data())), 3u);

    ASSERT_EQ(apt("purge", "vistrel"), "");
    std::istringstream list(files);
    for (std::string path; std::getline(list, path);)
        EXPECT_TRUE(!fs::exists(fs::symlink_status(path)) ||
                    (fs::is_directory(path) &&
                     RunProcess({"/usr/bin/dpkg-query", "-S", path}).exitCode == 0))
            << path << " is left";
    EXPECT_EQ(
        RunProcess({"/usr/bin/find", "/usr", "/etc", "/var", "-xdev", "-iname", "*vistrel*"}).out,
        "");
}

} // namespace
