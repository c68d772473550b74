#include "stamp/StampFrame.h"

std::string StampFrame::Frame(std::string_view type, std::string_view drawing) const {
    std::string content;
    content.reserve(drawing.size() + 2 * static_cast<size_t>(restores > 0 ? restores : 0) + 48);
    for (int32_t i = 0; i < restores; ++i) content += "Q\n";
    if (artifact) {
        content += "/Artifact <</Type /";
        content += type;
        content += ">> BDC\n";
    }
    content += drawing;
    if (artifact) content += "\nEMC";
    return content;
}
