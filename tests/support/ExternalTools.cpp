#include "support/ExternalTools.h"

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "support/TestFiles.h"

ToolResult RunTool(const std::string& command) {
    ToolResult result;
    FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
    if (pipe == nullptr) return result;
    char buffer[65536];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) result.out.append(buffer, n);
    const int status = ::pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string ShellQuote(const std::string& word) {
    std::string quoted = "'";
    for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

bool HaveTool(const std::string& name) { return RunTool("command -v " + ShellQuote(name)).status == 0; }

bool SignPdf(const std::string& input, const std::string& output, const std::string& scratchFolder) {
    for (const char* tool : {"openssl", "certutil", "pk12util", "pdfsig"})
        if (!HaveTool(tool)) return false;
    const std::string nss = "sql:" + ShellQuote(scratchFolder + "/nss");
    const std::string key = ShellQuote(scratchFolder + "/key.pem");
    const std::string cert = ShellQuote(scratchFolder + "/cert.pem");
    const std::string p12 = ShellQuote(scratchFolder + "/id.p12");
    return RunTool("(mkdir -p " + ShellQuote(scratchFolder + "/nss") +
                   " && openssl req -x509 -newkey rsa:2048 -nodes -days 3650 -subj /CN=Signer -keyout " + key +
                   " -out " + cert + " >/dev/null && openssl pkcs12 -export -inkey " + key + " -in " + cert + " -out " +
                   p12 + " -passout pass: -name signer && certutil -N -d " + nss + " --empty-password && pk12util -i " +
                   p12 + " -d " + nss + " -W '' >/dev/null && pdfsig -nssdir " + nss + " -add-signature -nick signer " +
                   ShellQuote(input) + " " + ShellQuote(output) + ")")
               .status == 0;
}

int QpdfCheck(const std::string& pdf) { return RunTool("qpdf --check " + ShellQuote(pdf)).status; }

std::optional<int> QpdfPageCount(const std::string& pdf) {
    const ToolResult result = RunTool("qpdf --show-npages " + ShellQuote(pdf));
    if (result.status != 0 && result.status != 3) return std::nullopt;
    return std::atoi(result.out.c_str());
}

std::vector<std::string> PdfTextByPage(const std::string& pdf, bool contentOrder) {
    const ToolResult result =
        RunTool(std::string("pdftotext ") + (contentOrder ? "-raw " : "") + ShellQuote(pdf) + " -");
    std::vector<std::string> pages;
    std::string page;
    bool space = false;
    for (char c : result.out) {
        if (c == '\f') {
            pages.push_back(page);
            page.clear();
            space = false;
        } else if (c == ' ' || c == '\n' || c == '\r' || c == '\t') {
            space = !page.empty();
        } else {
            if (space) page += ' ';
            space = false;
            page += c;
        }
    }
    return pages;
}

std::string PdfImageList(const std::string& pdf) {
    std::istringstream lines(RunTool("pdfimages -list " + ShellQuote(pdf)).out);
    std::string line, list, page, number, type, width, height, color, components, bits;
    for (int row = 0; std::getline(lines, line); ++row) {
        std::istringstream(line) >> page >> number >> type >> width >> height >> color >> components >> bits;
        if (row >= 2) list += (list.empty() ? "" : "; ") + type + " " + width + "x" + height + " " + color + " " + bits;
    }
    return list;
}

std::optional<GreyImage> RenderPage(const std::string& pdf, int page, const std::string& scratchFolder) {
    const std::string prefix = scratchFolder + "/render";
    const std::string number = std::to_string(page);
    if (RunTool("pdftoppm -gray -r 72 -singlefile -f " + number + " -l " + number + " " + ShellQuote(pdf) + " " +
                ShellQuote(prefix))
            .status != 0)
        return std::nullopt;
    const std::string bytes = ReadFile(prefix + ".pgm");
    std::istringstream in(bytes);
    std::string magic;
    GreyImage image;
    int maxValue = 0;
    in >> magic >> image.width >> image.height >> maxValue;
    if (magic != "P5" || maxValue != 255) return std::nullopt;
    in.get();
    image.pixels.resize(static_cast<size_t>(image.width) * static_cast<size_t>(image.height));
    in.read(reinterpret_cast<char*>(image.pixels.data()), static_cast<std::streamsize>(image.pixels.size()));
    return image;
}

PixelBox DifferenceBox(const GreyImage& a, const GreyImage& b, int threshold) {
    PixelBox box{a.width, a.height, -1, -1};
    if (a.width != b.width || a.height != b.height) return {};
    for (int y = 0; y < a.height; ++y) {
        for (int x = 0; x < a.width; ++x) {
            const size_t i = static_cast<size_t>(y) * static_cast<size_t>(a.width) + static_cast<size_t>(x);
            if (std::abs(a.pixels[i] - b.pixels[i]) <= threshold) continue;
            box.left = std::min(box.left, x);
            box.top = std::min(box.top, y);
            box.right = std::max(box.right, x);
            box.bottom = std::max(box.bottom, y);
        }
    }
    if (box.right < 0) return {};
    return box;
}
