#pragma once

#include <cstdint>
#include <string>

// Which end of the stamp the reference point marks.
enum class Alignment { Left, Center, Right };

// Settings shared by both stamp modes: which pages, and where the stamp goes.
struct StampOptions {
    int32_t startPage = 1;
    int32_t endPage = 99999;
    int32_t everyNth = 0;
    bool forcePortrait = false;
    bool flipVertical = false;
    bool flipHorizontal = false;
    Alignment align = Alignment::Left;
    int32_t posX = 20;
    int32_t posY = 10;
    int32_t angle = 0;
    // Append an update to the input instead of rewriting it.
    bool incremental = false;
    // Stamp a certified document all the same.
    bool ignoreDocMdp = false;
    // Rewrite a signed input whole, breaking its signatures, instead of
    // appending an update.
    bool breakSignatures = false;
    // The user or owner password of an encrypted input.
    std::string password;
    // Read an input whose cross-reference is damaged by scanning it for its
    // objects (-repair).
    bool repair = false;
};

// Text mode: the shared settings followed by the numbering and the look of the text.
struct TextStampOptions : StampOptions {
    int32_t startNumber = 1;
    int32_t endNumber = 99999;
    int32_t maskDigits = 0;
    int32_t fontSize = 11;
    bool sequential = false;
    bool reverse = false;
    bool twoUp = false;
    bool abTwoUp = false;
    bool oneNumber = false;
    bool romanLower = false;
    bool romanUpper = false;
    bool noPageNumber = false;
    std::string exportFile;
    std::string importFile;
    std::string prefixText = "Page ";
    std::string separatorText = " / ";
    std::string endText;
    std::string fontName = "Arial";
    // -fontfile: a TrueType or OpenType font to embed, and -fontindex, the
    // face in a collection.
    std::string fontFile;
    int32_t fontIndex = 0;
    // -lang: the language of the text (a BCP 47 tag) for choosing fonts and
    // glyph forms; empty: guessed from the script.
    std::string language;
    uint32_t color = 0;
};

// Image mode: the shared settings followed by the picture and how it is drawn.
struct ImageStampOptions : StampOptions {
    int32_t opacity = 100;
    int32_t imageWidth = -1;
    int32_t imageHeight = -1;
    std::string jpegFile;
};
