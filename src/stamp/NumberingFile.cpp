#include "stamp/NumberingFile.h"

#include <sys/stat.h>

#include <cctype>
#include <cstdio>
#include <memory>

#include "base/CPdfException.h"

int32_t ReadNumberingFile(const std::string& path) {
    const std::unique_ptr<std::FILE, decltype(&std::fclose)> file(std::fopen(path.c_str(), "r"), &std::fclose);
    // A folder opens for reading too, but holds no number.
    struct stat info {};
    if (!file || ::fstat(::fileno(file.get()), &info) != 0 || S_ISDIR(info.st_mode))
        throw CPdfException("Output file create error");
    char text[11] = {};
    const size_t got = std::fread(text, 1, 10, file.get());
    size_t i = 0;
    while (i < got && std::isspace(static_cast<unsigned char>(text[i])) != 0) ++i;
    bool negative = false;
    if (i < got && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int64_t value = 0;
    for (; i < got && text[i] >= '0' && text[i] <= '9'; ++i) value = value * 10 + (text[i] - '0');
    if (negative) value = -value;
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(value)));
}
