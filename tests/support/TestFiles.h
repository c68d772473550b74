#pragma once

#include <string>
#include <vector>

// A fresh folder under the test temporary folder, removed with everything in
// it when the object goes.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);
// The names in a folder, without "." and "..".
std::vector<std::string> ListFolder(const std::string& path);

// The shared corpus of real files, or an empty string when it is absent.
std::string CorpusFolder();
