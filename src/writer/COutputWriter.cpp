#include "writer/COutputWriter.h"

#include <algorithm>
#include <string>

#include "app/CPdfException.h"
#include "pdf/object/CPdfArray.h"
#include "pdf/object/CPdfDictionary.h"
#include "writer/COutputFile.h"
#include "writer/NumberFormat.h"

namespace {

// The widest offset a 20-byte cross-reference line can hold.
constexpr int64_t kMaxXRefOffset = 9999999999;
// The table is written in parts of this size.
constexpr size_t kTablePart = 1u << 20;

}  // namespace

COutputWriter::COutputWriter(COutputFile& file, size_t inputEntries) : file_(file) {
    // Room for the new objects too (the stamp's shared objects and at most one
    // content stream per page, each page an input object), so that the table
    // of a large input is not moved, and held twice, while they are added.
    entries_.reserve(inputEntries * 2 + 16);
    entries_.resize(inputEntries);
}

void COutputWriter::writeHeader(std::string_view version) {
    std::string header = "%";
    header += version;
    header += "\r%\xE2\xE3\xCF\xD3\r\n";
    file_.Write(header);
}

bool COutputWriter::setEntry(int32_t number, int32_t generation, int64_t offset, bool inUse) {
    if (number < 0 || static_cast<size_t>(number) >= entries_.size()) return false;
    entries_[static_cast<size_t>(number)] = {offset, generation, inUse ? 1 : 0};
    return true;
}

int32_t COutputWriter::beginObject() {
    entries_.push_back({file_.Position(), 0, 1});
    return static_cast<int32_t>(entries_.size() - 1);
}

int32_t COutputWriter::appendObject(std::string_view text) {
    const int32_t number = beginObject();
    file_.Write(text);
    return number;
}

void COutputWriter::writeXRefTable() {
    std::string table = "xref\n0 " + FormatInt(static_cast<int64_t>(entries_.size())) + "\r";
    table.reserve(table.size() + std::min<size_t>(entries_.size() * 20, kTablePart + 20));
    if (!entries_.empty()) table += "0000000000 65535 f \r";
    for (size_t i = 1; i < entries_.size(); ++i) {
        const OutputEntry& entry = entries_[i];
        if (entry.offset < 0 || entry.offset > kMaxXRefOffset) throw CPdfException("Output file write error");
        // Generations outside 0..65535 would not fit the fixed line.
        const int32_t generation = std::clamp(entry.generation, 0, 65535);
        table += FormatPadded(entry.offset, 10);
        table += ' ';
        table += FormatPadded(generation, 5);
        table += entry.inUse != 0 ? " n \r" : " f \r";
        if (table.size() >= kTablePart) {
            file_.Write(table);
            table.clear();
        }
    }
    file_.Write(table);
}

void COutputWriter::writeTrailer(int64_t xrefPosition, const CPdfDictionary& trailer) {
    std::string text = "trailer\n<<\n/Size " + FormatInt(static_cast<int64_t>(entries_.size())) + "\n";
    for (const auto& [key, value] : trailer.entries()) {
        if (key != "Root" && key != "Info" && key != "ID") continue;
        switch (value.kind()) {
            case pdfInteger:
                text += "/" + key + " " + FormatInt(value.getInt()) + " \n";
                break;
            case pdfReference:
                text += "/" + key + " " + FormatInt(value.getRef().number) + " " +
                        FormatInt(value.getRef().generation) + " R\n";
                break;
            case pdfArray: {
                text += "/" + key + " [";
                const CPdfArray& array = value.getArray();
                for (size_t i = 0; i < array.getLength(); ++i) {
                    const CPdfObject element = array.get(i);
                    if (element.is(pdfString)) {
                        text += element.getString().writeHex();
                    } else if (element.is(pdfText)) {
                        text += CPdfString(element.getText(), true).writeHex();
                    }
                }
                text += "]\n";
                break;
            }
            default:
                break;
        }
    }
    text += ">>\nstartxref\n" + FormatInt(xrefPosition) + "\n%%EOF";
    file_.Write(text);
}
