#include "stamp/StampFrame.h"

#include <algorithm>

std::string StampFrame::Frame(std::string_view type, std::string_view drawing) const {
    const auto closes = static_cast<size_t>(std::max(closesMarkedContent, 0));
    const auto restoring = static_cast<size_t>(std::max(restores, 0));
    std::string content;
    content.reserve(drawing.size() + 3 + 4 * closes + 2 * restoring + 48);
    if (closesTextObject) content += "ET\n";
    for (size_t i = 0; i < closes; ++i) content += "EMC\n";
    for (size_t i = 0; i < restoring; ++i) content += "Q\n";
    if (artifact) {
        content += "/Artifact <</Type /";
        content += type;
        content += ">> BDC\n";
    }
    content += drawing;
    if (artifact) content += "\nEMC";
    return content;
}
