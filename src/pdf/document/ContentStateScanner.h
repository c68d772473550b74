#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

class CPdfDictionary;
class CPdfStream;
class CPdfXRef;

// What a page's own content leaves behind when it ends.
struct ContentState {
    // The content may leave the graphics state changed: a transformation,
    // clipping path, text state or graphics state parameter set outside any
    // q/Q, q and Q that do not balance, or content that could not be decoded.
    bool changed = false;
    // The "q" the content leaves open at its end.
    int64_t openNesting = 0;
    // The "Q" that find no "q" of the content's own to restore.
    int64_t unmatchedRestores = 0;
    // The content ends inside a text object (BT without its ET).
    bool textObjectOpen = false;
    // The marked-content sequences (BMC or BDC without their EMC) open at its end.
    int64_t openMarkedContent = 0;

    // The most saved states or marked-content sequences a stamp balances.
    static constexpr int64_t kMaxOpenNesting = 256;
};

// Whether a content stream leaves a text object open.
enum class TextObjectEnd : uint8_t {
    // No BT or ET: as the stream found it.
    Unchanged,
    // The last of them is a BT.
    Open,
    // The last of them is an ET.
    Closed,
};

// How one content stream moves the graphics state stack, counted from the
// depth the stream starts at: a q is +1, a Q −1; and what it does to text
// objects and marked content.
struct ContentStreamEffect {
    static constexpr int64_t kNone = std::numeric_limits<int64_t>::max();

    int64_t endDepth = 0;
    // The lowest depth reached after a Q (0 or below).
    int64_t lowestDepth = 0;
    // The lowest depth at which cm, W, W*, gs, Tc, Tw, Tz, TL, Ts or Tr
    // appear; kNone when none does.
    int64_t lowestChangeDepth = kNone;
    // Marked-content sequences: BMC and BDC are +1, EMC −1, counted as the
    // graphics state stack is.
    int64_t markedEndDepth = 0;
    int64_t markedLowestDepth = 0;
    TextObjectEnd textObject = TextObjectEnd::Unchanged;
    // The stream's filters could not be decoded, its data was damaged, or
    // it is longer than the scanner may decode.
    bool undecodable = false;
};

// Decides, from the page's content streams, whether the page's content may
// leave the graphics state changed, and what it leaves open. Each content stream is decoded and
// scanned once (strings, comments and inline image data skipped), however
// many pages draw it; later pages reuse its effect.
class ContentStateScanner {
public:
    // `fileSize` bounds the bytes decoding may produce over the whole run.
    ContentStateScanner(CPdfXRef& xref, uint64_t fileSize);

    // The state the page's /Contents (one stream, an array of them, directly
    // or as an object of its own) leaves; unchanged for a page without content.
    ContentState PageState(const CPdfDictionary& page);

    // How decoded content moves the graphics state stack.
    static ContentStreamEffect Scan(std::string_view data);
    // What the page's content streams, drawn in this order, leave.
    static ContentState Combine(const std::vector<const ContentStreamEffect*>& streams);

private:
    // The effect of content stream `number`, scanned when first asked for;
    // nothing when the object is not a stream.
    const std::optional<ContentStreamEffect>& EffectOf(int32_t number, int32_t generation);

    // Decodes stream `number`, just fetched as `stream`, into the first
    // `length` bytes of buffer_; false when it is damaged or longer than the
    // budget or the largest stream allows. What reading delivers counts
    // against the budget.
    bool Decode(int32_t number, int32_t generation, CPdfStream& stream, size_t& length);
    // The same by reading the stream as any other reader does.
    bool ReadInSteps(CPdfStream& stream, size_t& length);

    CPdfXRef& xref_;
    uint64_t budget_;
    // Decoded content; it keeps its size from stream to stream.
    std::vector<uint8_t> buffer_;
    // By object number and generation.
    std::unordered_map<int64_t, std::optional<ContentStreamEffect>> effects_;
};
