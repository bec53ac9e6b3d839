// The tree's folders depend on each other one way only: an include or a link that reaches up a
// layer, an include loop between folders of one layer, or a use a rule below forbids fails here
// before it becomes a link-order surprise.
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Bottom to top. A folder may include its own layer's folders (without a loop) and lower layers.
const std::map<std::string, int> kLayers = {
    {"kernels", 0},   {"platform", 1}, {"core", 2}, {"pixels", 3}, {"channel", 3},
    {"component", 4}, {"plugin", 4},   {"app", 4},  {"hosts", 5},  {"tools", 5}};

// platform/x, app/x and hosts/x are units of their own; the other layers are one folder each.
std::string UnitOf(const std::string& path) {
    static const std::regex unit(R"(^(platform|app|hosts)/[^/]+(?=/)|^[^/]*)");
    std::smatch m;
    std::regex_search(path, m, unit);
    return m.str();
}

int LayerOf(const std::string& unit) {
    const auto found = kLayers.find(unit.substr(0, unit.find('/')));
    return found == kLayers.end() ? -1 : found->second;
}

using Graph = std::map<std::string, std::set<std::string>>;

// The name of an #include line, quoted or angled (a tree path in angles counts too), or "".
std::string IncludedName(const std::string& line) {
    static const std::regex include(R"(^\s*#\s*include\s*(?:"([^"]*)\"|<([^>]*)>))");
    std::smatch m;
    return std::regex_search(line, m, include) ? m[1].str() + m[2].str() : "";
}

// Every file of the layers' folders, with its path below the tree and its text.
void ForEachFile(const std::function<void(const fs::path&, const std::string&)>& use) {
    const fs::path root = VISTREL_SOURCE_DIR;
    for (const auto& [layer, rank] : kLayers)
        for (const auto& entry : fs::recursive_directory_iterator(root / layer))
            if (entry.is_regular_file())
                use(fs::relative(entry.path(), root), testsupport::ReadFile(entry.path()));
}

// Every line of the C and C++ files, with its number.
void ForEachSourceLine(const std::function<void(const fs::path&, int, const std::string&)>& use) {
    ForEachFile([&](const fs::path& path, const std::string& text) {
        const bool source = std::set<std::string>{".cpp", ".h", ".c"}.count(path.extension());
        std::istringstream lines(source ? text : "");
        int number = 0;
        for (std::string line; std::getline(lines, line);)
            use(path, ++number, line);
    });
}

Graph IncludeGraph() {
    Graph graph;
    ForEachSourceLine([&](const fs::path& path, int, const std::string& line) {
        if (const std::string to = UnitOf(IncludedName(line));
            LayerOf(to) >= 0 && to != UnitOf(path.string()))
            graph[UnitOf(path.string())].insert(to);
    });
    return graph;
}

// Each unit's CMakeLists.txt files: the units of the tree's targets they link
// (target_link_libraries, a bundle's LIBRARIES). Other names (system libraries, keywords) are not
// targets of the tree and are left out, and so are comments.
Graph LinkGraph() {
    static const std::regex comment("#.*"), name(R"([\w.:-]+)"),
        define(R"((?:add_library|add_executable|vistrel_add_bundle)\(\s*([\w.-]+))"),
        link(R"(target_link_libraries\(([^)]*)\)|\bLIBRARIES\b([^)]*)\))");
    std::map<std::string, std::string> definedIn;            // target, unit
    std::vector<std::pair<std::string, std::string>> linked; // unit, a name it links
    ForEachFile([&](const fs::path& path, const std::string& file) {
        if (path.filename() != "CMakeLists.txt") return;
        const std::string text = std::regex_replace(file, comment, "");
        for (std::sregex_iterator m(text.begin(), text.end(), define), end; m != end; ++m)
            definedIn[(*m)[1]] = UnitOf(path.string());
        for (std::sregex_iterator m(text.begin(), text.end(), link), end; m != end; ++m) {
            const std::string names = (*m)[1].str() + (*m)[2].str();
            for (std::sregex_iterator n(names.begin(), names.end(), name); n != end; ++n)
                linked.emplace_back(UnitOf(path.string()), n->str());
        }
    });
    Graph graph;
    for (const auto& [unit, target] : linked)
        if (definedIn.count(target)) graph[unit].insert(definedIn[target]);
    return graph;
}

// Every use points down the layers or stays in one; a host reaches the camera only through the
// components and the digitizer's header, never the channel. Includes within a layer never loop.
TEST(Layering, IncludesAndLinksPointDownAndIncludesNeverLoop) {
    const Graph includes = IncludeGraph();
    for (const auto& [graph, uses] : {std::pair{includes, " includes"}, {LinkGraph(), " links"}}) {
        ASSERT_GT(graph.size(), 10u) << "the source tree was not found";
        for (const auto& [from, targets] : graph)
            for (const std::string& to : targets) {
                EXPECT_LE(LayerOf(to), LayerOf(from)) << from << uses << " the higher " << to;
                EXPECT_FALSE(from.starts_with("hosts") && to.starts_with("channel"))
                    << from << uses << " " << to;
            }
    }
    // A unit that reaches itself is on a loop.
    Graph reach = includes;
    for (bool grew = true; grew;) {
        grew = false;
        for (auto& [unit, reached] : reach)
            for (const std::string& via : std::set<std::string>(reached))
                for (const std::string& next : reach[via])
                    grew |= reached.insert(next).second;
    }
    for (const auto& [unit, reached] : reach)
        EXPECT_FALSE(reached.count(unit)) << "an include loop through " << unit;
}

// X11 lives only in the X11 backends' files, named X<Capital>... (X11Window.cpp, XConnection.h),
// so that a second desktop's backend is one more file behind the same interfaces.
bool IsX11File(const fs::path& path) {
    static const std::regex name("X[A-Z0-9].*");
    return std::regex_match(path.filename().string(), name);
}

TEST(Layering, NoX11OutsideTheX11Files) {
    // An include of X11's headers or of an X11 file, or an X11 identifier.
    static const std::regex x11(R"((^|[^\w])(x11::|xcb_|XCB_))");
    size_t read = 0;
    ForEachSourceLine([&](const fs::path& path, int number, const std::string& line) {
        if (IsX11File(path)) return;
        ++read;
        const std::string name = IncludedName(line);
        if (name.starts_with("xcb/") || name.starts_with("X11/") ||
            (!name.empty() && IsX11File(name)) || std::regex_search(line, x11))
            ADD_FAILURE() << path.string() << ":" << number << ": " << line;
    });
    EXPECT_GT(read, 10000u) << "the source tree was not found"; // lines
}

} // namespace
