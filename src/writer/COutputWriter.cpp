#include "writer/COutputWriter.h"

#include <algorithm>
#include <initializer_list>
#include <string>

#include "base/CByteSource.h"
#include "base/CPdfException.h"
#include "pdf/object/CPdfArray.h"
#include "pdf/object/CPdfDictionary.h"
#include "pdf/object/PdfSyntax.h"
#include "pdf/reader/RawObject.h"
#include "writer/COutputSink.h"
#include "writer/CPdfObjectCipher.h"
#include "writer/EncryptedObjectText.h"
#include "writer/NumberFormat.h"

namespace {

// What closes a copy of an object that the input leaves open.
constexpr std::string_view kClosing = "\rendobj\r";

// The widest offset a 20-byte cross-reference line can hold.
constexpr int64_t kMaxXRefOffset = 9999999999;
// The table is written in parts of this size.
constexpr size_t kTablePart = 256u << 10;

std::string ValueText(const CPdfObject& value, int depth);

// The trailer entries named in `keys` (written in the dictionary's key
// order), as stored: integers, references, and arrays of strings (/ID).
std::string TrailerKeys(const CPdfDictionary& trailer, std::initializer_list<std::string_view> keys) {
    std::string text;
    for (const auto& [key, value] : trailer.entries()) {
        if (std::find(keys.begin(), keys.end(), key) == keys.end()) continue;
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
            case pdfDictionary:
                // A direct /Encrypt dictionary, written back as its value.
                text += "/" + key + " " + ValueText(value, 0) + "\n";
                break;
            default:
                break;
        }
    }
    return text;
}

// A direct value in PDF syntax (strings in hex form, names escaped).
std::string ValueText(const CPdfObject& value, int depth) {
    if (depth > 32) return "null";
    switch (value.kind()) {
        case pdfBoolean:
            return value.getBool() ? "true" : "false";
        case pdfInteger:
            return FormatInt(value.getInt64());
        case pdfReal:
            return FormatFixed(value.getReal());
        case pdfString:
            return value.getString().writeHex();
        case pdfText:
            return CPdfString(value.getText(), true).writeHex();
        case pdfName: {
            std::string text = "/";
            text += PdfNameText(value.getName());
            return text;
        }
        case pdfReference:
            return FormatInt(value.getRef().number) + " " + FormatInt(value.getRef().generation) + " R";
        case pdfArray: {
            std::string text = "[";
            const CPdfArray& array = value.getArray();
            for (size_t i = 0; i < array.getLength(); ++i) text += ValueText(array.getNF(i), depth + 1) + " ";
            return text + "]";
        }
        case pdfDictionary: {
            std::string text = "<<";
            for (const auto& [key, entry] : value.getDict().entries())
                text += ValueText(CPdfObject::Name(key), depth + 1) + " " + ValueText(entry, depth + 1) + " ";
            return text + ">>";
        }
        default:
            return "null";
    }
}

}  // namespace

COutputWriter::COutputWriter(COutputSink& sink, size_t inputEntries) : sink_(sink), firstNew_(inputEntries) {
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
    sink_.Write(header);
}

bool COutputWriter::Record(int32_t number, int32_t generation) {
    if (number < 0 || static_cast<size_t>(number) >= entries_.size()) return false;
    entries_[static_cast<size_t>(number)] = {sink_.Position(), generation, 1};
    return true;
}

bool COutputWriter::CopyObject(int32_t number, int32_t generation, CByteSource& input,
                               const RawObjectLocation& location) {
    const bool recorded = Record(number, generation);
    sink_.CopyFrom(input, static_cast<uint64_t>(location.start), static_cast<uint64_t>(location.length));
    if (location.unclosed) sink_.Write(kClosing);
    return recorded;
}

bool COutputWriter::WriteObject(int32_t number, int32_t generation, const RawObject& object) {
    if (object.form != RawObject::Form::Member) {
        const bool recorded = Record(number, generation);
        sink_.Write(object.bytes);
        if (object.form == RawObject::Form::Unclosed) sink_.Write(kClosing);
        return recorded;
    }
    const bool recorded = Record(number, generation);
    std::string framed = FormatInt(number) + " " + FormatInt(generation) + " obj\r";
    // Only the value is encrypted, so that a damaged one (a string left open)
    // cannot take the closing "endobj" with it.
    if (cipher_ != nullptr && number != plainNumber_ && MayHoldString(object.bytes)) {
        framed += cipher_->EncryptObject(number, generation, object.bytes);
    } else {
        framed += object.bytes;
    }
    framed += "endobj\r";
    sink_.Write(framed);
    return recorded;
}

int32_t COutputWriter::ReserveNumber() {
    entries_.push_back({});
    return static_cast<int32_t>(entries_.size() - 1);
}

int32_t COutputWriter::NewNumber(int32_t reserved) {
    if (reserved == 0) return ReserveNumber();
    // Only a number reserved and not yet written.
    if (reserved < 0 || static_cast<size_t>(reserved) < firstNew_ || static_cast<size_t>(reserved) >= entries_.size() ||
        entries_[static_cast<size_t>(reserved)].inUse != 0)
        throw CPdfException("Output file write error");
    return reserved;
}

void COutputWriter::WriteNew(int32_t number, std::string_view head, std::string_view data, std::string_view tail) {
    entries_[static_cast<size_t>(number)] = {sink_.Position(), 0, 1};
    if (cipher_ != nullptr) {
        std::string object;
        object.reserve(head.size() + data.size() + tail.size());
        object.append(head).append(data).append(tail);
        sink_.Write(cipher_->EncryptObject(number, 0, object));
        return;
    }
    // A picture's data is written where it is, not copied.
    sink_.Write(head);
    sink_.Write(data);
    sink_.Write(tail);
}

int32_t COutputWriter::appendObject(std::string_view body, int32_t reserved) {
    const int32_t number = NewNumber(reserved);
    std::string head;
    AppendInt(head, number);
    head += " 0 obj";
    WriteNew(number, head, body, "endobj\n");
    return number;
}

int32_t COutputWriter::AppendStream(std::string_view dictionary, std::string_view data, int32_t reserved) {
    const int32_t number = NewNumber(reserved);
    // The value goes after the key "/Length" (not a longer key such as /Length1).
    size_t key = dictionary.find("/Length");
    constexpr size_t kKeySize = std::string_view("/Length").size();
    while (key != std::string_view::npos && key + kKeySize < dictionary.size() &&
           IsPdfRegular(static_cast<unsigned char>(dictionary[key + kKeySize])))
        key = dictionary.find("/Length", key + kKeySize);
    if (key == std::string_view::npos) throw CPdfException("Output file write error");
    std::string head;
    head.reserve(dictionary.size() + 48);
    AppendInt(head, number);
    head += " 0 obj";
    head += dictionary.substr(0, key + kKeySize);
    head += ' ';
    AppendInt(head, static_cast<int64_t>(data.size()));
    head += dictionary.substr(key + kKeySize);
    head += "stream\n";
    WriteNew(number, head, data, "\nendstream\nendobj\n");
    return number;
}

int64_t COutputWriter::writeXRefTable() {
    const int64_t position = sink_.Position();
    std::string table = "xref\n0 " + FormatInt(static_cast<int64_t>(entries_.size())) + "\r";
    table.reserve(table.size() + std::min<size_t>(entries_.size() * 20, kTablePart + 20));
    if (!entries_.empty()) table += "0000000000 65535 f \r";
    for (size_t i = 1; i < entries_.size(); ++i) {
        const OutputEntry& entry = entries_[i];
        if (entry.offset < 0 || entry.offset > kMaxXRefOffset) throw CPdfException("Output file write error");
        // Generations outside 0..65535 would not fit the fixed line.
        AppendXRefLine(table, entry.offset, entry.generation, entry.inUse != 0 ? " n \r" : " f \r");
        if (table.size() >= kTablePart) {
            sink_.Write(table);
            table.clear();
        }
    }
    sink_.Write(table);
    return position;
}

void COutputWriter::writeTrailer(int64_t xrefPosition, const CPdfDictionary& trailer) {
    std::string text = "trailer\n<<\n/Size " + FormatInt(static_cast<int64_t>(entries_.size())) + "\n";
    text += cipher_ != nullptr ? TrailerKeys(trailer, {"Root", "Info", "ID", "Encrypt"})
                               : TrailerKeys(trailer, {"Root", "Info", "ID"});
    text += ">>\nstartxref\n" + FormatInt(xrefPosition) + "\n%%EOF";
    sink_.Write(text);
}

void COutputWriter::beginUpdate(CByteSource& input, const UpdateTarget& target) {
    update_ = target;
    sink_.CopyWhole(input);
    uint8_t last = 0;
    const uint64_t size = input.Size();
    if (size == 0 || input.Read(size - 1, &last, 1) != 1 || (last != '\n' && last != '\r')) sink_.Write("\n");
}

int64_t COutputWriter::XRefOffset(const OutputEntry& entry) const {
    return entry.offset - (update_ ? update_->base : 0);
}

std::vector<std::pair<int32_t, int32_t>> COutputWriter::InUseRuns() const {
    std::vector<std::pair<int32_t, int32_t>> runs;
    for (size_t i = 1; i < entries_.size(); ++i) {
        if (entries_[i].inUse == 0) continue;
        const auto number = static_cast<int32_t>(i);
        if (!runs.empty() && runs.back().first + runs.back().second == number) {
            ++runs.back().second;
        } else {
            runs.emplace_back(number, 1);
        }
    }
    return runs;
}

void COutputWriter::writeUpdateSection(const CPdfDictionary& trailer) {
    if (!update_) throw CPdfException("Output file write error");
    const std::string keys =
        TrailerKeys(trailer, {"Root", "Info", "ID", "Encrypt"}) + "/Prev " + FormatInt(update_->previousXRef) + "\n";
    if (update_->streamForm) {
        WriteUpdateStream(keys);
    } else {
        WriteUpdateTable(keys);
    }
}

void COutputWriter::WriteUpdateTable(const std::string& keys) {
    const int64_t position = sink_.Position() - update_->base;
    std::string table = "xref\n";
    for (const auto& [first, count] : InUseRuns()) {
        table += FormatInt(first) + " " + FormatInt(count) + "\n";
        for (int32_t number = first; number < first + count; ++number) {
            const OutputEntry& entry = entries_[static_cast<size_t>(number)];
            const int64_t offset = XRefOffset(entry);
            if (offset < 0 || offset > kMaxXRefOffset) throw CPdfException("Output file write error");
            AppendXRefLine(table, offset, entry.generation, " n\r\n");
            if (table.size() >= kTablePart) {
                sink_.Write(table);
                table.clear();
            }
        }
    }
    table += "trailer\n<<\n/Size " + FormatInt(static_cast<int64_t>(entries_.size())) + "\n" + keys +
             ">>\nstartxref\n" + FormatInt(position) + "\n%%EOF\n";
    sink_.Write(table);
}

void COutputWriter::WriteUpdateStream(const std::string& keys) {
    // The stream is an object of the update itself, listed in its own rows.
    const int64_t position = sink_.Position() - update_->base;
    // Never encrypted, so not through appendObject.
    entries_.push_back({sink_.Position(), 0, 1});
    const auto number = static_cast<int32_t>(entries_.size() - 1);
    const auto runs = InUseRuns();
    int64_t largest = 0;
    for (const OutputEntry& entry : entries_)
        if (entry.inUse != 0) largest = std::max(largest, XRefOffset(entry));
    int width = 1;
    while (width < 8 && (largest >> (8 * width)) != 0) ++width;
    std::string rows;
    std::string index;
    for (const auto& [first, count] : runs) {
        if (!index.empty()) index += ' ';
        index += FormatInt(first);
        index += ' ';
        index += FormatInt(count);
        for (int32_t i = first; i < first + count; ++i) {
            const OutputEntry& entry = entries_[static_cast<size_t>(i)];
            const int64_t offset = XRefOffset(entry);
            if (offset < 0) throw CPdfException("Output file write error");
            rows += '\x01';
            for (int shift = 8 * (width - 1); shift >= 0; shift -= 8)
                rows += static_cast<char>((offset >> shift) & 0xFF);
            const int32_t generation = std::clamp(entry.generation, 0, 65535);
            rows += static_cast<char>(generation >> 8);
            rows += static_cast<char>(generation & 0xFF);
        }
    }
    sink_.Write(FormatInt(number) + " 0 obj\n<<\n/Type /XRef\n/Size " +
                FormatInt(static_cast<int64_t>(entries_.size())) + "\n/W [1 " + FormatInt(width) + " 2]\n/Index [" +
                index + "]\n" + keys + "/Length " + FormatInt(static_cast<int64_t>(rows.size())) + "\n>>\nstream\n");
    sink_.Write(rows);
    sink_.Write("\nendstream\nendobj\nstartxref\n" + FormatInt(position) + "\n%%EOF\n");
}
