#pragma once

#include <cstdint>

// Where an object stored plainly in the file lies: its bytes from the
// entry's offset through "endobj" and one byte more (normally its line end).
struct RawObjectLocation {
    // The file position of the object's first byte ("N G obj").
    int64_t start = 0;
    int64_t length = 0;
    // The object is a stream whose /Length leads to "endstream".
    bool isStream = false;
    // The object is an object stream (a stream whose /Type is /ObjStm), or a
    // cross-reference stream (/Type /XRef).
    bool isObjectStream = false;
    bool isXRefStream = false;
    // No "endobj" follows the object in the file: its bytes run through its
    // value, and a copy of it needs its closing.
    bool unclosed = false;
};
