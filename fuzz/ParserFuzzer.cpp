// The lexer and the object parser over arbitrary bytes: first every token up
// to the end, then every value, each value walked through its containers and
// streams. References are resolved by a fake cross-reference that answers
// with null or small objects, so indirect stream lengths, filters and decode
// parameters are reached too.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "base/CByteSource.h"
#include "base/CPdfException.h"
#include "pdf/object/CPdfArray.h"
#include "pdf/object/CPdfDictionary.h"
#include "pdf/object/CPdfObject.h"
#include "pdf/object/CPdfResolver.h"
#include "pdf/reader/CPdfFileStream.h"
#include "pdf/reader/CPdfParser.h"
#include "pdf/object/CPdfStream.h"

namespace {

constexpr int kMaxValues = 4096;
constexpr int kMaxWalkDepth = 64;
constexpr size_t kMaxStreamBytes = 1 << 20;

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

class FakeResolver : public CPdfResolver {
public:
    CPdfObject Fetch(int32_t number, int32_t generation) override {
        if (generation != 0) return CPdfObject::Null();
        switch (static_cast<uint32_t>(number) % 5) {
            case 1:
                return CPdfObject::Integer(number);  // an indirect /Length
            case 2:
                return CPdfObject::Name("FlateDecode");
            case 3: {
                CPdfObject parameters;
                parameters.setDictionary(this);
                parameters.getDict().add("Predictor", CPdfObject::Integer(12));
                parameters.getDict().add("Columns", CPdfObject::Integer(number % 7));
                return parameters;
            }
            case 4:
                return CPdfObject::Reference(number + 1, 0);  // resolved once only
            default:
                return CPdfObject::Null();
        }
    }
};

class Walker {
public:
    void Walk(const CPdfObject& value, int depth) {
        if (depth > kMaxWalkDepth) return;
        switch (value.kind()) {
            case pdfInteger:
                Check(value.getInt() == static_cast<int32_t>(static_cast<uint32_t>(value.getInt64())));
                break;
            case pdfString: {
                const CPdfString& string = value.getString();
                const std::string hex = string.writeHex();
                Check(hex.front() == '<' && hex.back() == '>');
                Check(hex.size() == (string.isLiteral() ? 2 * string.length() : string.length()) + 2);
                break;
            }
            case pdfName:
                Check(value.getName().find('\0') == std::string::npos);
                break;
            case pdfKeyword:
                Check(!value.getKeyword().empty());
                break;
            case pdfArray: {
                const CPdfArray& array = value.getArray();
                for (size_t i = 0; i < array.getLength(); ++i) {
                    const CPdfObject& stored = array.getNF(i);
                    Walk(stored.is(pdfReference) ? array.get(i) : stored, depth + 1);
                }
                break;
            }
            case pdfDictionary:
                WalkDictionary(value.getDict(), depth);
                break;
            case pdfStream:
                WalkStream(value.getStream(), depth);
                break;
            default:
                break;
        }
    }

private:
    void WalkDictionary(const CPdfDictionary& dictionary, int depth) {
        (void)dictionary.isType("Page");
        std::string previous;
        for (size_t i = 0; i < dictionary.getLength(); ++i) {
            const std::string key = dictionary.getKey(i);
            // Keys are unique and run in unsigned byte order.
            Check(i == 0 || previous < key);
            Check(key.find('\0') == std::string::npos);
            const CPdfObject stored = dictionary.lookupNF(key);
            Walk(stored.is(pdfReference) ? dictionary.lookup(key) : stored, depth + 1);
            previous = key;
        }
    }

    void WalkStream(CPdfStream& stream, int depth) {
        if (CPdfDictionary* dictionary = stream.GetDict()) WalkDictionary(*dictionary, depth);
        uint8_t buffer[512];
        size_t total = 0;
        for (;;) {
            const int look = stream.LookChar();
            const int c = stream.GetChar();
            Check(look == c);
            if (c < 0) break;
            const size_t n = stream.Read(buffer, sizeof buffer);
            total += 1 + n;
            if (n < sizeof buffer || total > kMaxStreamBytes) break;
        }
        if (!stream.IsDecodable()) Check(total == 0);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto source = std::make_shared<CMemoryByteSource>(std::string(reinterpret_cast<const char*>(data), size));
    FakeResolver resolver;

    // Tokens only: each one consumes at least one byte, so this ends.
    try {
        CPdfParser lexer(nullptr, std::make_shared<CPdfFileStream>(source, 0, 0, CPdfObject::Null()));
        Walker walker;
        for (size_t i = 0; i <= size; ++i) {
            const CPdfObject token = lexer.GetToken();
            if (token.is(pdfEndOfFile)) break;
            walker.Walk(token, 0);
        }
    } catch (const CPdfException&) {
    }

    // Whole values, with and without a cross-reference to resolve through.
    for (CPdfResolver* xref : {static_cast<CPdfResolver*>(&resolver), static_cast<CPdfResolver*>(nullptr)}) {
        try {
            CPdfParser parser(xref, std::make_shared<CPdfFileStream>(source, 0, 0, CPdfObject::Null()));
            Walker walker;
            for (int i = 0; i < kMaxValues; ++i) {
                const CPdfObject value = parser.GetObj();
                if (value.is(pdfEndOfFile)) break;
                walker.Walk(value, 0);
            }
        } catch (const CPdfException& e) {
            Check(std::string(e.GetMessage()) == "Missing 'endstream'");
        }
    }
    return 0;
}
