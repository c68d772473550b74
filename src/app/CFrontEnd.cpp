#include "app/CFrontEnd.h"

#include <memory>

#include "base/CPdfException.h"
#include "stamp/CBatchStamp.h"
#include "stamp/CPdfFilePageCount.h"
#include "stamp/CPdfFileStampImage.h"
#include "stamp/CPdfFileStampText.h"
#include "writer/NumberFormat.h"

const char* CFrontEnd::UsageText() {
    return "Brevano Server version 1.1\n"
           "\n"
           "Usage:\n"
           "Brevano [mode] in.pdf out.pdf [params]\n"
           "[mode]  - image for image stamping, text for text stamping\n"
           "\n"
           "possible params:\n"
           "-s(n) page to start processing at, default at 1\n"
           "-e(n) page to end processing at, default at 99999\n"
           "-n(n) only page number 1 in nth> e.g. -n2 would page number pages 1,3,5,7 with page numbers 1,3,5,7, "
           "default 0\n"
           "-flipv flips vertical positions so 20,20 would be top left calculated from top of page.\n"
           "-fliph flips horizontal positions so 20,20 would be bottom right from right edge of page.\n"
           "-force force portrait when landscape, if view is rotated then calculate as unrotated.\n"
           "-pos(n),(n) h,v (horizontal, vertical) positions on page calculated from bottom left up. e.g. 20,20 "
           "would be bottom left corner. use 10,20 as default. if -1 is specified then center on page size.\n"
           "-align <TEXT> align justified text, can be 'left', 'right' or 'center', left is default. e.g. right on "
           "positions 20,20 would mean last character right edge ends at that position.\n"
           "\n"
           "for text stamping only:\n"
           "-ns(n) page number to start at, default at 1\n"
           "-ne(n) page number to end at, default at 99999\n"
           "-m(n) mask number with n zeros e.g. -m5 would create number 00001, e.g. page 00001 of 00010, default "
           "mask 0\n"
           "-seq sequential numbering for -n(n), e.g. e.g. -n2 -seq would page number pages 1,3,5,7 with page "
           "numbers 1,2,3,4, default 0\n"
           "-r reverse page numbers first page would be last page number, last page would be first page number.\n"
           "-2up 2 up page numbering e.g. 10 page doc, page 1 would be 1, page 2 would be 6, page 3 would be 2, page "
           "3 would be 7.\n"
           "-ab2 A/B 2 up page numbering e.g. 10 page doc, page 1 would be 1, page 2\n"
           "-one one page number text only, e.g. by default page number 1 / 2, 2 / 2 so one would be just 1 then 2\n"
           "-rom roman numerals numbering lower case e.g. xii\n"
           "-ROM roman numerals numbering in upper case, e.g. XII\n"
           "-nopg no page numbers just text\n"
           "-prefix <TEXT> text to prefix page number with e.g. 'Page ' e.g. for Page 1 / 2, set default to 'Page '\n"
           "-sep <TEXT> text to separate page number start and end with, e.g. ' / ' for e.g. 1 / 2, set default to "
           "' / '\n"
           "-end <TEXT> text to end with, e.g. ' Pages' for e.g. 1 of 2 Pages, no default i.e. ''\n"
           "-font <TEXT> font name to use, e.g. Arial, use Arial as default\n"
           "-color RGB hex font color to use in rgb hex. 000000 is default for black. default as black.\n"
           "-size(n) font size to use, e.g. 11, use 11 as default\n"
           "-angle(n) angle of text in degrees, use 0 as default\n"
           "\n"
           "for image stamping only:\n"
           "-j<JPEG filename> jpeg file\n"
           "-size(n),(n) image size viewed in pdf, the image viewed can be different to the jpeg image size.\n"
           "-opacity(n) opacity of the image in percent (transparency), e.g. 1-100%, default -opactity100\n"
           "\n"
           "Notes:\n"
           "If the name of file contains space character itself,\n"
           "it must be enclosed in quotes.\n";
}

const char* CFrontEnd::AddedOptionsText() {
    return "\n"
           "added in this version:\n"
           "  pages in.pdf  prints the number of pages text mode numbers (12 in 'Page 3 / 12') and a line end; "
           "writes nothing\n"
           "  -j<file>   image mode also takes PNG pictures (all colour types, transparency as a soft mask)\n"
           "  -export <file>, -import <file>   text mode: write / read the next page number, to number files in a "
           "row\n"
           "  -fontfile <path>, -fontindex(n)   text mode: a TrueType/OpenType font (face n of a collection) to embed\n"
           "  -lang <tag>   text mode: the text's language (BCP 47: ja, zh-Hant, fa, ...) for choosing fonts and "
           "glyph forms\n"
           "  texts are UTF-8 (each of -prefix, -sep, -end that is not is Windows-1252): Windows-1252 characters use "
           "the built-in fonts, other scripts embedded fonts, several where one lacks characters\n"
           "  -incremental   both modes: keep the input's bytes and append the stamp as an update, so "
           "signatures stay valid (default off)\n"
           "  signed documents (a signed signature field, or /Perms) are stamped as an update without -incremental "
           "too\n"
           "  -break-signatures   both modes: rewrite a signed document whole instead, breaking its signatures "
           "(default off)\n"
           "  -ignore-docmdp   both modes: stamp a certified document all the same; certified documents are "
           "refused without it (default off)\n"
           "  -password <text>   both modes: user or owner password of an encrypted input\n"
           "  -repair   both modes and pages: a file whose cross-reference is damaged is read by scanning it for its "
           "objects, and rewritten whole (not with -incremental; default off)\n"
           "  batch LIST [params]   numbers a production: LIST holds one input, a tab and its output per line; "
           "the documents are numbered as one sequence with text mode's params, each on from the previous one's "
           "last number; nothing is written unless every document is stamped\n"
           "  -log <file>   batch mode: the production log, CSV: input, output, first and last number, pages\n"
           "  -workers(n)   batch mode: documents stamped at once (default: one per processor)\n"
           "  -h, --help   this text; --version   the version line\n"
           "\n"
           "corrections to the text above:\n"
           "  -pos(n),(n): the default is 20,10; both numbers must be given\n"
           "  -n(n) leaves out every n-th page: -n2 stamps pages 1,3,5,7 with their own numbers\n"
           "  -ne(n) is accepted and ignored\n"
           "  -m(n): numbers with at least n digits, filled with leading zeros\n"
           "  -2up: 10 pages show 1, 6, 2, 7, 3, 8, 4, 9, 5, 10; -ab2: 10 pages show 1, 3, 5, 7, 9, 2, 4, 6, 8, 10\n"
           "  -force: on a page turned by /Rotate, place and turn the stamp as the page is viewed\n"
           "  -align: any word other than left or center acts as right\n"
           "  -color(RRGGBB): six hexadecimal digits in the same word, e.g. -colorFF0000 for red\n"
           "  -j<file>: a JPEG or PNG picture, told apart by its first bytes\n"
           "  -size(n),(n) in image mode: 1 to 14400 points each; -1 keeps the picture's pixel size (the default)\n"
           "  -opacity(n): 0 to 100 percent\n"
           "  -s(n), -e(n), -n(n): image mode stamps every page and ignores them\n"
           "  numbers are whole numbers in the option's word: a value of another form, an opacity or picture size "
           "out of range fails with 'Error parameter'; words that name no option are ignored\n";
}

int CFrontEnd::Run(const std::vector<std::string>& args, std::string& out) {
    if (args.empty()) {
        out += UsageText();
        return kSuccess;
    }
    const std::string& mode = args[0];
    if (mode == "-h" || mode == "--help") {
        out += UsageText();
        out += AddedOptionsText();
        return kSuccess;
    }
    if (mode == "--version") {
        out += "Brevano Server version 1.1\n";
        return kSuccess;
    }
    std::unique_ptr<CPdfFile> driver;
    const CPdfFilePageCount* counter = nullptr;
    if (mode == "image") {
        driver = std::make_unique<CPdfFileStampImage>();
    } else if (mode == "text") {
        driver = std::make_unique<CPdfFileStampText>();
    } else if (mode == "batch") {
        driver = std::make_unique<CBatchStamp>();
    } else if (mode == "pages") {
        auto made = std::make_unique<CPdfFilePageCount>();
        counter = made.get();
        driver = std::move(made);
    } else {
        return kUnknownMode;
    }
    try {
        const std::vector<std::string> words(args.begin() + 1, args.end());
        driver->ParseParams(words);
        driver->Process();
        if (counter != nullptr) out += FormatInt(counter->pageCount()) + "\n";
    } catch (const CPdfException& failure) {
        out += failure.GetMessage();
        return kFailure;
    } catch (...) {
        out += "Unexpected exception";
        return kFailure;
    }
    return kSuccess;
}
