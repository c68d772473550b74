// Writes the benchmark's input documents, the same bytes every time:
//   MakeBenchPdf text   PAGES OUT.pdf            pages of text
//   MakeBenchPdf images PAGES JPEG OUT.pdf       a picture of its own on every page
//   MakeBenchPdf small  PAGES OUT.pdf            many small objects per page
//   MakeBenchPdf numbers PAGES OUT.pdf           "Page N / PAGES" at the foot of each
//                                                page: the stamp, for tools that
//                                                lay one PDF over another
//   MakeBenchPdf production DOCUMENTS PAGES FOLDER
//       a production for batch mode: FOLDER/in/000001.pdf ... of text pages
//       each, and FOLDER/list naming each with its output in FOLDER/out/
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

class Writer {
public:
    explicit Writer(const std::string& path) : out_(path, std::ios::binary) { Put("%PDF-1.5\n%\xE2\xE3\xCF\xD3\n"); }

    void Put(const std::string& bytes) {
        out_.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        position_ += bytes.size();
    }
    void Object(int number, const std::string& body) {
        Mark(number);
        Put(std::to_string(number) + " 0 obj\n" + body + "\nendobj\n");
    }
    void Stream(int number, const std::string& entries, const std::string& data) {
        Mark(number);
        Put(std::to_string(number) + " 0 obj\n<< " + entries + " /Length " + std::to_string(data.size()) +
            " >>\nstream\n");
        Put(data);
        Put("\nendstream\nendobj\n");
    }
    void Finish(int root, int info) {
        const unsigned long long start = position_;
        Put("xref\n0 " + std::to_string(offsets_.size()) + "\n0000000000 65535 f \n");
        char line[32];
        for (size_t i = 1; i < offsets_.size(); ++i) {
            if (offsets_[i] == 0) {
                Put("0000000000 00000 f \n");
                continue;
            }
            std::snprintf(line, sizeof line, "%010llu 00000 n \n", offsets_[i]);
            Put(line);
        }
        Put("trailer\n<< /Size " + std::to_string(offsets_.size()) + " /Root " + std::to_string(root) + " 0 R /Info " +
            std::to_string(info) + " 0 R >>\nstartxref\n" + std::to_string(start) + "\n%%EOF\n");
    }

private:
    void Mark(int number) {
        if (offsets_.size() <= static_cast<size_t>(number)) offsets_.resize(static_cast<size_t>(number) + 1);
        offsets_[static_cast<size_t>(number)] = position_;
    }

    std::ofstream out_;
    unsigned long long position_ = 0;
    std::vector<unsigned long long> offsets_{0};
};

// A page of text that differs from page to page, as a report would.
std::string TextPage(int page, int lines) {
    static const char* kWords[] = {"stamp",  "report",  "figure",  "quarter", "budget", "table", "review", "total",
                                   "margin", "summary", "account", "invoice", "ledger", "audit", "value",  "index"};
    unsigned seed = static_cast<unsigned>(page) * 2654435761u;
    std::string text = "BT /F1 10 Tf 12 TL 56 760 Td\n";
    for (int line = 0; line < lines; ++line) {
        text += "(";
        for (int word = 0; word < 11; ++word) {
            seed = seed * 1103515245u + 12345u;
            text += kWords[(seed >> 16) % 16];
            text += ' ';
        }
        text += std::to_string(page * 100 + line) + ") Tj T*\n";
    }
    return text + "ET\n";
}

int Usage() {
    std::fprintf(stderr,
                 "usage: MakeBenchPdf text|small|numbers PAGES OUT.pdf | images PAGES JPEG OUT.pdf |"
                 " production DOCUMENTS PAGES FOLDER\n");
    return 2;
}

// One document of `pages` pages of `kind`; its text goes on from page
// `firstPage` of a longer series.
void WriteDocument(const std::string& kind, int pages, const std::string& jpeg, const std::string& outPath,
                   int firstPage = 0);

// DOCUMENTS text documents of PAGES pages each in FOLDER/in, and FOLDER/list.
int WriteProduction(int documents, int pages, const std::string& folder) {
    if (documents <= 0 || std::system(("mkdir -p '" + folder + "/in' '" + folder + "/out'").c_str()) != 0)
        return Usage();
    std::ofstream list(folder + "/list", std::ios::binary);
    char name[32];
    for (int document = 1; document <= documents; ++document) {
        std::snprintf(name, sizeof name, "%06d.pdf", document);
        WriteDocument("text", pages, {}, folder + "/in/" + name, (document - 1) * pages);
        list << folder << "/in/" << name << '\t' << folder << "/out/" << name << '\n';
    }
    return list ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) return Usage();
    const std::string kind = argv[1];
    const int pages = std::atoi(argv[2]);
    if (kind == "production") return argc < 5 ? Usage() : WriteProduction(pages, std::atoi(argv[3]), argv[4]);
    if (pages <= 0) return Usage();
    std::string jpeg;
    std::string outPath = argv[3];
    if (kind == "images") {
        if (argc < 5) return Usage();
        std::ifstream in(argv[3], std::ios::binary);
        jpeg.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (jpeg.empty()) return Usage();
        outPath = argv[4];
    } else if (kind != "text" && kind != "small" && kind != "numbers") {
        return Usage();
    }
    WriteDocument(kind, pages, jpeg, outPath);
    return 0;
}

namespace {

void WriteDocument(const std::string& kind, int pages, const std::string& jpeg, const std::string& outPath,
                   int firstPage) {
    Writer out(outPath);
    // 1 catalog, 2 page tree, 3 font, 4 info; pages from 10 on.
    const int perPage = kind == "small" ? 8 : kind == "images" ? 3 : 2;
    std::string kids;
    for (int page = 0; page < pages; ++page) kids += std::to_string(10 + page * perPage) + " 0 R ";
    out.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    out.Object(2,
               "<< /Type /Pages /Count " + std::to_string(pages) + " /MediaBox [0 0 595 842] /Kids [ " + kids + "] >>");
    out.Object(3, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>");
    out.Object(4, "<< /Title (Brevano benchmark) /Producer (MakeBenchPdf) >>");
    for (int page = 0; page < pages; ++page) {
        const int base = 10 + page * perPage;
        const std::string number = std::to_string(base);
        if (kind == "numbers") {
            out.Object(base, "<< /Type /Page /Parent 2 0 R /Contents " + std::to_string(base + 1) +
                                 " 0 R /Resources << /Font << /F1 3 0 R >> >> >>");
            out.Stream(base + 1, "", "BT /F1 11 Tf 20 10 Td (Page " + std::to_string(page + 1) + " / " +
                                         std::to_string(pages) + ") Tj ET\n");
        } else if (kind == "text") {
            out.Object(base, "<< /Type /Page /Parent 2 0 R /Contents " + std::to_string(base + 1) +
                                 " 0 R /Resources << /Font << /F1 3 0 R >> >> >>");
            out.Stream(base + 1, "", TextPage(firstPage + page, 60));
        } else if (kind == "images") {
            out.Object(base, "<< /Type /Page /Parent 2 0 R /Contents " + std::to_string(base + 1) +
                                 " 0 R /Resources << /Font << /F1 3 0 R >> /XObject << /P " + std::to_string(base + 2) +
                                 " 0 R >> >> >>");
            out.Stream(base + 1, "", "q 480 0 0 360 57 400 cm /P Do Q\n" + TextPage(page, 4));
            out.Stream(base + 2,
                       "/Type /XObject /Subtype /Image /Width 640 /Height 480 /ColorSpace /DeviceRGB "
                       "/BitsPerComponent 8 /Filter /DCTDecode",
                       jpeg);
        } else {
            // A page with its own resources, graphics state, three link
            // annotations and a small content stream: many small objects.
            const auto ref = [base](int k) { return std::to_string(base + k) + " 0 R"; };
            out.Object(base, "<< /Type /Page /Parent 2 0 R /Contents " + ref(1) + " /Resources " + ref(2) +
                                 " /Annots [" + ref(4) + " " + ref(5) + " " + ref(6) + "] /StructParents " +
                                 std::to_string(page) + " >>");
            out.Stream(base + 1, "", "/GS0 gs\nBT /F1 9 Tf 56 780 Td (Entry " + std::to_string(page) + ") Tj ET\n");
            out.Object(base + 2, "<< /Font << /F1 3 0 R >> /ExtGState << /GS0 " + ref(3) + " >> >>");
            out.Object(base + 3, "<< /Type /ExtGState /CA 1 /ca 1 >>");
            for (int k = 4; k < 7; ++k) {
                out.Object(base + k, "<< /Type /Annot /Subtype /Link /Rect [56 " + std::to_string(700 - k * 20) +
                                         " 200 " + std::to_string(712 - k * 20) +
                                         "] /Border [0 0 0] /A << /S /URI /URI (https://example.com/" +
                                         std::to_string(page) + "/" + std::to_string(k) + ") >> >>");
            }
            out.Object(base + 7, "<< /Page " + std::to_string(page) + " /Note (small object) >>");
        }
    }
    out.Finish(1, 4);
}

}  // namespace
