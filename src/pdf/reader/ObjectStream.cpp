#include "pdf/reader/ObjectStream.h"

#include <algorithm>

#include "base/CByteSource.h"
#include "pdf/object/PdfCharClass.h"
#include "pdf/reader/CPdfEmbedStream.h"
#include "pdf/reader/CPdfFileStream.h"
#include "pdf/reader/CPdfParser.h"

namespace {

std::shared_ptr<CPdfStream> ViewOf(const std::shared_ptr<CByteSource>& data, int64_t start, int64_t length) {
    auto whole = std::make_shared<CPdfFileStream>(data, start, 0, CPdfObject::Null());
    return std::make_shared<CPdfEmbedStream>(std::move(whole), CPdfObject::Null(), true, length);
}

}  // namespace

const std::shared_ptr<CByteSource>& ObjectStreamCache::Source() const {
    if (!source_) source_ = std::make_shared<CMemoryByteSource>(data);
    return source_;
}

void ObjectStreamCache::ParseHeader(CPdfResolver* xref, int32_t n, int64_t firstOffset) {
    count = 0;
    objectNumbers.clear();
    offsets.clear();
    if (n <= 0 || firstOffset < 0) return;
    first = firstOffset;
    CPdfParser parser(xref, ViewOf(Source(), 0, firstOffset));
    std::vector<int32_t> numbers;
    std::vector<int64_t> starts;
    for (int32_t i = 0; i < n; ++i) {
        const CPdfObject number = parser.GetObj();
        const CPdfObject offset = parser.GetObj();
        if (!number.is(pdfInteger) || !offset.is(pdfInteger)) return;
        numbers.push_back(number.getInt());
        starts.push_back(offset.getInt());
    }
    count = n;
    objectNumbers = std::move(numbers);
    offsets = std::move(starts);
}

std::optional<std::pair<int64_t, int64_t>> ObjectStreamCache::MemberRange(int32_t number, int32_t index) const {
    if (index < 0 || index >= count || objectNumbers[static_cast<size_t>(index)] != number) return std::nullopt;
    const auto size = static_cast<int64_t>(data->size());
    // Offsets count from /First; a sum that does not fit lies outside the data.
    int64_t start = 0;
    if (__builtin_add_overflow(first, offsets[static_cast<size_t>(index)], &start)) return std::nullopt;
    int64_t end = size;
    if (index + 1 < count && __builtin_add_overflow(first, offsets[static_cast<size_t>(index) + 1], &end))
        return std::nullopt;
    if (start < 0 || start > size || end < start || end > size) return std::nullopt;
    return std::make_pair(start, end);
}

std::optional<std::string_view> ObjectStreamCache::MemberBytes(int32_t number, int32_t index) const {
    const auto range = MemberRange(number, index);
    if (!range) return std::nullopt;
    std::string_view bytes = std::string_view(*data).substr(static_cast<size_t>(range->first),
                                                            static_cast<size_t>(range->second - range->first));
    // White space after the value goes, except its first byte: the padding
    // of a stream (up to the whole data after the last member) is not copied
    // with the member, and the usual single separator stays as it was.
    size_t end = bytes.size();
    while (end > 0 && IsPdfWhite(bytes[end - 1])) --end;
    if (end == 0) return std::string_view();
    return bytes.substr(0, std::min(bytes.size(), end + 1));
}

CPdfObject ObjectStreamCache::ParseMember(CPdfResolver* xref, int32_t number, int32_t index) const {
    const auto range = MemberRange(number, index);
    if (!range) return CPdfObject::Null();
    CPdfParser parser(xref, ViewOf(Source(), range->first, range->second - range->first));
    return parser.GetObj();
}
