#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "stamp/BatchOptions.h"
#include "stamp/StampOptions.h"

// The option words after the mode word: the input and output file names,
// then the parameters, each tried against the mode's tests in a fixed order.
// Pattern tests follow sscanf exactly; unknown words are ignored. Throws
// "Error parameter" for too few words, a parameter that does not begin with
// "-", or a string option with no word after it.
// Pages mode: the input file name, then parameters (-password; unknown ones ignored).
void ParsePagesParams(const std::vector<std::string>& words, std::string& inputFile, std::string& password);
void ParseTextParams(const std::vector<std::string>& words, TextStampOptions& options, std::string& inputFile,
                     std::string& outputFile);
// Batch mode: the list file, then text mode's parameters, -log and -workers
// (at least 1).
void ParseBatchParams(const std::vector<std::string>& words, BatchOptions& options);
void ParseImageParams(const std::vector<std::string>& words, ImageStampOptions& options, std::string& inputFile,
                      std::string& outputFile);

// The alignment -align names: "left", "center", and any other word right.
Alignment AlignmentOf(std::string_view word);
