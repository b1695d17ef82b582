#include "oom/sweep_files.h"

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <set>

namespace fs = std::filesystem;

namespace {

// FNV-1a over the bytes of a file.
uint64_t FileDigest(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    uint64_t h = 1469598103934665603ull;
    char buffer[65536];
    while (in) {
        in.read(buffer, sizeof buffer);
        std::streamsize n = in.gcount();
        for (std::streamsize i = 0; i < n; i++) {
            h ^= static_cast<unsigned char>(buffer[i]);
            h *= 1099511628211ull;
        }
    }
    return h;
}

void ListInto(const std::string& dir, const SweepTree& known, const std::set<std::string>& ignore, SweepTree* tree) {
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        std::string path = it->path().string();
        struct stat st;
        if (ignore.count(path) || lstat(path.c_str(), &st) != 0) continue;
        SweepEntry e;
        e.mtimeNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
        e.inode = st.st_ino;
        if (S_ISDIR(st.st_mode)) {
            e.type = 'd';
            (*tree)[path] = e;
            ListInto(path, known, ignore, tree);
            continue;
        }
        if (S_ISLNK(st.st_mode)) {
            e.type = 'l';
            e.link = fs::read_symlink(path, ec).string();
        } else if (S_ISREG(st.st_mode)) {
            e.type = 'f';
            e.size = static_cast<uint64_t>(st.st_size);
            auto k = known.find(path);
            if (k != known.end() && k->second.type == 'f' && k->second.size == e.size &&
                k->second.mtimeNs == e.mtimeNs && k->second.inode == e.inode)
                e.digest = k->second.digest;
            else
                e.digest = FileDigest(path);
        } else {
            continue;  // sockets and pipes are nobody's output
        }
        (*tree)[path] = e;
    }
}

std::string StoreFolder(const std::string& store, size_t index) { return store + "/" + std::to_string(index); }

}  // namespace

SweepTree ListTrees(const std::vector<std::string>& roots, const SweepTree& known,
                    const std::set<std::string>& ignore) {
    SweepTree tree;
    for (const std::string& root : roots) ListInto(root, known, ignore, &tree);
    return tree;
}

bool SaveTrees(const std::vector<std::string>& roots, const std::string& store, std::string* error) {
    for (size_t i = 0; i < roots.size(); i++) {
        std::error_code ec;
        fs::copy(roots[i], StoreFolder(store, i), fs::copy_options::recursive | fs::copy_options::copy_symlinks, ec);
        if (ec) {
            *error = "cannot save " + roots[i] + ": " + ec.message();
            return false;
        }
    }
    return true;
}

bool RestoreTrees(const std::vector<std::string>& roots, const std::string& store, const SweepTree& saved,
                  const std::set<std::string>& ignore, std::string* error) {
    SweepTree now = ListTrees(roots, saved, ignore);
    std::error_code ec;
    // Entries that are new or changed go; removing a folder removes what lies in it, so an entry
    // below one already removed is simply not there any more.
    for (const auto& [path, entry] : now) {
        auto s = saved.find(path);
        bool same = s != saved.end() && s->second.SameContent(entry) &&
                    (entry.type != 'f' || (s->second.mtimeNs == entry.mtimeNs && s->second.inode == entry.inode));
        struct stat st;
        if (same || lstat(path.c_str(), &st) != 0) continue;
        fs::remove_all(path, ec);
        if (ec) {
            *error = "cannot remove " + path + ": " + ec.message();
            return false;
        }
    }
    // Whatever is missing now comes back from the store, parents first (the map is sorted).
    for (size_t i = 0; i < roots.size(); i++) {
        const std::string from = StoreFolder(store, i);
        for (const auto& [path, entry] : saved) {
            if (path.rfind(roots[i] + "/", 0) != 0) continue;
            struct stat st;
            if (lstat(path.c_str(), &st) == 0) continue;
            std::string source = from + path.substr(roots[i].size());
            if (entry.type == 'd')
                fs::create_directory(path, source, ec);
            else if (entry.type == 'l')
                fs::copy_symlink(source, path, ec);
            else
                fs::copy_file(source, path, ec);
            if (ec) {
                *error = "cannot restore " + path + ": " + ec.message();
                return false;
            }
        }
    }
    return true;
}

// True when `tree` names an existing folder inside `top` (or `top` itself).
static bool HoldsTree(const fs::path& top, const char* tree) {
    std::error_code e;
    if (!tree || !*tree) return false;
    fs::path t = fs::weakly_canonical(tree, e);
    if (e || t.empty()) return false;
    fs::path rel = t.lexically_relative(top);
    return !rel.empty() && *rel.begin() != "..";
}

std::vector<std::string> SweepRoots(const std::string& cwd, const std::vector<std::string>& paths,
                                    const std::string& tempRoot, const std::string& exclude) {
    std::set<std::string> roots;
    std::error_code ec;
    fs::path temp = fs::weakly_canonical(tempRoot, ec);
    if (ec || temp.empty()) return {};
        // A checkout or build tree that lies in the temporary folder (a fresh clone under /tmp) is
        // never a run's own folder: copying and restoring it around every run would take the whole
        // tree, and the test runner's own files in it change while the runs go on.
#ifdef QZ_OOM_SOURCE_TREE
    const char* sourceTree = QZ_OOM_SOURCE_TREE;
#else
    const char* sourceTree = nullptr;
#endif
#ifdef QZ_OOM_BUILD_TREE
    const char* buildTree = QZ_OOM_BUILD_TREE;
#else
    const char* buildTree = nullptr;
#endif
    auto consider = [&](const std::string& given) {
        if (given.empty()) return;
        fs::path p = given[0] == '/' ? fs::path(given) : fs::path(cwd) / given;
        std::error_code e;
        if (!fs::exists(p, e)) return;
        p = fs::weakly_canonical(p, e);
        if (e) return;
        fs::path rel = p.lexically_relative(temp);
        if (rel.empty() || *rel.begin() == ".." || *rel.begin() == ".") return;
        fs::path top = temp / *rel.begin();
        if (top.string() == exclude || !fs::is_directory(top, e) || HoldsTree(top, sourceTree) ||
            HoldsTree(top, buildTree))
            return;
        roots.insert(top.string());
    };
    consider(cwd);
    for (const std::string& p : paths) consider(p);
    return {roots.begin(), roots.end()};
}
