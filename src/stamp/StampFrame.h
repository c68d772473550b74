#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// How a stamp's drawing fits into the page: the "Q" that first return to the
// page's initial graphics state (when the page's own content is drawn inside
// a saved state), and, in a tagged document, the artifact marks that let
// accessibility tools pass over the stamp.
struct StampFrame {
    int32_t restores = 0;
    bool artifact = false;

    // `drawing` framed: "Q\n" per restore, then, for an artifact,
    // "/Artifact <</Type /`type`>> BDC\n" before and "\nEMC" after it.
    std::string Frame(std::string_view type, std::string_view drawing) const;
};
