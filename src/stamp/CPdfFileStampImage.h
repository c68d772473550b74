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
    // PDF 1.5 for a PNG picture of 16-bit samples, which it keeps.
    std::string LeastVersion() const override;
    void KeepVersion() override { sixteenBits_ = false; }
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
    // The picture's 16-bit samples stay 16-bit.
    bool sixteenBits_ = true;
};
