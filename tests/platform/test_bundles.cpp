// Finding bundles in their folders, and the running program's own bundle.
#include "platform/bundles/BundleFolders.h"
#include "platform/bundles/PlatformBundle.h"
#include "platform/bundles/PlatformMainBundle.h"
#include "tests/support/TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

using namespace platform::bundles;
using testsupport::WriteFile;
namespace fs = std::filesystem;

namespace {

// Two folders of bundles in every shape a folder can hold, the first partly linking into the
// second.
TEST(BundleFolders, EveryBundleOnceInFolderAndNameOrderWithItsInfoWhenThatIsARegularFile) {
    testsupport::TempFolder temp;
    const std::string root = fs::canonical(temp.Path()), a = root + "/a", b = root + "/b";
    for (const char* bundle :
         {"a/Dir.component/Contents/Info.ini", "a/Fifo.component/Contents", "a/Two.component",
          "a/Other.plugin", "a/.Hidden.component", "a/One.component/Contents",
          "b/Real.component/Contents", "b/Zed.component"})
        fs::create_directories(root + "/" + bundle);
    WriteFile(a + "/One.component/Contents/Info.ini", "CFBundleIdentifier=one\n");
    WriteFile(b + "/Real.component/Contents/Info.ini", "# real\n\nCFBundleIdentifier=real\n");
    WriteFile(a + "/Plain.component", "a file, not a bundle");
    ASSERT_EQ(::mkfifo((a + "/Fifo.component/Contents/Info.ini").c_str(), 0600), 0);
    fs::create_directory_symlink(b + "/Real.component", a + "/Link.component");
    fs::create_directory_symlink(root + "/nowhere", a + "/Dangling.component");

    // An extension, the bundles found: path below the root, then the identifier or "-".
    const std::pair<const char*, std::vector<std::string>> cases[] = {
        {"",
         {"a/Dir.component -", "a/Fifo.component -", "b/Real.component real", "a/One.component one",
          "a/Other.plugin -", "a/Two.component -", "b/Zed.component -"}},
        {"plugin", {"a/Other.plugin -"}},
    };
    for (const auto& [extension, expected] : cases) {
        ::alarm(10); // a FIFO opened for reading would wait here for good
        std::vector<std::string> found;
        for (const FoundBundle& bundle : EnumerateBundles({a, root + "/missing", b}, extension))
            found.push_back(bundle.path.substr(root.size() + 1) + " " +
                            (bundle.hasInfo ? bundle.info.Value("CFBundleIdentifier") : "-"));
        ::alarm(0);
        EXPECT_EQ(found, expected) << extension;
    }
}

// A bundle's metadata or object that is no regular file, or far too large, is refused at once
// with the reason: nothing waits on a FIFO, nothing reads a sparse gigabyte.
TEST(Bundle, OnlyRegularFilesOfBoundedSizeAreReadOrLoaded) {
    testsupport::TempFolder temp;
    const std::string root = fs::canonical(temp.Path()), info = root + "/B/Contents/Info.ini",
                      object = root + "/B/Contents/Linux/" + ArchitectureFolder() + "/B.so";
    // The file made wrong, its size (-1: a FIFO), the refusal.
    const std::tuple<const std::string&, off_t, std::string> cases[] = {
        {info, -1, info + " is not a regular file"},
        {info, BundleInfo::kMaxBytes + 1, info + " is larger than 65536 bytes"},
        {info, BundleInfo::kMaxBytes, object + ": No such file or directory"},
        {object, -1, object + " is not a regular file"},
        {object, Bundle::kMaxExecutableBytes + 1, object + " is larger than 536870912 bytes"},
    };
    for (const auto& [file, size, refusal] : cases) {
        fs::remove_all(root + "/B");
        fs::create_directories(fs::path(object).parent_path());
        WriteFile(info, "CFBundleExecutable=B\n");
        if (file == object) WriteFile(object, "");
        if (size < 0) fs::remove(file);
        ASSERT_EQ(size < 0 ? ::mkfifo(file.c_str(), 0600) : ::truncate(file.c_str(), size), 0);
        ::alarm(10);
        const auto bundle = Bundle::Create(root + "/B");
        ASSERT_TRUE(bundle);
        EXPECT_FALSE(bundle->LoadExecutable());
        ::alarm(0);
        EXPECT_EQ(bundle->LoadError(), refusal);
    }
}

// <temp>/bin/host, an executable in an install tree, with share/host/Info.ini when info is given.
MainBundle Host(const testsupport::TempFolder& temp, const char* info) {
    fs::create_directories(temp / "bin");
    fs::copy_file("/proc/self/exe", temp / "bin/host", fs::copy_options::skip_existing);
    fs::create_directories(temp / "share/host/X.component");
    fs::create_directories(temp / "share/vistrel/Y.component");
    if (info) WriteFile(temp / "share/host/Info.ini", info);
    return MainBundle::ForExecutable(temp / "bin/host");
}

// (The identifier an install tree's metadata gives is the digitizer's test, a Resources key naming
// another program's folder the channel's.)
TEST(MainBundle, AnInstallTreeTakesItsResourcesFromShareAnyOtherIsBare) {
    testsupport::TempFolder temp;
    const std::string root = fs::canonical(temp.Path());
    MainBundle bundle = Host(temp, "CFBundleIdentifier=id\nCFBundleExecutable=host\n");
    EXPECT_TRUE(bundle.IsInstallTree());
    EXPECT_EQ(bundle.ExecutableFolder(), root + "/bin");
    EXPECT_EQ(bundle.ResourcePath("X", "component"), root + "/share/host/X.component");
    EXPECT_EQ(bundle.ResourcePath("X", "plugin") + bundle.ResourcePath("Y", "component"), "");

    fs::remove(temp / "share/host/Info.ini");
    bundle = Host(temp, nullptr);
    EXPECT_FALSE(bundle.IsInstallTree());
    EXPECT_EQ(bundle.Identifier(), "host");
    EXPECT_EQ(bundle.ResourcesFolder() + bundle.ResourcePath("X", "component"), "");
}

} // namespace
