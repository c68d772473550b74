#include "stamp/CPdfFileStampImage.h"

#include "base/CByteSource.h"
#include "base/CPdfException.h"
#include "pictures/JpegProbe.h"
#include "pictures/PngImage.h"
#include "stamp/ImageStamp.h"
#include "stamp/OptionParser.h"
#include "writer/NumberFormat.h"

bool CPdfFileStampImage::ParseParams(const std::vector<std::string>& words) {
    ParseImageParams(words, options_, inputFileName_, outputFileName_);
    RememberParameters(words);
    password_ = options_.password;
    return true;
}

void CPdfFileStampImage::OpenStampFiles() {
    if (options_.jpegFile.empty()) throw CPdfException("-j parameter missing");
    picture_ = std::make_shared<CFileByteSource>(options_.jpegFile, "Image file open error");
}

std::string_view CPdfFileStampImage::PrepareStamp(const PageList&) {
    uint8_t head[32] = {};
    const size_t headSize = picture_->Read(0, head, sizeof head);
    return PngImage::BitDepth(std::string_view(reinterpret_cast<const char*>(head), headSize)) == 16 ? "1.5" : "1.4";
}

void CPdfFileStampImage::PrepareSharedObjects(COutputWriter& writer, const PageList&) {
    const std::string number = FormatInt(NextResourceNumber({"GS", "Im"}));
    stateResourceName_ = "GS" + number;
    imageResourceName_ = "Im" + number;
    stateObjectNumber_ = writer.appendObject(GraphicsStateBody(options_.opacity));

    uint8_t head[8] = {};
    const size_t headSize = picture_->Read(0, head, sizeof head);
    if (PngImage::HasSignature(std::string_view(reinterpret_cast<const char*>(head), headSize)))
        WritePngObjects(writer);
    else
        WriteJpegObject(writer);
}

void CPdfFileStampImage::WriteJpegObject(COutputWriter& writer) {
    const uint64_t size = picture_->Size();
    std::string bytes(static_cast<size_t>(size), '\0');
    if (picture_->Read(0, reinterpret_cast<uint8_t*>(bytes.data()), bytes.size()) != bytes.size())
        throw CPdfException("Image file open error");
    const std::optional<JpegInfo> info = ProbeJpegSize(bytes);
    if (!info || (info->components != 1 && info->components != 3 && info->components != 4) || info->width <= 0 ||
        info->height <= 0)
        throw CPdfException("Image file format error");
    if (options_.imageWidth == -1) options_.imageWidth = info->width;
    if (options_.imageHeight == -1) options_.imageHeight = info->height;
    imageObjectNumber_ = writer.AppendStream(JpegXObjectDictionary(*info), bytes);
}

// The picture, then its alpha as the soft mask, when it has transparent parts.
void CPdfFileStampImage::WritePngObjects(COutputWriter& writer) {
    const PngImage image = PngImage::Decode(*picture_);
    if (options_.imageWidth == -1) options_.imageWidth = image.width;
    if (options_.imageHeight == -1) options_.imageHeight = image.height;
    // The picture names its mask, written after it.
    imageObjectNumber_ = writer.ReserveNumber();
    const int32_t maskNumber = image.alpha.empty() ? 0 : writer.ReserveNumber();
    writer.AppendStream(PngXObjectDictionary(image, maskNumber), image.samples, imageObjectNumber_);
    if (maskNumber != 0) writer.AppendStream(SoftMaskDictionary(image), image.alpha, maskNumber);
}

std::optional<int32_t> CPdfFileStampImage::SelectPage(int32_t, int32_t) { return 0; }

StampPlacement CPdfFileStampImage::CalcImagePosition(const StampedPage& page) const {
    StampPlacement placement = CalcPosition(page, options_);
    AlignPlacement(placement, options_.align, static_cast<float>(options_.imageWidth));
    return placement;
}

int32_t CPdfFileStampImage::WriteContentStream(COutputWriter& writer, const StampedPage& page,
                                               const StampFrame& frame) {
    const StampPlacement placement = CalcImagePosition(page);
    return writer.AppendStream(ImageContent(placement, stateResourceName_, imageResourceName_, options_.imageWidth,
                                            options_.imageHeight, frame));
}

std::vector<ResourceFragment> CPdfFileStampImage::Fragments() const {
    return {{"XObject", imageResourceName_, imageObjectNumber_}, {"ExtGState", stateResourceName_, stateObjectNumber_}};
}
