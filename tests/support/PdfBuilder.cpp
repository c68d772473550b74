#include "support/PdfBuilder.h"

#include <zlib.h>

#include <cstdio>
#include <stdexcept>

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
    std::string entries = "/Type /ObjStm /N " + std::to_string(members.size()) + " /First " +
                          std::to_string(header.size());
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
    return bytes_ + table + "trailer\n<< /Size " + std::to_string(count) + " " + trailerEntries +
           " >>\nstartxref\n" + std::to_string(start) + "\n%%EOF\n";
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
