// The folders an applet run may change, as the allocation-failure sweep sees them: listings with
// a digest of every file, putting a folder back as it was before a run, and comparing what a
// failed run left with what a whole run leaves.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

// One entry of a folder tree: a folder, a file (its size and digest) or a symbolic link (its
// target as the digest text). `stamp` tells whether the file changed since it was digested.
struct SweepEntry {
    char type = 0;  // 'd', 'f' or 'l'
    uint64_t size = 0;
    uint64_t digest = 0;
    std::string link;
    int64_t mtimeNs = 0;
    uint64_t inode = 0;

    bool SameContent(const SweepEntry& o) const {
        return type == o.type && size == o.size && digest == o.digest && link == o.link;
    }
};

// Every entry under a set of roots, by absolute path (the roots themselves are not entries).
using SweepTree = std::map<std::string, SweepEntry>;

// Lists the roots, leaving out the paths in `ignore`. Files whose size, time stamp and inode match
// their entry in `known` keep its digest without being read again.
SweepTree ListTrees(const std::vector<std::string>& roots, const SweepTree& known,
                    const std::set<std::string>& ignore = {});

// Copies each root into `store` (one numbered folder per root). False when a copy fails.
bool SaveTrees(const std::vector<std::string>& roots, const std::string& store, std::string* error);

// Puts each root back as `store` holds it, touching only entries that differ from `saved` (the
// listing taken right after the last restore or save) and never the paths in `ignore`. False
// when that fails.
bool RestoreTrees(const std::vector<std::string>& roots, const std::string& store, const SweepTree& saved,
                  const std::set<std::string>& ignore, std::string* error);

// The folders a run with this folder, these arguments and this environment may change: for
// each of them that lies inside the temporary folder, the top folder below it. The sweep's own
// folder is left out.
std::vector<std::string> SweepRoots(const std::string& cwd, const std::vector<std::string>& paths,
                                    const std::string& tempRoot, const std::string& exclude);
