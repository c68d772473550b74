#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "pdf/object/CPdfObject.h"

class CByteSource;
class CPdfDictionary;
class CPdfStream;
class CPdfXRef;
class CThreadPool;

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
// many pages draw it; later pages reuse its effect. Prepare scans the streams
// of pages to come on threads of the scanner's own while the caller works on;
// PageState gives the same answers, in the same order, with or without it.
class ContentStateScanner {
public:
    // `fileSize` bounds the bytes decoding may produce over the whole run.
    // Prepare scans on `threads` threads (0: as many as the processor has
    // cores); with 1 it does nothing.
    ContentStateScanner(CPdfXRef& xref, uint64_t fileSize, size_t threads = 1);
    ~ContentStateScanner();
    ContentStateScanner(const ContentStateScanner&) = delete;
    ContentStateScanner& operator=(const ContentStateScanner&) = delete;

    // Starts the scans of the page's content streams that are worth a thread
    // (deflated, or long), ahead of PageState for the page. Reads only the
    // streams' dictionaries, and no object stream.
    void Prepare(const CPdfDictionary& page);
    // Whether Prepare does anything.
    bool HasThreads() const { return pool_ != nullptr; }
    // How many streams Prepare has handed to the threads so far.
    uint64_t handedOver() const { return handedOver_; }

    // The state the page's /Contents (one stream, an array of them, directly
    // or as an object of its own) leaves; unchanged for a page without content.
    ContentState PageState(const CPdfDictionary& page);

    // How decoded content moves the graphics state stack.
    static ContentStreamEffect Scan(std::string_view data);
    // What the page's content streams, drawn in this order, leave.
    static ContentState Combine(const std::vector<const ContentStreamEffect*>& streams);

private:
    // What a thread keeps from one stream to the next.
    struct Decoder;
    // A scan started by Prepare.
    struct Ahead;
    // How decoding one stream ended.
    struct Decoded;

    // The effect of content stream `number`, scanned when first asked for;
    // nothing when the object is not a stream.
    const std::optional<ContentStreamEffect>& EffectOf(int32_t number, int32_t generation);
    // The effect the scan started by Prepare found, when it holds for the
    // budget left.
    std::optional<ContentStreamEffect> TakeAhead(int64_t key);
    // Whether the stream `reference` names was scanned, started or read.
    bool Known(const CPdfObject& reference) const;
    // The object a reference names, read now if that reads no object stream.
    std::optional<CPdfObject> ReadAhead(const CPdfObject& reference);
    // Hands content stream `value`, just read for `reference`, to a thread,
    // or keeps it for its turn.
    void PrepareStream(const CPdfObject& reference, CPdfObject value);
    // The scan of `stream` a thread would make; nothing for a stream not
    // worth a thread or not read from the file as it is or inflated.
    std::optional<Ahead> AheadOf(CPdfStream& stream) const;
    void ScanAhead(Ahead& ahead, size_t thread);

    // Decodes `stream` into `decoder`'s buffer; `again` gives a fresh copy of
    // it when a first way cannot tell what reading delivers. At most `cap`
    // bytes are decoded, and `budget` bytes delivered; `consumed` counts
    // what counts against the budget as decoding goes.
    static Decoded Decode(Decoder& decoder, CPdfStream& stream,
                          const std::function<std::shared_ptr<CPdfStream>()>& again, uint64_t budget, uint64_t cap,
                          uint64_t& consumed);
    // The same by reading the stream as any other reader does.
    static Decoded ReadInSteps(Decoder& decoder, CPdfStream& stream, uint64_t budget, uint64_t cap, uint64_t& consumed);

    CPdfXRef& xref_;
    uint64_t budget_;
    // What the run's own thread decodes with, and each of the pool's threads.
    std::unique_ptr<Decoder> decoder_;
    // The input, which the pool's threads read past its caches.
    std::shared_ptr<CByteSource> source_;
    std::vector<std::unique_ptr<Decoder>> threadDecoders_;
    // The most a thread decodes of one stream.
    uint64_t threadCap_ = 0;
    // By object number and generation.
    std::unordered_map<int64_t, std::optional<ContentStreamEffect>> effects_;
    std::unordered_map<int64_t, std::shared_ptr<Ahead>> ahead_;
    // Streams Prepare read but left to their turn, so that they are not read twice.
    std::unordered_map<int64_t, CPdfObject> read_;
    uint64_t handedOver_ = 0;
    // Last, so that its threads end first.
    std::unique_ptr<CThreadPool> pool_;
};
