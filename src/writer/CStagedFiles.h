#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

// Files written in full and closed under temporary names (COutputFile::Stage),
// to be put in place together: Commit renames each onto its path, in slot
// order; whatever was not put in place is removed when the set goes, so that
// a run that fails leaves no file behind and every existing file as it was.
// The names are kept in one buffer: a few bytes a file besides them.
class CStagedFiles {
public:
    explicit CStagedFiles(size_t slots) : slots_(slots, kEmpty) {}
    ~CStagedFiles();
    CStagedFiles(const CStagedFiles&) = delete;
    CStagedFiles& operator=(const CStagedFiles&) = delete;

    // The closed file at `temporaryPath`, to be renamed onto `path`; from any
    // thread, each slot once.
    void Take(size_t slot, std::string_view temporaryPath, std::string_view path);
    // Renames every staged file onto its path. Throws "Output file write
    // error" when one cannot be renamed; those renamed before it stay.
    void Commit();

private:
    static constexpr uint64_t kEmpty = UINT64_MAX;

    std::mutex mutex_;
    // Per slot, where its names start in `names_`, or kEmpty: the temporary
    // path and the path, each ended by a zero byte.
    std::vector<uint64_t> slots_;
    std::string names_;
};
