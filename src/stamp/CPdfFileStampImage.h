#pragma once

#include <memory>
#include <string>

#include "stamp/CPdfFileStamp.h"
#include "stamp/StampOptions.h"

class CByteSource;

// Image mode: a JPEG or PNG picture on every page.
class CPdfFileStampImage : public CPdfFileStamp {
public:
    bool ParseParams(const std::vector<std::string>& words) override;

    const ImageStampOptions& options() const { return options_; }

protected:
    void OpenStampFiles() override;
    // The graphics state's /ca, and a PNG picture's soft mask, need PDF 1.4;
    // a PNG picture of 16-bit samples, which it keeps, PDF 1.5.
    std::string_view PrepareStamp(const PageList&) override;
    void PrepareSharedObjects(COutputWriter& writer, const PageList& pages) override;
    std::optional<int32_t> SelectPage(int32_t position, int32_t pageCount) override;
    int32_t WriteContentStream(COutputWriter& writer, const StampedPage& page, const StampFrame& frame) override;
    std::vector<ResourceFragment> Fragments() const override;
    const StampOptions& SharedOptions() const override { return options_; }

private:
    StampPlacement CalcImagePosition(const StampedPage& page) const;
    // The image XObject of a JPEG file: its bytes unchanged.
    void WriteJpegObject(COutputWriter& writer);
    // The image XObject of a PNG file, and its soft mask.
    void WritePngObjects(COutputWriter& writer);

    std::shared_ptr<CByteSource> picture_;
    std::string stateResourceName_;
    std::string imageResourceName_;
    int32_t stateObjectNumber_ = 0;
    int32_t imageObjectNumber_ = 0;
    ImageStampOptions options_;
};
