// The tree's folders depend on each other one way only: an include or a link that reaches up a
// layer, an include loop between folders of one layer, or a use a rule below forbids fails here
// before it becomes a link-order surprise.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Bottom to top. A folder may include its own layer's folders (without a loop) and lower layers.
const std::map<std::string, int> kLayers = {
    {"kernels", 0},   {"platform", 1}, {"core", 2}, {"pixels", 3}, {"channel", 3},
    {"component", 4}, {"plugin", 4},   {"app", 4},  {"hosts", 5},  {"tools", 5}};

// platform/x, app/x and hosts/x are units of their own; the other layers are one folder each.
std::string UnitOf(const std::string& path) {
    const auto slash = path.find('/');
    const std::string top = path.substr(0, slash);
    if (slash == std::string::npos || kLayers.count(top) == 0) return top;
    if (top == "platform" || top == "app" || top == "hosts") {
        const auto next = path.find('/', slash + 1);
        if (next != std::string::npos) return path.substr(0, next);
    }
    return top;
}

int LayerOf(const std::string& unit) {
    const auto found = kLayers.find(unit.substr(0, unit.find('/')));
    return found == kLayers.end() ? -1 : found->second;
}

// Uses the layers allow but the design does not: a host reaches the camera only through the
// components and the digitizer's header.
const std::pair<std::string, std::string> kNever[] = {{"hosts", "channel"}};

bool Forbidden(const std::string& from, const std::string& to) {
    return std::any_of(std::begin(kNever), std::end(kNever), [&](const auto& rule) {
        return from.starts_with(rule.first) && to.starts_with(rule.second);
    });
}

using Graph = std::map<std::string, std::set<std::string>>;

// The name of an #include line, quoted or angled (a tree path in angles counts too), or ""
// (spaces may follow the # and precede the name).
std::string IncludedName(const std::string& line) {
    size_t at = line.find_first_not_of(" \t");
    if (at == std::string::npos || line[at] != '#') return "";
    at = line.find_first_not_of(" \t", at + 1);
    if (at == std::string::npos || line.compare(at, 7, "include") != 0) return "";
    at = line.find_first_not_of(" \t", at + 7);
    if (at == std::string::npos || (line[at] != '"' && line[at] != '<')) return "";
    const size_t end = line.find(line[at] == '"' ? '"' : '>', at + 1);
    return end == std::string::npos ? "" : line.substr(at + 1, end - at - 1);
}

// Every C and C++ source of the layers' folders.
void ForEachSource(const fs::path& root, const std::function<void(const fs::path&)>& use) {
    for (const auto& [layer, rank] : kLayers) {
        if (!fs::exists(root / layer)) continue;
        for (const auto& entry : fs::recursive_directory_iterator(root / layer)) {
            const std::string ext = entry.path().extension();
            if (entry.is_regular_file() && (ext == ".cpp" || ext == ".h" || ext == ".c"))
                use(entry.path());
        }
    }
}

Graph IncludeGraph(const fs::path& root) {
    Graph graph;
    ForEachSource(root, [&](const fs::path& path) {
        const std::string from = UnitOf(fs::relative(path, root).string());
        std::ifstream file(path);
        for (std::string line; std::getline(file, line);) {
            const std::string to = UnitOf(IncludedName(line));
            if (LayerOf(to) >= 0 && to != from) graph[from].insert(to);
        }
    });
    return graph;
}

// A CMake file's words: names, quoted strings, "(" and ")"; comments left out.
std::vector<std::string> CMakeWords(std::istream& in) {
    std::vector<std::string> words;
    for (std::string line; std::getline(in, line);) {
        std::string word;
        bool quoted = false;
        for (size_t i = 0; i <= line.size(); ++i) {
            const char c = i < line.size() ? line[i] : ' ';
            if (c == '"') quoted = !quoted;
            if (c == '#' && !quoted && word.empty()) break;
            const bool paren = c == '(' || c == ')';
            if (quoted || !(std::isspace(uint8_t(c)) || paren)) {
                word += c;
                continue;
            }
            if (!word.empty()) words.push_back(std::move(word));
            word.clear();
            if (paren) words.emplace_back(1, c);
        }
    }
    return words;
}

// Each unit's CMakeLists.txt files: the units of the tree's targets they link
// (target_link_libraries, a bundle's LIBRARIES). Other names (system libraries, words) are not
// targets of the tree and are left out.
Graph LinkGraph(const fs::path& root) {
    std::vector<std::pair<std::string, std::vector<std::string>>> linked; // unit, names
    std::map<std::string, std::string> definedIn;                         // target, unit
    for (const auto& [layer, rank] : kLayers)
        for (const auto& entry : fs::recursive_directory_iterator(root / layer)) {
            if (entry.path().filename() != "CMakeLists.txt") continue;
            const std::string unit = UnitOf(fs::relative(entry.path(), root).string());
            std::ifstream file(entry.path());
            const std::vector<std::string> words = CMakeWords(file);
            for (size_t open = 1; open < words.size(); ++open) {
                if (words[open] != "(") continue;
                const std::string& command = words[open - 1];
                const auto close = std::find(words.begin() + long(open), words.end(), ")");
                const std::vector<std::string> args(words.begin() + long(open) + 1, close);
                if (args.empty()) continue;
                if (command == "add_library" || command == "add_executable" ||
                    command == "vistrel_add_bundle")
                    definedIn[args[0]] = unit;
                const auto from = command == "target_link_libraries"
                                      ? args.begin()
                                      : std::find(args.begin(), args.end(), "LIBRARIES");
                linked.emplace_back(unit, std::vector<std::string>(from, args.end()));
            }
        }
    Graph graph;
    for (const auto& [unit, names] : linked)
        for (const std::string& name : names)
            if (definedIn.count(name)) graph[unit].insert(definedIn[name]);
    return graph;
}

// Every use points down the layers or stays in one, and no rule forbids it.
void ExpectDownward(const Graph& graph, const std::string& uses) {
    ASSERT_GT(graph.size(), 10u) << "the source tree was not found";
    for (const auto& [from, targets] : graph)
        for (const std::string& to : targets) {
            EXPECT_LE(LayerOf(to), LayerOf(from)) << from << uses << " the higher " << to;
            EXPECT_FALSE(Forbidden(from, to)) << from << uses << " " << to;
        }
}

TEST(Layering, LinksPointDown) {
    ExpectDownward(LinkGraph(VISTREL_SOURCE_DIR), " links");
}

TEST(Layering, IncludesPointDownAndNeverLoop) {
    const Graph graph = IncludeGraph(VISTREL_SOURCE_DIR);
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
    const std::string name = path.filename();
    return name.size() > 1 && name[0] == 'X' && (std::isupper(name[1]) || std::isdigit(name[1]));
}

// An include of X11's headers or of an X11 file (quoted or angled), or an X11 identifier.
bool MentionsX11(const std::string& line) {
    const std::string name = IncludedName(line);
    if (name.starts_with("xcb/") || name.starts_with("X11/") || (!name.empty() && IsX11File(name)))
        return true;
    for (const char* word : {"x11::", "xcb_", "XCB_"})
        for (size_t at = line.find(word); at != std::string::npos; at = line.find(word, at + 1))
            if (at == 0 || !(std::isalnum(uint8_t(line[at - 1])) || line[at - 1] == '_'))
                return true;
    return false;
}

TEST(Layering, NoX11OutsideTheX11Files) {
    size_t read = 0;
    ForEachSource(VISTREL_SOURCE_DIR, [&](const fs::path& path) {
        if (IsX11File(path)) return;
        ++read;
        std::ifstream file(path);
        int number = 0;
        for (std::string line; std::getline(file, line);)
            if (++number, MentionsX11(line))
                ADD_FAILURE() << path.string() << ":" << number << ": " << line;
    });
    EXPECT_GT(read, 100u) << "the source tree was not found";
}

} // namespace
