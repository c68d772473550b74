#include "pdf/reader/Filters.h"

#include "pdf/object/CPdfArray.h"
#include "pdf/object/CPdfDictionary.h"
#include "pdf/reader/CPdfFlateStream.h"

namespace {

CPdfObject LookupEither(const CPdfDictionary& dictionary, std::string_view key, std::string_view abbreviation) {
    CPdfObject value = dictionary.lookup(key);
    if (value.is(pdfNull)) value = dictionary.lookup(abbreviation);
    return value;
}

}  // namespace

std::shared_ptr<CPdfStream> AddFilters(std::shared_ptr<CPdfStream> raw, const CPdfObject& dictionary) {
    if (!dictionary.is(pdfDictionary)) return raw;
    const CPdfDictionary& dict = dictionary.getDict();
    const CPdfObject filter = LookupEither(dict, "Filter", "F");
    const CPdfObject parameters = LookupEither(dict, "DecodeParms", "DP");
    switch (filter.kind()) {
        case pdfNull:
            return raw;
        case pdfName:
            return MakeFilter(filter.getName(), std::move(raw), parameters);
        case pdfArray: {
            if (filter.getArray().getLength() != 1) return nullptr;
            const CPdfObject name = filter.getArray().get(0);
            if (!name.is(pdfName)) return nullptr;
            return MakeFilter(name.getName(), std::move(raw), parameters);
        }
        default:
            return nullptr;
    }
}

std::shared_ptr<CPdfStream> MakeFilter(std::string_view name, std::shared_ptr<CPdfStream> stream,
                                       const CPdfObject& parameters) {
    if (name != "FlateDecode" && name != "Fl") return nullptr;
    int32_t predictor = 1;
    int32_t columns = 1;
    int32_t colors = 1;
    int32_t bits = 8;
    if (parameters.is(pdfDictionary)) {
        const CPdfDictionary& dict = parameters.getDict();
        const auto take = [&dict](std::string_view key, int32_t& target) {
            const CPdfObject value = dict.lookup(key);
            if (value.is(pdfInteger)) target = value.getInt();
        };
        take("Predictor", predictor);
        take("Columns", columns);
        take("Colors", colors);
        take("BitsPerComponent", bits);
    }
    return std::make_shared<CPdfFlateStream>(std::move(stream), predictor, columns, colors, bits);
}
