// includecheck SRC QT_HEADERS
//
// Reads every source file under SRC/core, SRC/gui and SRC/cli and checks two rules:
//  - a file of the core (SRC/core) includes no widget file: nothing under SRC/gui or
//    SRC/cli, and no header of Qt's GUI modules (QtGui, QtWidgets, QtPrintSupport, QtDBus),
//    looked up under QT_HEADERS;
//  - the includes between folders (core/common, core/storage, gui/app, cli, ...) form no
//    circle.
// Prints each breach with the include lines behind it and exits with 1 when there is one.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char *const kGuiModules[] = {"QtGui", "QtWidgets", "QtPrintSupport", "QtDBus"};

struct Include
{
    std::string file; // relative to SRC
    int line = 0;
    std::string text; // as written between the quotes or brackets
};

struct Tree
{
    fs::path src;
    fs::path qtHeaders;
    std::vector<std::string> files; // relative to SRC, with '/'
};

std::string relativeName(const fs::path &path, const fs::path &base)
{
    return path.lexically_relative(base).generic_string();
}

// The folder a file belongs to: "core/common", "gui/app", "cli".
std::string folderOf(const std::string &file)
{
    return fs::path(file).parent_path().generic_string();
}

// Where quoted includes are looked up after the including file's own folder. A core file
// is looked up in the widgets' folder too: such an include is the breach to report (the
// compiler would only say the file is missing).
std::vector<std::string> rootsOf(const std::string &file)
{
    if (file.rfind("core/", 0) == 0)
        return {"core", "gui", "cli"};
    if (file.rfind("gui/", 0) == 0)
        return {"gui", "core"};
    return {"cli", "core"};
}

// The file a quoted include names, relative to SRC, or "" when it is none of the tree's
// (a generated header, a moc file).
std::string resolve(const Tree &tree, const std::string &file, const std::string &text)
{
    std::vector<fs::path> candidates{fs::path(folderOf(file)) / text};
    for (const std::string &root : rootsOf(file))
        candidates.push_back(fs::path(root) / text);
    for (const fs::path &candidate : candidates) {
        const fs::path normal = candidate.lexically_normal();
        if (fs::is_regular_file(tree.src / normal))
            return normal.generic_string();
    }
    return {};
}

// The GUI module that provides an angle-bracket include, or "".
std::string guiModuleOf(const Tree &tree, const std::string &text)
{
    for (const char *module : kGuiModules) {
        if (text.rfind(std::string(module) + "/", 0) == 0 || text == module)
            return module;
        if (!tree.qtHeaders.empty() && fs::is_regular_file(tree.qtHeaders / module / text))
            return module;
    }
    return {};
}

// Strongly connected components of the folder graph with more than one folder.
std::vector<std::vector<std::string>> circles(
    const std::map<std::string, std::set<std::string>> &edges)
{
    std::map<std::string, int> index, low;
    std::vector<std::string> stack;
    std::set<std::string> onStack;
    std::vector<std::vector<std::string>> found;
    int next = 0;
    std::function<void(const std::string &)> visit = [&](const std::string &v) {
        index[v] = low[v] = next++;
        stack.push_back(v);
        onStack.insert(v);
        if (auto it = edges.find(v); it != edges.end()) {
            for (const std::string &w : it->second) {
                if (!index.count(w)) {
                    visit(w);
                    low[v] = std::min(low[v], low[w]);
                } else if (onStack.count(w)) {
                    low[v] = std::min(low[v], index[w]);
                }
            }
        }
        if (low[v] == index[v]) {
            std::vector<std::string> component;
            std::string w;
            do {
                w = stack.back();
                stack.pop_back();
                onStack.erase(w);
                component.push_back(w);
            } while (w != v);
            if (component.size() > 1) {
                std::sort(component.begin(), component.end());
                found.push_back(component);
            }
        }
    };
    for (const auto &[v, targets] : edges) {
        if (!index.count(v))
            visit(v);
    }
    return found;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::cerr << "usage: includecheck SRC [QT_HEADERS]\n";
        return 2;
    }
    Tree tree;
    tree.src = fs::path(argv[1]);
    if (argc > 2)
        tree.qtHeaders = fs::path(argv[2]);
    for (const char *part : {"core", "gui", "cli"}) {
        if (!fs::is_directory(tree.src / part))
            continue;
        for (const auto &entry : fs::recursive_directory_iterator(tree.src / part)) {
            const std::string ext = entry.path().extension().string();
            if (entry.is_regular_file() && (ext == ".h" || ext == ".cpp"))
                tree.files.push_back(relativeName(entry.path(), tree.src));
        }
    }
    std::sort(tree.files.begin(), tree.files.end());
    if (tree.files.empty()) {
        std::cerr << "includecheck: no source files under " << tree.src << "\n";
        return 2;
    }

    const std::regex includeLine(R"(^\s*#\s*include\s*([<"])([^>"]+)[>"])");
    int breaches = 0;
    std::map<std::string, std::set<std::string>> edges;
    std::map<std::pair<std::string, std::string>, std::vector<Include>> edgeLines;
    for (const std::string &file : tree.files) {
        std::ifstream in(tree.src / file);
        std::string text;
        int lineNumber = 0;
        const bool core = file.rfind("core/", 0) == 0;
        while (std::getline(in, text)) {
            ++lineNumber;
            std::smatch match;
            if (!std::regex_search(text, match, includeLine))
                continue;
            const Include include{file, lineNumber, match[2]};
            if (match[1] == "<") {
                const std::string module = guiModuleOf(tree, include.text);
                if (core && !module.empty()) {
                    std::cout << file << ":" << lineNumber << ": a core file includes <"
                              << include.text << "> of " << module << "\n";
                    ++breaches;
                }
                continue;
            }
            const std::string target = resolve(tree, file, include.text);
            if (target.empty())
                continue;
            if (core && target.rfind("core/", 0) != 0) {
                std::cout << file << ":" << lineNumber << ": a core file includes \""
                          << include.text << "\", which is " << target << "\n";
                ++breaches;
            }
            const std::string from = folderOf(file);
            const std::string to = folderOf(target);
            if (from != to) {
                edges[from].insert(to);
                edgeLines[{from, to}].push_back(include);
            }
        }
    }
    for (const std::vector<std::string> &component : circles(edges)) {
        ++breaches;
        std::cout << "the includes of these folders go round in a circle:";
        for (const std::string &folder : component)
            std::cout << " " << folder;
        std::cout << "\n";
        for (const std::string &from : component) {
            for (const std::string &to : component) {
                auto it = edgeLines.find({from, to});
                if (it == edgeLines.end())
                    continue;
                for (const Include &include : it->second)
                    std::cout << "  " << include.file << ":" << include.line << ": \""
                              << include.text << "\"\n";
            }
        }
    }
    if (breaches == 0)
        std::cout << tree.files.size() << " files: no core file includes a widget header and "
                  << "no folders include each other in a circle\n";
    return breaches == 0 ? 0 : 1;
}
