// The manual page against the program: every option word that the parsers
// and the front end accept has its tagged paragraph in the right section,
// nothing is documented that the program does not accept, the defaults are
// the ones the settings start with, and the examples are the README's (whose
// examples are run by tests/examples/ReadmeExamplesTest.cpp).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "app/CFrontEnd.h"
#include "stamp/OptionParser.h"
#include "stamp/StampOptions.h"
#include "support/ExternalTools.h"
#include "support/TestFiles.h"

namespace {

using Words = std::set<std::string>;

const std::string kSource = BREVANO_SOURCE_DIR;

// The arguments of a request line, split at spaces outside double quotes.
std::vector<std::string> Arguments(const std::string& arguments) {
    std::vector<std::string> split;
    std::string argument;
    bool quoted = false;
    bool any = false;
    for (char c : arguments) {
        if (c == '"') {
            quoted = !quoted;
            any = true;
        } else if (c == ' ' && !quoted) {
            if (any) split.push_back(argument);
            argument.clear();
            any = false;
        } else {
            argument += c;
            any = true;
        }
    }
    if (any) split.push_back(argument);
    return split;
}

// Escapes for the dash, quotes, backslash and font changes resolved.
std::string Unescape(std::string text) {
    static const std::vector<std::pair<std::string, std::string>> kEscapes = {
        {"\\-", "-"}, {"\\(aq", "'"}, {"\\(dq", "\""}, {"\\(lq", "\""}, {"\\(rq", "\""},
        {"\\fB", ""}, {"\\fI", ""},   {"\\fR", ""},    {"\\fP", ""},    {"\\e", "\\"}};
    for (const auto& [escape, replacement] : kEscapes) {
        for (size_t at = 0; (at = text.find(escape, at)) != std::string::npos; at += replacement.size())
            text.replace(at, escape.size(), replacement);
    }
    // \[u0421] and the like: the character in UTF-8.
    static const std::regex kUnicode("\\\\\\[u([0-9A-F]{4})\\]");
    std::smatch match;
    while (std::regex_search(text, match, kUnicode)) {
        const unsigned c = static_cast<unsigned>(std::stoul(match[1], nullptr, 16));
        std::string utf8 =
            c < 0x80    ? std::string(1, static_cast<char>(c))
            : c < 0x800 ? std::string{static_cast<char>(0xC0 | (c >> 6)), static_cast<char>(0x80 | (c & 0x3F))}
                        : std::string{static_cast<char>(0xE0 | (c >> 12)), static_cast<char>(0x80 | ((c >> 6) & 0x3F)),
                                      static_cast<char>(0x80 | (c & 0x3F))};
        text.replace(static_cast<size_t>(match.position(0)), static_cast<size_t>(match.length(0)), utf8);
    }
    return text;
}

// A roff line as the text it shows: the font requests' arguments joined as
// they print (.BI and its kind alternate fonts with no space between), other
// requests dropped.
std::string Plain(const std::string& line) {
    if (line.empty() || line[0] != '.') return Unescape(line);
    const size_t space = line.find(' ');
    const std::string request = line.substr(1, space == std::string::npos ? std::string::npos : space - 1);
    static const Words kAlternating = {"BI", "BR", "IB", "IR", "RB", "RI"};
    if (request != "B" && request != "I" && request != "SH" && request != "SS" && kAlternating.count(request) == 0)
        return "";
    std::string text;
    for (const std::string& argument : Arguments(space == std::string::npos ? "" : line.substr(space + 1))) {
        if (!text.empty() && kAlternating.count(request) == 0) text += ' ';
        text += Unescape(argument);
    }
    return text;
}

// The option words of a tag line such as `.BI \-pos h , v` or
// `.BR \-h ", " \-\-help`: the request's arguments that begin with a dash.
Words TagOptions(const std::string& tag) {
    Words words;
    const size_t space = tag.find(' ');
    if (tag.empty() || tag[0] != '.' || space == std::string::npos) return words;
    for (const std::string& argument : Arguments(tag.substr(space + 1))) {
        const std::string word = Unescape(argument);
        if (word.size() > 1 && word[0] == '-') words.insert(word.substr(0, word.find(' ')));
    }
    return words;
}

struct ManPage {
    // Section (.SH or .SS title) -> option word -> its paragraph as text.
    std::map<std::string, std::map<std::string, std::string>> options;
    // The tags of the EXIT STATUS section.
    std::vector<std::string> exitStatuses;
    // The blocks between .EX and .EE, as text.
    std::vector<std::string> examples;
    // The tags of the DIAGNOSTICS section, italic words as "…".
    std::set<std::string> messages;
};

// A DIAGNOSTICS tag such as `.BI "Page " n " cannot be stamped"`: the bold
// words as they are, the italic ones (what the message computes) as "…".
std::string MessageTag(const std::string& tag) {
    const size_t space = tag.find(' ');
    if (tag.empty() || tag[0] != '.' || space == std::string::npos) return tag;
    const bool alternating = tag.compare(1, space - 1, "BI") == 0;
    std::string text;
    size_t index = 0;
    for (const std::string& argument : Arguments(tag.substr(space + 1)))
        text += alternating && index++ % 2 == 1 ? "…" : Unescape(argument);
    return text;
}

ManPage ReadManPage() {
    ManPage page;
    std::istringstream in(ReadFile(kSource + "/man/Brevano.1.in"));
    std::string line;
    std::string section;
    std::vector<std::string> current;  // options of the paragraph being read
    std::string example;
    bool inExample = false;
    bool tagNext = false;
    while (std::getline(in, line)) {
        if (inExample) {
            if (line == ".EE") {
                page.examples.push_back(example);
                inExample = false;
            } else {
                example += Plain(line) + "\n";
            }
            continue;
        }
        if (tagNext) {
            tagNext = false;
            if (section == "DIAGNOSTICS") {
                page.messages.insert(MessageTag(line));
                current.clear();
                continue;
            }
            if (section == "EXIT STATUS") page.exitStatuses.push_back(Plain(line));
            const Words words = TagOptions(line);
            current.assign(words.begin(), words.end());
            for (const std::string& word : current) page.options[section][word];
            continue;
        }
        if (line.rfind(".SH ", 0) == 0 || line.rfind(".SS ", 0) == 0) {
            section = Plain(line);
            current.clear();
        } else if (line == ".TP") {
            tagNext = true;
        } else if (line == ".PP") {
            current.clear();
        } else if (line == ".EX") {
            inExample = true;
            example.clear();
        } else if (line.rfind(".\\\"", 0) != 0) {
            for (const std::string& word : current) page.options[section][word] += Plain(line) + " ";
        }
    }
    return page;
}

// The option words that a parser tests for: the string literals that begin
// with a dash, up to their first conversion ("-pos%d,%d" is "-pos"); the image
// parser's "second character j" test is the word "-j".
struct ParserWords {
    Words text;
    Words image;
    Words frontEnd;
    // Batch mode's own; it takes text mode's too.
    Words batch;
};

Words DashLiterals(const std::string& code) {
    Words words;
    static const std::regex kLiteral("\"(-[-A-Za-z0-9]*)[^\"]*\"");
    for (auto it = std::sregex_iterator(code.begin(), code.end(), kLiteral); it != std::sregex_iterator(); ++it)
        if ((*it)[1].length() > 1) words.insert((*it)[1]);
    return words;
}

ParserWords ReadParserWords() {
    ParserWords words;
    const std::string parser = ReadFile(kSource + "/src/stamp/OptionParser.cpp");
    const size_t text = parser.find("void ParseTextParams(");
    const size_t batch = parser.find("void ParseBatchParams(");
    const size_t image = parser.find("void ParseImageParams(");
    if (text == std::string::npos || batch == std::string::npos || image == std::string::npos || batch < text ||
        image < batch)
        return words;
    words.text = DashLiterals(parser.substr(text, batch - text));
    words.batch = DashLiterals(parser.substr(batch, image - batch));
    const std::string imageCode = parser.substr(image);
    words.image = DashLiterals(imageCode);
    if (imageCode.find("[1] == 'j'") != std::string::npos) words.image.insert("-j");

    const std::string frontEnd = ReadFile(kSource + "/src/app/CFrontEnd.cpp");
    static const std::regex kModeTest("mode == \"(-[^\"]*)\"");
    for (auto it = std::sregex_iterator(frontEnd.begin(), frontEnd.end(), kModeTest); it != std::sregex_iterator();
         ++it)
        words.frontEnd.insert((*it)[1]);
    return words;
}

bool IsTextSection(const std::string& section) { return section.rfind("Text mode", 0) == 0; }

Words DocumentedIn(const ManPage& page, bool (*wanted)(const std::string&)) {
    Words words;
    for (const auto& [section, options] : page.options)
        if (wanted(section))
            for (const auto& entry : options) words.insert(entry.first);
    return words;
}

Words Missing(const Words& wanted, const Words& present) {
    Words missing;
    std::set_difference(wanted.begin(), wanted.end(), present.begin(), present.end(),
                        std::inserter(missing, missing.end()));
    return missing;
}

std::string List(const Words& words) {
    std::string text;
    for (const std::string& word : words) text += " " + word;
    return text;
}

class ManPageTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(FileExists(kSource + "/man/Brevano.1.in"));
        // The scan of the parsers found them; a renamed function would
        // otherwise make every check below pass on empty lists.
        ASSERT_GT(parsers_.text.size(), 20u);
        ASSERT_GT(parsers_.image.size(), 8u);
        ASSERT_EQ(parsers_.batch, (Words{"-log", "-workers"}));
        ASSERT_EQ(parsers_.frontEnd, (Words{"--help", "--version", "-h"}));
    }

    const ManPage page_ = ReadManPage();
    const ParserWords parsers_ = ReadParserWords();
};

// ---------------------------------------------------------------------------
// Options

TEST_F(ManPageTest, EveryTextOptionHasAParagraphForTextMode) {
    const Words documented =
        DocumentedIn(page_, [](const std::string& s) { return s == "Both modes" || IsTextSection(s); });
    EXPECT_EQ(Missing(parsers_.text, documented), Words{})
        << "undocumented:" << List(Missing(parsers_.text, documented));
}

TEST_F(ManPageTest, EveryImageOptionHasAParagraphForImageMode) {
    const Words documented =
        DocumentedIn(page_, [](const std::string& s) { return s == "Both modes" || s == "Image mode"; });
    EXPECT_EQ(Missing(parsers_.image, documented), Words{})
        << "undocumented:" << List(Missing(parsers_.image, documented));
}

TEST_F(ManPageTest, EveryBatchOptionHasAParagraphForBatchMode) {
    const Words documented = DocumentedIn(page_, [](const std::string& s) { return s == "Batch mode"; });
    EXPECT_EQ(documented, parsers_.batch);
}

TEST_F(ManPageTest, EveryDocumentedOptionIsAccepted) {
    Words both;
    std::set_intersection(parsers_.text.begin(), parsers_.text.end(), parsers_.image.begin(), parsers_.image.end(),
                          std::inserter(both, both.end()));
    const std::map<std::string, const Words*> acceptedBy = {{"Both modes", &both},
                                                            {"Image mode", &parsers_.image},
                                                            {"Information", &parsers_.frontEnd},
                                                            {"Batch mode", &parsers_.batch}};
    ASSERT_FALSE(page_.options.empty());
    for (const auto& [section, options] : page_.options) {
        if (section == "EXIT STATUS") continue;
        const Words* accepted = IsTextSection(section) ? &parsers_.text : nullptr;
        if (acceptedBy.count(section) != 0) accepted = acceptedBy.at(section);
        ASSERT_NE(accepted, nullptr) << "options in an unexpected section: " << section;
        for (const auto& entry : options)
            EXPECT_EQ(accepted->count(entry.first), 1u) << section << ": " << entry.first << " is not accepted";
    }
}

TEST_F(ManPageTest, EveryOptionStatesItsDefault) {
    for (const auto& [section, options] : page_.options) {
        if (section == "Information" || section == "EXIT STATUS") continue;
        for (const auto& [option, paragraph] : options) {
            const bool statesDefault = paragraph.find("Default: ") != std::string::npos ||
                                       paragraph.find("no default") != std::string::npos ||
                                       paragraph.rfind("Accepted and ignored", 0) == 0;
            EXPECT_TRUE(statesDefault) << section << ": " << option << ": " << paragraph;
        }
    }
}

TEST_F(ManPageTest, StatedDefaultsAreTheSettingsDefaults) {
    const TextStampOptions text;
    const ImageStampOptions image;
    char color[16];
    std::snprintf(color, sizeof color, "%06X", text.color);
    const std::string pos = std::to_string(text.posX) + "," + std::to_string(text.posY);
    const std::vector<std::tuple<std::string, std::string, std::string>> expected = {
        {"Both modes", "-pos", pos},
        {"Both modes", "-align", text.align == AlignmentOf("left") ? "left" : "not left"},
        {"Text mode: pages and numbers", "-s", std::to_string(text.startPage)},
        {"Text mode: pages and numbers", "-e", std::to_string(text.endPage)},
        {"Text mode: pages and numbers", "-n", std::to_string(text.everyNth)},
        {"Text mode: pages and numbers", "-ns", std::to_string(text.startNumber)},
        {"Text mode: pages and numbers", "-ne", std::to_string(text.endNumber)},
        {"Text mode: the text", "-m", std::to_string(text.maskDigits)},
        {"Text mode: the text", "-font", text.fontName},
        {"Text mode: the text", "-size", std::to_string(text.fontSize)},
        {"Text mode: the text", "-color", color},
        {"Text mode: the text", "-angle", std::to_string(text.angle)},
        {"Text mode: the text", "-prefix", "\"" + text.prefixText + "\""},
        {"Text mode: the text", "-sep", "\"" + text.separatorText + "\""},
        {"Image mode", "-opacity", std::to_string(image.opacity)},
    };
    for (const auto& [section, option, value] : expected) {
        ASSERT_EQ(page_.options.count(section), 1u) << section;
        const auto& options = page_.options.at(section);
        ASSERT_EQ(options.count(option), 1u) << section << ": " << option;
        EXPECT_NE(options.at(option).find("Default: " + value), std::string::npos)
            << option << " should state the default " << value << ": " << options.at(option);
    }
}

// ---------------------------------------------------------------------------
// Exit statuses, examples, and the page as man shows it

TEST_F(ManPageTest, ExitStatusesAreTheFrontEnds) {
    EXPECT_EQ(page_.exitStatuses,
              (std::vector<std::string>{std::to_string(CFrontEnd::kSuccess), std::to_string(CFrontEnd::kFailure),
                                        std::to_string(CFrontEnd::kUnknownMode)}));
}

TEST_F(ManPageTest, ExamplesAreTheReadmesTestedOnes) {
    const std::string readme = ReadFile(kSource + "/README.md");
    ASSERT_GE(page_.examples.size(), 4u);
    for (const std::string& example : page_.examples)
        EXPECT_NE(readme.find("```sh\n" + example + "```\n"), std::string::npos)
            << "not an example block of README.md:\n"
            << example;
}

// -h and --help: the usage text and what this version adds name every option.
TEST_F(ManPageTest, HelpNamesEveryOption) {
    const std::string help = std::string(CFrontEnd::UsageText()) + CFrontEnd::AddedOptionsText();
    Words words = parsers_.text;
    words.insert(parsers_.image.begin(), parsers_.image.end());
    words.insert(parsers_.frontEnd.begin(), parsers_.frontEnd.end());
    for (const std::string& word : words)
        EXPECT_TRUE(std::regex_search(help, std::regex("(^|[^-A-Za-z0-9])" + word + "([^-A-Za-z0-9]|$)"))) << word;
}

// ---------------------------------------------------------------------------
// Messages

// The source files of the program.
std::vector<std::string> SourceFiles() {
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(kSource + "/src"))
        if (entry.path().extension() == ".cpp" || entry.path().extension() == ".h") files.push_back(entry.path());
    return files;
}

// The text of the C++ expression `code` that builds a message: its string
// literals joined, what it computes between two of them as "…"; empty when it
// holds no literal.
std::string ExpressionText(std::string code) {
    static const std::regex kComputed("\"\\s*\\+[^\"]*\\+\\s*\"");  // `" + Format(n) + "`
    static const std::regex kJoined("\"\\s*\"");                    // `"text " "more"`
    code = std::regex_replace(std::regex_replace(code, kComputed, "…"), kJoined, "");
    const size_t first = code.find('"');
    const size_t last = code.rfind('"');
    if (first == last) return "";
    // What is computed before the first string or after the last one.
    const bool leads = code.find('+') < first;
    const bool trails = code.find('+', last) != std::string::npos;
    return (leads ? "…" : "") + code.substr(first + 1, last - first - 1) + (trails ? "…" : "");
}

// The argument list that begins after the "(" at `open`.
std::string ArgumentsAt(const std::string& code, size_t open) {
    int depth = 1;
    size_t at = open;
    for (; at < code.size() && depth > 0; ++at) {
        if (code[at] == '"') {
            for (++at; at < code.size() && code[at] != '"'; ++at) at += code[at] == '\\' ? 1 : 0;
        } else if (code[at] == '(') {
            ++depth;
        } else if (code[at] == ')') {
            --depth;
        }
    }
    return code.substr(open, at - open - 1);
}

// What the program can print on failure: the texts CPdfException is built
// from (a constant of the same file read), the messages the byte source and
// the output file are given, and the front end's own. `indirect` gets the
// other names CPdfException is built from.
std::set<std::string> ProgramMessages(Words& indirect) {
    std::set<std::string> messages{"Unexpected exception"};
    for (const std::string& file : SourceFiles()) {
        if (file.find("/base/CPdfException.h") != std::string::npos) continue;
        const std::string code = ReadFile(file);
        for (size_t at = 0; (at = code.find("CPdfException(", at)) != std::string::npos; ++at) {
            const size_t comment = code.rfind("//", at);
            if (comment != std::string::npos && comment > code.rfind('\n', at)) continue;
            const std::string arguments = ArgumentsAt(code, at + 14);
            std::string text = ExpressionText(arguments);
            std::smatch constant;
            if (text.empty() && std::regex_search(code, constant, std::regex(arguments + "\\s*=\\s*\"([^\"]*)\"")))
                text = constant[1];
            (text.empty() ? indirect : messages).insert(text.empty() ? arguments : text);
        }
        // The last argument of the byte source's and the output file's constructors.
        for (const char* call : {"CFileByteSource>(", "COutputFile>(", "output.emplace("}) {
            for (size_t at = 0; (at = code.find(call, at)) != std::string::npos; ++at) {
                const std::string arguments = ArgumentsAt(code, at + std::string(call).size());
                messages.insert(ExpressionText(arguments.substr(arguments.rfind(',') + 1)));
            }
        }
    }
    // CPdfDocument::Open(path) serves the tests and tools; the program opens
    // its input with "File open error".
    EXPECT_EQ(messages.erase("Can't open file"), 1u);
    return messages;
}

// The messages of README.md's "Failure messages" table (N standing for what
// the message computes).
std::set<std::string> ReadmeMessages() {
    std::set<std::string> messages;
    const std::string readme = ReadFile(kSource + "/README.md");
    const size_t start = readme.find("\n## Failure messages\n");
    const size_t end = readme.find("\n## ", start + 1);
    if (start == std::string::npos) return messages;
    std::istringstream rows(readme.substr(start, end - start));
    static const std::regex kRow("^\\| `([^`]+)` \\|");
    static const std::regex kComputed("\\bN\\b");
    for (std::string row; std::getline(rows, row);) {
        std::smatch match;
        if (std::regex_search(row, match, kRow)) messages.insert(std::regex_replace(match[1].str(), kComputed, "…"));
    }
    return messages;
}

TEST_F(ManPageTest, ListsEveryMessageTheProgramPrints) {
    Words indirect;
    const std::set<std::string> program = ProgramMessages(indirect);
    // Messages handed over as values: the byte source's and the output file's,
    // and batch mode's lines that name each document with its own message.
    EXPECT_EQ(indirect, (Words{"FailureMessage(false)", "FailureMessage(true)", "Joined(refusals)", "createMessage",
                               "failureMessage"}));
    EXPECT_GT(program.size(), 40u);
    const std::set<std::string> readme = ReadmeMessages();
    for (const auto& [name, listed] : {std::pair{"the manual page", &page_.messages}, {"README.md", &readme}}) {
        EXPECT_EQ(Missing(program, *listed), Words{}) << "not in " << name << ":\n" << List(Missing(program, *listed));
        EXPECT_EQ(Missing(*listed, program), Words{}) << "not printed, but in " << name << ":\n"
                                                      << List(Missing(*listed, program));
    }
}

TEST_F(ManPageTest, FormatsWithoutWarnings) {
    if (!HaveTool("groff")) GTEST_SKIP() << "groff is not installed";
    const TempFolder folder;
    std::string page = ReadFile(kSource + "/man/Brevano.1.in");
    const size_t at = page.find("@PROJECT_VERSION@");
    ASSERT_NE(at, std::string::npos);
    page.replace(at, std::string("@PROJECT_VERSION@").size(), "1.1");
    WriteFile(folder.File("Brevano.1"), page);
    // -ww: every warning; -z: format, print nothing; warnings go to standard error.
    const ToolResult warnings = RunTool("(groff -man -ww -z " + ShellQuote(folder.File("Brevano.1")) + " 2>&1)");
    EXPECT_EQ(warnings.status, 0);
    EXPECT_EQ(warnings.out, "");
    const ToolResult text = RunTool("groff -man -Tutf8 -P-cbou " + ShellQuote(folder.File("Brevano.1")));
    for (const char* heading : {"NAME", "SYNOPSIS", "OPTIONS", "NUMBERING FILES", "EXIT STATUS", "EXAMPLES"})
        EXPECT_NE(text.out.find(std::string("\n") + heading + "\n"), std::string::npos) << heading;
}

}  // namespace
