#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// How a stamp's drawing fits into the page: first what the page's own content
// leaves open (a text object, marked-content sequences) is closed, then the
// "Q" return to the page's initial graphics state (when the page's own
// content is drawn inside saved states), and, in a tagged document, the
// artifact marks let accessibility tools pass over the stamp.
struct StampFrame {
    bool closesTextObject = false;
    int32_t closesMarkedContent = 0;
    int32_t restores = 0;
    bool artifact = false;

    // Nothing to add around the drawing.
    bool IsEmpty() const { return !closesTextObject && closesMarkedContent <= 0 && restores <= 0 && !artifact; }

    // `drawing` framed: "ET\n" when it closes a text object, "EMC\n" per
    // marked-content sequence, "Q\n" per restore, then, for an artifact,
    // "/Artifact <</Type /`type`>> BDC\n" before and "\nEMC" after it.
    std::string Frame(std::string_view type, std::string_view drawing) const;
};
