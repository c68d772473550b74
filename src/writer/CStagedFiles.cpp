#include "writer/CStagedFiles.h"

#include <unistd.h>

#include <cstdio>

#include "base/CPdfException.h"

CStagedFiles::~CStagedFiles() {
    for (const uint64_t start : slots_) {
        if (start != kEmpty) ::unlink(names_.c_str() + start);
    }
}

void CStagedFiles::Take(size_t slot, std::string_view temporaryPath, std::string_view path) {
    const std::lock_guard<std::mutex> lock(mutex_);
    slots_.at(slot) = names_.size();
    names_.append(temporaryPath).push_back('\0');
    names_.append(path).push_back('\0');
}

void CStagedFiles::Commit() {
    for (uint64_t& start : slots_) {
        if (start == kEmpty) continue;
        const char* temporaryPath = names_.c_str() + start;
        const char* path = temporaryPath + std::char_traits<char>::length(temporaryPath) + 1;
        if (std::rename(temporaryPath, path) != 0) throw CPdfException("Output file write error");
        start = kEmpty;
    }
}
