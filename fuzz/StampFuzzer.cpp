// The whole stamp over arbitrary bytes, as a user runs it: the input is
// written to a file, stamped in text mode and in image mode (with -repair)
// into an output
// beside it, and each run either fails with one message and leaves nothing
// behind, or writes a complete output whose table leads to every object.
// An input that begins with the PNG signature is the picture instead, drawn
// on a small document in image mode.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "base/CByteSource.h"
#include "base/CPdfException.h"
#include "pdf/object/CPdfObject.h"
#include "pdf/reader/CPdfFileStream.h"
#include "pdf/reader/CPdfXRef.h"
#include "pdf/reader/RawObject.h"
#include "stamp/CPdfFileStampImage.h"
#include "stamp/CPdfFileStampText.h"

namespace {

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

std::string ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteAll(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    Check(static_cast<bool>(out));
}

// A baseline JPEG of 8×8 pixels, three components: what the image stamp
// needs to read its size and colours.
std::string SmallJpeg() {
    const unsigned char bytes[] = {
        0xFF, 0xD8,                                                              // start of image
        0xFF, 0xC0, 0x00, 0x11, 0x08, 0x00, 0x08, 0x00, 0x08,                    // frame: 8 bits, 8×8
        0x03, 0x01, 0x11, 0x00, 0x02, 0x11, 0x00, 0x03, 0x11, 0x00, 0xFF, 0xD9,  // end of image
    };
    return std::string(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

// A one-page document for the PNG pictures.
std::string OnePage() {
    const std::string objects[] = {
        "1 0 obj\n<< /Type /Catalog /Pages 2 0 R >>\nendobj\n",
        "2 0 obj\n<< /Type /Pages /Kids [3 0 R] /Count 1 >>\nendobj\n",
        "3 0 obj\n<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] >>\nendobj\n",
    };
    std::string pdf = "%PDF-1.4\n";
    std::string table = "xref\n0 4\n0000000000 65535 f \n";
    for (const std::string& object : objects) {
        const std::string offset = std::to_string(pdf.size());
        table += std::string(10 - offset.size(), '0') + offset + " 00000 n \n";
        pdf += object;
    }
    const std::string start = std::to_string(pdf.size());
    return pdf + table + "trailer\n<< /Size 4 /Root 1 0 R >>\nstartxref\n" + start + "\n%%EOF\n";
}

// A folder of this process's own, made once and emptied after every run.
struct Workspace {
    std::filesystem::path folder;
    std::filesystem::path input;
    std::filesystem::path output;
    std::filesystem::path jpeg;

    Workspace() {
        std::string pattern = (std::filesystem::temp_directory_path() / "brevano-stamp-fuzz-XXXXXX").string();
        Check(mkdtemp(pattern.data()) != nullptr);
        folder = pattern;
        input = folder / "in.pdf";
        output = folder / "out.pdf";
        jpeg = folder / "logo.jpg";
        WriteAll(jpeg, SmallJpeg());
    }
    ~Workspace() {
        std::error_code error;
        std::filesystem::remove_all(folder, error);
    }
};

Workspace& TheWorkspace() {
    static Workspace workspace;
    return workspace;
}

size_t FolderSize(const std::filesystem::path& folder) {
    size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) ++count;
    return count;
}

// The output's own cross-reference table loads, and every object it lists is
// found where it says, as the reader finds any object. (Whether the objects
// parse as they did in the input is the input's affair: a damaged object is
// copied as it stands.)
void CheckTable(const std::string& bytes) {
    auto source = std::make_shared<CMemoryByteSource>(bytes);
    CPdfXRef xref(std::make_shared<CPdfFileStream>(source, 0, 0, CPdfObject::Null()));
    try {
        xref.Load();
    } catch (const CPdfException&) {
        Check(false);
    }
    // An input entry that leads to white space before its object is copied
    // so; the object is found the way the reader finds any object.
    for (size_t number = 0; number < xref.entries().size(); ++number) {
        if (xref.entries()[number].type == XRefEntryType::InUse)
            Check(LocateRawObject(xref, static_cast<int32_t>(number)).has_value());
    }
}

// One run: on failure only the input and the picture are left in the folder;
// on success the output is a whole PDF whose table is right.
void Stamp(CPdfFileStamp& stamp, const std::vector<std::string>& words) {
    Workspace& work = TheWorkspace();
    stamp.SetResourceNumberSource([] { return 123; });
    bool written = false;
    try {
        stamp.ParseParams(words);
        written = stamp.Process();
    } catch (const CPdfException& error) {
        Check(error.GetMessage()[0] != '\0');
        Check(FolderSize(work.folder) == 2);
        return;
    }
    Check(written);
    Check(FolderSize(work.folder) == 3);
    const std::string bytes = ReadAll(work.output);
    Check(bytes.compare(0, 5, "%PDF-") == 0);
    // A signed input is stamped as an update, which ends with a line end.
    const size_t end = bytes.size() - (bytes.empty() || bytes.back() != '\n' ? 0 : 1);
    Check(end >= 5 && bytes.compare(end - 5, 5, "%%EOF") == 0);
    CheckTable(bytes);
    std::filesystem::remove(work.output);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Workspace& work = TheWorkspace();
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::string in = work.input.string();
    const std::string out = work.output.string();
    if (bytes.compare(0, 8, "\x89PNG\r\n\x1A\n") == 0) {
        WriteAll(work.input, OnePage());
        // In place of the JPEG for this run.
        WriteAll(work.jpeg, bytes);
        {
            CPdfFileStampImage image;
            Stamp(image, {in, out, "-j" + work.jpeg.string(), "-opacity35", "-size-1,50"});
        }
        WriteAll(work.jpeg, SmallJpeg());
        return 0;
    }
    WriteAll(work.input, bytes);
    {
        CPdfFileStampText text;
        // Odd-sized inputs take the numbering and placement options that
        // reach the most code; even-sized ones the defaults.
        if (size % 2 == 1) {
            Stamp(text, {in, out, "-2up", "-r", "-force", "-fliph", "-flipv", "-align", "center", "-angle30", "-rom",
                         "-font", "Times-Roman"});
        } else {
            Stamp(text, {in, out});
        }
    }
    {
        // The image run reads a damaged input through the scan (-repair).
        CPdfFileStampImage image;
        Stamp(image, {in, out, "-j" + work.jpeg.string(), "-opacity35", "-force", "-pos-1,20", "-repair"});
    }
    return 0;
}
