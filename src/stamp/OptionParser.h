#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "stamp/BatchOptions.h"
#include "stamp/StampOptions.h"

// The option words after the mode word: the input and output file names,
// then the parameters. A word that names an option of the mode (a flag or
// string option's word; a number option's word and what is not a letter; a
// word beginning "-color") must have the option's form; words that name no
// option are ignored. Throws "Error parameter" for too few words, a parameter
// that does not begin with "-", a value that is not of its option's form (a
// whole number of 32 bits, two of them joined by a comma, six hexadecimal
// digits), a string option with no word after it, and in image mode an
// opacity outside 0 to 100 or a picture side that is neither -1 nor 1 to
// 14400 points.
// Pages mode: the input file name, then parameters (-password, -repair;
// unknown ones ignored).
void ParsePagesParams(const std::vector<std::string>& words, std::string& inputFile, std::string& password,
                      bool& repair);
void ParseTextParams(const std::vector<std::string>& words, TextStampOptions& options, std::string& inputFile,
                     std::string& outputFile);
// Batch mode: the list file, then text mode's parameters, -log and -workers
// (at least 1).
void ParseBatchParams(const std::vector<std::string>& words, BatchOptions& options);
void ParseImageParams(const std::vector<std::string>& words, ImageStampOptions& options, std::string& inputFile,
                      std::string& outputFile);

// The alignment -align names: "left", "center", and any other word right.
Alignment AlignmentOf(std::string_view word);
