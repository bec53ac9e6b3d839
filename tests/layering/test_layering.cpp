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

bool IsSource(const fs::path& path) {
    return std::set<std::string>{".cpp", ".h", ".c"}.count(path.extension().string());
}

Graph IncludeGraph() {
    Graph graph;
    ForEachFile([&](const fs::path& path, const std::string& text) {
        std::istringstream lines(IsSource(path) ? text : "");
        for (std::string line; std::getline(lines, line);)
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
// components and the digitizer's header, never the channel.
void ExpectDownward(const Graph& graph, const std::string& uses) {
    ASSERT_GT(graph.size(), 10u) << "the source tree was not found";
    for (const auto& [from, targets] : graph)
        for (const std::string& to : targets) {
            EXPECT_LE(LayerOf(to), LayerOf(from)) << from << uses << " the higher " << to;
            EXPECT_FALSE(from.starts_with("hosts") && to.starts_with("channel"))
                << from << uses << " " << to;
        }
}

TEST(Layering, LinksPointDown) {
    ExpectDownward(LinkGraph(), " links");
}

TEST(Layering, IncludesPointDownAndNeverLoop) {
    const Graph graph = IncludeGraph();
    ExpectDownward(graph, " includes");

    // Depth-first search; a unit met again while it is still open closes a loop.
    std::map<std::string, int> state; // 1 open, 2 done
    std::function<void(const std::string&, std::string)> visit = [&](const std::string& unit,
                                                                     std::string trail) {
        trail += unit;
        if (state[unit] == 1) ADD_FAILURE() << "include loop: " << trail;
        if (state[unit] != 0) return;
        state[unit] = 1;
        if (graph.count(unit))
            for (const std::string& next : graph.at(unit))
                visit(next, trail + " -> ");
        state[unit] = 2;
    };
    for (const auto& [unit, targets] : graph)
        visit(unit, "");
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
    ForEachFile([&](const fs::path& path, const std::string& text) {
        if (!IsSource(path) || IsX11File(path)) return;
        ++read;
        std::istringstream lines(text);
        int number = 0;
        for (std::string line; std::getline(lines, line);) {
            const std::string name = IncludedName(line);
            if (++number, name.starts_with("xcb/") || name.starts_with("X11/") ||
                              (!name.empty() && IsX11File(name)) || std::regex_search(line, x11))
                ADD_FAILURE() << path.string() << ":" << number << ": " << line;
        }
    });
    EXPECT_GT(read, 100u) << "the source tree was not found";
}

} // namespace
