#include "writer/CStagedFiles.h"

#include <unistd.h>

#include <cstdio>
#include <utility>

#include "base/CPdfException.h"

CStagedFiles::~CStagedFiles() {
    for (const Staged& file : staged_) {
        if (!file.temporaryPath.empty()) ::unlink(file.temporaryPath.c_str());
    }
}

void CStagedFiles::Take(size_t slot, std::string temporaryPath, std::string path) {
    staged_.at(slot) = {std::move(temporaryPath), std::move(path)};
}

void CStagedFiles::Commit() {
    for (Staged& file : staged_) {
        if (file.temporaryPath.empty()) continue;
        if (std::rename(file.temporaryPath.c_str(), file.path.c_str()) != 0)
            throw CPdfException("Output file write error");
        file.temporaryPath.clear();
    }
}
