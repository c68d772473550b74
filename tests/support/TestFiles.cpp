#include "support/TestFiles.h"

#include <cstdlib>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

namespace fs = std::filesystem;

TempFolder::TempFolder() {
    std::random_device random;
    const fs::path base = ::testing::TempDir();
    for (;;) {
        const fs::path candidate = base / ("brevano-" + std::to_string(random()));
        if (fs::create_directory(candidate)) {
            path_ = candidate.string();
            break;
        }
    }
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool FileExists(const std::string& path) { return fs::exists(path); }

std::vector<std::string> ListFolder(const std::string& path) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(path)) names.push_back(entry.path().filename().string());
    return names;
}

std::string CorpusFolder() {
    // A worktree elsewhere can name the corpus.
    if (const char* named = std::getenv("BREVANO_CORPUS"); named != nullptr && fs::is_directory(named))
        return fs::canonical(named).string();
    const fs::path corpus = fs::path(BREVANO_SOURCE_DIR) / ".." / "shared" / "corpus";
    return fs::is_directory(corpus) ? fs::canonical(corpus).string() : std::string();
}
