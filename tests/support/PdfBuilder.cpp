#include "support/PdfBuilder.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>

PdfBuilder OnePageObjects(const OnePage& document) {
    PdfBuilder pdf(document.header);
    pdf.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    pdf.Object(2, "<< /Type /Pages /Kids [3 0 R] " + document.pages + " >>");
    pdf.Object(3, document.page);
    if (!document.content.empty()) pdf.Stream(4, "", document.content);
    for (const auto& [number, body] : document.more) pdf.Object(number, body);
    return pdf;
}

std::string OnePagePdf(const OnePage& document) { return OnePageObjects(document).WithXRefTable("/Root 1 0 R"); }

std::string BlankLetterPages(int count) {
    PdfBuilder pdf;
    std::string kids;
    for (int i = 0; i < count; ++i) kids += std::to_string(3 + i) + " 0 R ";
    pdf.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    pdf.Object(2, "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(count) + " >>");
    for (int i = 0; i < count; ++i)
        pdf.Object(3 + i, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << >> >>");
    return pdf.WithXRefTable("/Root 1 0 R");
}

std::string Deflate(const std::string& data) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    std::string out(size, '\0');
    if (compress(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(data.data()),
                 static_cast<uLong>(data.size())) != Z_OK)
        throw std::runtime_error("compress failed");
    out.resize(size);
    return out;
}

PdfBuilder::PdfBuilder(std::string header) : header_(std::move(header)), bytes_(header_) {}

PdfBuilder& PdfBuilder::Object(int32_t number, const std::string& body, int32_t generation) {
    entries_[number] = {1, static_cast<int64_t>(bytes_.size()), generation};
    bytes_ += std::to_string(number) + " " + std::to_string(generation) + " obj\n" + body + "\nendobj\n";
    return *this;
}

PdfBuilder& PdfBuilder::Stream(int32_t number, const std::string& dictionaryEntries, const std::string& data) {
    return Object(number, "<< " + dictionaryEntries + " /Length " + std::to_string(data.size()) + " >>\nstream\n" +
                              data + "\nendstream");
}

PdfBuilder& PdfBuilder::Raw(const std::string& bytes) {
    bytes_ += bytes;
    return *this;
}

PdfBuilder& PdfBuilder::Compressed(int32_t number, int32_t stream, int32_t index) {
    entries_[number] = {2, stream, index};
    return *this;
}

PdfBuilder& PdfBuilder::ObjectStream(int32_t number, const std::vector<std::pair<int32_t, std::string>>& members,
                                     bool compress) {
    std::string header;
    std::string body;
    for (const auto& [member, value] : members) {
        header += std::to_string(member) + " " + std::to_string(body.size()) + " ";
        body += value + "\n";
    }
    const std::string data = header + body;
    std::string entries =
        "/Type /ObjStm /N " + std::to_string(members.size()) + " /First " + std::to_string(header.size());
    if (compress) {
        Stream(number, entries + " /Filter /FlateDecode", Deflate(data));
    } else {
        Stream(number, entries, data);
    }
    int32_t index = 0;
    for (const auto& member : members) Compressed(member.first, number, index++);
    return *this;
}

int32_t PdfBuilder::size() const { return entries_.empty() ? 1 : entries_.rbegin()->first + 1; }

std::string PdfBuilder::WithXRefTable(const std::string& trailerEntries) {
    const int64_t start = static_cast<int64_t>(bytes_.size());
    const int32_t count = size();
    std::string table = "xref\n0 " + std::to_string(count) + "\n";
    for (int32_t i = 0; i < count; ++i) {
        char line[32];
        const auto found = entries_.find(i);
        if (i == 0 || found == entries_.end() || found->second.type != 1) {
            std::snprintf(line, sizeof line, "%010d %05d f \n", 0, i == 0 ? 65535 : 0);
        } else {
            std::snprintf(line, sizeof line, "%010lld %05d n \n", static_cast<long long>(found->second.offset),
                          found->second.generation);
        }
        table += line;
    }
    return bytes_ + table + "trailer\n<< /Size " + std::to_string(count) + " " + trailerEntries + " >>\nstartxref\n" +
           std::to_string(start) + "\n%%EOF\n";
}

std::string PdfBuilder::WithXRefStream(int32_t number, const std::string& trailerEntries, bool compress) {
    entries_[number] = {1, static_cast<int64_t>(bytes_.size()), 0};
    const int32_t count = size();
    std::string rows;
    for (int32_t i = 0; i < count; ++i) {
        const auto found = entries_.find(i);
        Entry entry{0, 0, i == 0 ? 65535 : 0};
        if (i != 0 && found != entries_.end()) entry = found->second;
        const auto offset = static_cast<uint32_t>(entry.offset);
        rows += static_cast<char>(entry.type);
        for (int shift = 24; shift >= 0; shift -= 8) rows += static_cast<char>((offset >> shift) & 0xFF);
        rows += static_cast<char>((entry.generation >> 8) & 0xFF);
        rows += static_cast<char>(entry.generation & 0xFF);
    }
    const int64_t start = static_cast<int64_t>(bytes_.size());
    std::string dictionary = "/Type /XRef /Size " + std::to_string(count) + " /W [1 4 2] " + trailerEntries;
    if (compress) {
        Stream(number, dictionary + " /Filter /FlateDecode", Deflate(rows));
    } else {
        Stream(number, dictionary, rows);
    }
    return bytes_ + "startxref\n" + std::to_string(start) + "\n%%EOF\n";
}

std::string XRefStreamRow(const std::array<int, 3>& widths, uint64_t type, uint64_t second, uint64_t third) {
    std::string row;
    const uint64_t fields[3] = {type, second, third};
    for (size_t i = 0; i < 3; ++i) {
        for (int shift = 8 * (widths[i] - 1); shift >= 0; shift -= 8)
            row += static_cast<char>((fields[i] >> shift) & 0xFF);
    }
    return row;
}

int64_t LastStartXRef(const std::string& file) {
    const size_t at = file.rfind("startxref");
    if (at == std::string::npos) throw std::runtime_error("no startxref");
    return std::stoll(file.substr(at + 9));
}

std::string XRefTableLine(int64_t offset, int32_t generation, char kind) {
    char line[32];
    std::snprintf(line, sizeof line, "%010lld %05d %c \n", static_cast<long long>(offset), generation, kind);
    return line;
}

std::string PdfBuilder::WithXRefUpdate(const std::string& trailerEntries) {
    const int64_t start = static_cast<int64_t>(bytes_.size());
    std::string table = "xref\n";
    auto it = entries_.begin();
    while (it != entries_.end()) {
        // One subsection per run of consecutive numbers.
        auto end = it;
        int32_t next = it->first;
        while (end != entries_.end() && end->first == next) {
            ++end;
            ++next;
        }
        table += std::to_string(it->first) + " " + std::to_string(next - it->first) + "\n";
        for (; it != end; ++it) {
            if (it->second.type == 1) {
                table += XRefTableLine(it->second.offset, it->second.generation, 'n');
            } else {
                table += XRefTableLine(0, 0, 'f');
            }
        }
    }
    return bytes_ + table + "trailer\n<< /Size " + std::to_string(size()) + " " + trailerEntries + " >>\nstartxref\n" +
           std::to_string(start) + "\n%%EOF\n";
}

std::string PdfBuilder::WithHybridXRef(int32_t number, const std::string& trailerEntries) {
    const std::array<int, 3> widths{1, 4, 2};
    std::string rows;
    std::string index;
    for (const auto& [member, entry] : entries_) {
        if (entry.type != 2) continue;
        index += std::to_string(member) + " 1 ";
        rows += XRefStreamRow(widths, 2, static_cast<uint64_t>(entry.offset), static_cast<uint64_t>(entry.generation));
    }
    const int32_t count = std::max(size(), number + 1);
    const int64_t streamOffset = static_cast<int64_t>(bytes_.size());
    Stream(number, "/Type /XRef /Size " + std::to_string(count) + " /W [1 4 2] /Index [" + index + "]", rows);
    const int64_t start = static_cast<int64_t>(bytes_.size());
    std::string table = "xref\n0 1\n" + XRefTableLine(0, 65535, 'f');
    for (const auto& [member, entry] : entries_) {
        if (entry.type != 1 || member == 0) continue;
        table += std::to_string(member) + " 1\n" + XRefTableLine(entry.offset, entry.generation, 'n');
    }
    return bytes_ + table + "trailer\n<< /Size " + std::to_string(count) + " /XRefStm " + std::to_string(streamOffset) +
           " " + trailerEntries + " >>\nstartxref\n" + std::to_string(start) + "\n%%EOF\n";
}

std::string PdfBuilder::WithStartXRef(int64_t offset) const {
    return bytes_ + "startxref\n" + std::to_string(offset) + "\n%%EOF\n";
}
