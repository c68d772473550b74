#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Files written in full and closed under temporary names (COutputFile::Stage),
// to be put in place together: Commit renames each onto its path, in slot
// order; whatever was not put in place is removed when the set goes, so that
// a run that fails leaves no file behind and every existing file as it was.
class CStagedFiles {
public:
    explicit CStagedFiles(size_t slots) : staged_(slots) {}
    ~CStagedFiles();
    CStagedFiles(const CStagedFiles&) = delete;
    CStagedFiles& operator=(const CStagedFiles&) = delete;

    // The closed file at `temporaryPath`, to be renamed onto `path`. Slots
    // may be filled from several threads, each slot by one.
    void Take(size_t slot, std::string temporaryPath, std::string path);
    // Renames every staged file onto its path. Throws "Output file write
    // error" when one cannot be renamed; those renamed before it stay.
    void Commit();

private:
    struct Staged {
        std::string temporaryPath;  // empty once renamed, or for a slot never filled
        std::string path;
    };
    std::vector<Staged> staged_;
};
