#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "stamp/CPdfFile.h"

// Pages mode: the number of pages a text run on the same input numbers (the M
// of "Page N / M"). The input is opened as a text run opens it, with the same
// checks of the catalog and the page tree and the same failures; no object
// beyond those is read and nothing is written.
class CPdfFilePageCount : public CPdfFile {
public:
    // The input file, then parameters (none is used yet; unknown ones are
    // ignored as in the other modes).
    bool ParseParams(const std::vector<std::string>& words) override;
    bool Process() override;

    int32_t pageCount() const { return pageCount_; }

private:
    int32_t pageCount_ = 0;
    // -password: opens an encrypted input, as in text mode; -repair, a damaged one.
    std::string password_;
    bool repair_ = false;
};
