#include "support/Production.h"

#include <filesystem>

#include "app/CFrontEnd.h"
#include "support/PdfBuilder.h"
#include "support/TestFiles.h"

std::string Production::List(const std::string& outFolder) const {
    std::string list;
    for (size_t i = 0; i < names.size(); ++i)
        list += Input(i) + "\t" + folder + "/" + outFolder + "/" + names[i] + "\n";
    return list;
}

Production WriteProduction(const std::string& folder, int count) {
    Production production{folder, {}};
    std::filesystem::create_directories(folder + "/in");
    for (int i = 0; i < count; ++i) {
        char name[40];
        // One name that CSV must quote.
        std::snprintf(name, sizeof name, i == 3 ? "%05d, the \"odd\" one.pdf" : "%05d.pdf", i);
        std::string document = BlankLetterPages(1 + (i * 7) % 5);
        if (i % 97 == 5) {
            // Page object 3 listed twice.
            PdfBuilder pdf;
            pdf.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
            pdf.Object(2, "<< /Type /Pages /Kids [3 0 R 4 0 R 3 0 R] /Count 3 >>");
            for (int page : {3, 4})
                pdf.Object(page, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << >> >>");
            document = pdf.WithXRefTable("/Root 1 0 R");
        } else if (i % 97 == 6) {
            // Two pages that claim to be five.
            document = BlankLetterPages(2);
            document.replace(document.find("/Count 2"), 8, "/Count 5");
        }
        WriteFile(folder + "/in/" + name, document);
        production.names.push_back(name);
    }
    return production;
}

std::string RunChain(const Production& production, const std::string& outFolder, const std::string& numberFile,
                     const std::vector<std::string>& params) {
    std::filesystem::create_directories(production.folder + "/" + outFolder);
    for (size_t i = 0; i < production.names.size(); ++i) {
        std::vector<std::string> args{"text", production.Input(i),
                                      production.folder + "/" + outFolder + "/" + production.names[i]};
        args.insert(args.end(), params.begin(), params.end());
        args.insert(args.end(), {"-import", numberFile, "-export", numberFile});
        std::string out;
        if (CFrontEnd::Run(args, out) != CFrontEnd::kSuccess) return out;
    }
    return {};
}

std::vector<std::string> StampTexts(const std::string& pdf) {
    std::vector<std::string> texts;
    for (size_t at = pdf.find(" Tf\n("); at != std::string::npos; at = pdf.find(" Tf\n(", at + 1)) {
        const size_t end = pdf.find(") Tj\n", at);
        if (end == std::string::npos) break;
        texts.push_back(pdf.substr(at + 5, end - at - 5));
    }
    return texts;
}

std::vector<std::vector<std::string>> ParseCsv(const std::string& text) {
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> row;
    std::string field;
    bool quoted = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            row.push_back(std::move(field));
            field.clear();
        } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            row.push_back(std::move(field));
            field.clear();
            rows.push_back(std::move(row));
            row.clear();
            ++i;
        } else {
            field += c;
        }
    }
    return rows;
}
