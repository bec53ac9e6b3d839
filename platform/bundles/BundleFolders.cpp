#include "platform/bundles/BundleFolders.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <set>
#include <sys/stat.h>

namespace platform::bundles {
namespace {

bool HasExtension(const std::string& name, std::string_view extension) {
    if (extension.empty()) return true;
    return name.size() > extension.size() + 1 &&
           name.compare(name.size() - extension.size(), extension.size(), extension) == 0 &&
           name[name.size() - extension.size() - 1] == '.';
}

std::vector<std::string> Entries(const std::string& folder, std::string_view extension) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return names;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name[0] != '.' && HasExtension(name, extension)) names.push_back(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

bool IsFolder(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

std::vector<std::string> SearchFolders(const BundleSearch& search) {
    std::vector<std::string> folders;
    for (files::Domain domain : search.domains)
        for (const std::string& folder : files::FindFolders(domain, search.folderType))
            if (std::find(folders.begin(), folders.end(), folder) == folders.end())
                folders.push_back(folder);
    return folders;
}

std::vector<FoundBundle> EnumerateBundles(const std::vector<std::string>& folders,
                                          std::string_view extension) {
    std::vector<FoundBundle> found;
    std::set<std::string> seen;
    for (const std::string& folder : folders) {
        for (const std::string& name : Entries(folder, extension)) {
            FoundBundle bundle;
            bundle.path = RealPath(folder + "/" + name);
            if (bundle.path.empty() || !IsFolder(bundle.path) || !seen.insert(bundle.path).second)
                continue;
            bundle.hasInfo = bundle.info.Read(bundle.path + "/Contents/Info.ini");
            found.push_back(std::move(bundle));
        }
    }
    return found;
}

std::string RealPath(const std::string& path) {
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

} // namespace platform::bundles
