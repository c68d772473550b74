#pragma once

#include <cstdint>
#include <string>

#include "stamp/StampOptions.h"

// Batch mode: the list of documents, the text mode settings every document
// is stamped with, and what only a batch has.
struct BatchOptions {
    // The list: one input and its output per line, separated by a tab.
    std::string listFile;
    TextStampOptions text;
    // -log: the production log (CSV), none when empty.
    std::string logFile;
    // -workers: the documents handled at once; 0 for one per processor.
    int32_t workers = 0;
};
