#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pdf/object/CPdfObject.h"

class CByteSource;
class CPdfResolver;

// One object stream, decoded: its header (the members' numbers and offsets,
// counted from /First) and the decoded bytes. A stream whose dictionary or
// header is unusable holds no members.
class ObjectStreamCache {
public:
    int32_t streamNumber = 0;
    int32_t count = 0;
    std::vector<int32_t> objectNumbers;
    std::shared_ptr<const std::string> data = std::make_shared<const std::string>();
    int64_t first = 0;
    std::vector<int64_t> offsets;

    // Reads the header pairs from the first /First bytes of the data. Leaves
    // the stream without members when a pair is not two integers.
    void ParseHeader(CPdfResolver* xref, int32_t n, int64_t firstOffset);

    // The bytes of member `index` when it is object `number`: from its offset
    // to the next member's offset (the last member: to the end of the data),
    // less the white space after the value but its first byte. No bytes when
    // the index or number do not match, or the offsets lie outside the data.
    std::optional<std::string_view> MemberBytes(int32_t number, int32_t index) const;

    // The value of member `index` when it is object `number`, parsed from the
    // same bytes; null otherwise.
    CPdfObject ParseMember(CPdfResolver* xref, int32_t number, int32_t index) const;

    size_t MemoryUse() const { return data->size() + offsets.size() * 12; }

private:
    // The data as a byte source, made when first needed.
    const std::shared_ptr<CByteSource>& Source() const;

    mutable std::shared_ptr<CByteSource> source_;

    // [start, end) of member `index` within the data, when it lies inside it.
    std::optional<std::pair<int64_t, int64_t>> MemberRange(int32_t number, int32_t index) const;
};
