#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The PDF tools of poppler-utils and qpdf, run as other programs would run
// them on Brevano's output.

struct ToolResult {
    int status = -1;
    std::string out;
};

// Runs a shell command line; its standard output is captured, standard error dropped.
ToolResult RunTool(const std::string& command);
// Quotes a word for the shell.
std::string ShellQuote(const std::string& word);
bool HaveTool(const std::string& name);

// `qpdf --check`: 0 clean, 3 warnings, 2 errors.
int QpdfCheck(const std::string& pdf);
std::optional<int> QpdfPageCount(const std::string& pdf);
// The text of each page, white space runs turned into single spaces; with
// `contentOrder`, in the order the page's content draws it (pdftotext -raw).
std::vector<std::string> PdfTextByPage(const std::string& pdf, bool contentOrder = false);

// The images `pdfimages -list` shows, page by page: "type WxH colour bpc"
// each, joined by "; " ("image 16x8 rgb 8; smask 16x8 gray 8").
std::string PdfImageList(const std::string& pdf);

// Signs `input` into `output` with pdfsig, under a self-signed certificate
// made for the purpose (openssl, and certutil and pk12util of libnss3-tools)
// in `scratchFolder`; false when a tool is missing or fails.
bool SignPdf(const std::string& input, const std::string& output, const std::string& scratchFolder);

// A page rendered in grey at 72 dots per inch (one pixel per point), as viewed.
struct GreyImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;
};
std::optional<GreyImage> RenderPage(const std::string& pdf, int page, const std::string& scratchFolder);

// The smallest box holding every pixel that differs by more than `threshold`.
struct PixelBox {
    int left = 0, top = 0, right = -1, bottom = -1;
    bool empty() const { return right < left; }
};
PixelBox DifferenceBox(const GreyImage& a, const GreyImage& b, int threshold = 40);
