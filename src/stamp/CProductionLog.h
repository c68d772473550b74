#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "writer/COutputFile.h"

// The production log of a batch (-log): CSV as RFC 4180 has it, a header
// and then one row per document in production order with its input, its
// output, the numbers on its first and last stamped pages as they are stamped
// (prefix, leading zeros, Roman numerals) and its page count. The file is
// written under a temporary name and put in place by Commit, else removed.
class CProductionLog {
public:
    // Throws "Log file create error" when the file cannot be created.
    explicit CProductionLog(const std::string& path);

    void AddRow(std::string_view input, std::string_view output, std::string_view first, std::string_view last,
                int32_t pages);
    void Commit() { file_.Commit(); }

    // One field: as it is, or between double quotes with each quote doubled
    // when it holds a comma, a double quote or a line end.
    static std::string Field(std::string_view text);

private:
    COutputFile file_;
};
