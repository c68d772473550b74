#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <variant>

#include "pdf/object/CPdfString.h"

class CPdfArray;
class CPdfDictionary;
class CPdfStream;
class CPdfResolver;

// The kind tag of a value; its numbers are fixed.
enum PdfObjectKind : int32_t {
    pdfBoolean = 0,
    pdfInteger = 1,
    pdfReal = 2,
    pdfText = 3,
    pdfString = 4,
    pdfName = 5,
    pdfNull = 6,
    pdfArray = 7,
    pdfDictionary = 8,
    pdfStream = 9,
    pdfReference = 10,
    pdfKeyword = 11,
    pdfError = 12,
    pdfEndOfFile = 13,
    pdfNone = 14,
};

// Distinct wrappers keep the three byte-string kinds apart.
struct PdfText {
    std::string text;
    bool operator==(const PdfText&) const = default;
};
struct PdfName {
    std::string text;
    bool operator==(const PdfName&) const = default;
};
struct PdfKeyword {
    std::string text;
    bool operator==(const PdfKeyword&) const = default;
};
struct PdfNullValue {
    bool operator==(const PdfNullValue&) const = default;
};
struct PdfErrorValue {
    bool operator==(const PdfErrorValue&) const = default;
};
struct PdfEndOfFileValue {
    bool operator==(const PdfEndOfFileValue&) const = default;
};
struct PdfNoneValue {
    bool operator==(const PdfNoneValue&) const = default;
};
struct PdfReference {
    int32_t number = 0;
    int32_t generation = 0;
    bool operator==(const PdfReference&) const = default;
};

// One PDF value. Scalars, texts and strings are held by value; arrays,
// dictionaries and streams are shared: copying a value that holds one shares
// it. The alternatives stand in kind order, so the variant's index is the kind.
class CPdfObject {
public:
    // An integer keeps the full value its digits had (modulo 2^64); as a PDF
    // value it is the low 32 bits (getInt), while file offsets and lengths
    // read the full value (getInt64), so that files beyond 4 GiB work.
    using Value = std::variant<bool, int64_t, double, PdfText, CPdfString, PdfName, PdfNullValue,
                               std::shared_ptr<CPdfArray>, std::shared_ptr<CPdfDictionary>, std::shared_ptr<CPdfStream>,
                               PdfReference, PdfKeyword, PdfErrorValue, PdfEndOfFileValue, PdfNoneValue>;

    CPdfObject() : value_(std::in_place_index<pdfNone>) {}

    static CPdfObject Boolean(bool value) { return CPdfObject(std::in_place_index<pdfBoolean>, value); }
    static CPdfObject Integer(int32_t value) { return Integer64(value); }
    static CPdfObject Integer64(int64_t value) { return CPdfObject(std::in_place_index<pdfInteger>, value); }
    static CPdfObject Real(double value) { return CPdfObject(std::in_place_index<pdfReal>, value); }
    static CPdfObject Text(std::string text) { return CPdfObject(std::in_place_index<pdfText>, PdfText{std::move(text)}); }
    static CPdfObject String(CPdfString string) {
        return CPdfObject(std::in_place_index<pdfString>, std::move(string));
    }
    static CPdfObject Name(std::string text) { return CPdfObject(std::in_place_index<pdfName>, PdfName{std::move(text)}); }
    static CPdfObject Null() { return CPdfObject(std::in_place_index<pdfNull>); }
    static CPdfObject Reference(int32_t number, int32_t generation) {
        return CPdfObject(std::in_place_index<pdfReference>, PdfReference{number, generation});
    }
    static CPdfObject Keyword(std::string text) { return CPdfObject(std::in_place_index<pdfKeyword>, PdfKeyword{std::move(text)}); }
    static CPdfObject Error() { return CPdfObject(std::in_place_index<pdfError>); }
    static CPdfObject EndOfFile() { return CPdfObject(std::in_place_index<pdfEndOfFile>); }
    static CPdfObject FromArray(std::shared_ptr<CPdfArray> array);
    static CPdfObject FromDictionary(std::shared_ptr<CPdfDictionary> dictionary);
    static CPdfObject FromStream(std::shared_ptr<CPdfStream> stream);

    PdfObjectKind kind() const { return static_cast<PdfObjectKind>(value_.index()); }
    bool is(PdfObjectKind k) const { return kind() == k; }
    bool isNumber() const { return kind() == pdfInteger || kind() == pdfReal; }

    // Back to pdfNone, releasing whatever the value held.
    void clear() { value_.emplace<pdfNone>(); }

    void setName(std::string text) { value_ = PdfName{std::move(text)}; }
    void setKeyword(std::string text) { value_ = PdfKeyword{std::move(text)}; }
    void setString(CPdfString string) { value_ = std::move(string); }
    void setArray(CPdfResolver* xref);
    void setDictionary(CPdfResolver* xref);
    void setDictionary(std::shared_ptr<CPdfDictionary> dictionary);
    void setStream(std::shared_ptr<CPdfStream> stream);

    // A reference resolved through the given cross-reference (when there is
    // one); any other value, or a reference without one, is returned as is.
    CPdfObject fetch(CPdfResolver* xref) const;

    bool isKeyword(std::string_view text) const {
        const PdfKeyword* keyword = std::get_if<pdfKeyword>(&value_);
        return keyword != nullptr && SameText(keyword->text, text);
    }
    bool isName(std::string_view text) const {
        const PdfName* name = std::get_if<pdfName>(&value_);
        return name != nullptr && SameText(name->text, text);
    }

    // Accessors; each expects the matching kind.
    bool getBool() const { return std::get<pdfBoolean>(value_); }
    int32_t getInt() const { return static_cast<int32_t>(static_cast<uint32_t>(getInt64())); }
    int64_t getInt64() const { return std::get<pdfInteger>(value_); }
    double getReal() const { return std::get<pdfReal>(value_); }
    double getNumber() const { return kind() == pdfInteger ? getInt() : getReal(); }
    const std::string& getText() const { return std::get<pdfText>(value_).text; }
    const CPdfString& getString() const { return std::get<pdfString>(value_); }
    const std::string& getName() const { return std::get<pdfName>(value_).text; }
    // The name's text, moved out: the value is left an empty name.
    std::string TakeName() { return std::move(std::get<pdfName>(value_).text); }
    const std::string& getKeyword() const { return std::get<pdfKeyword>(value_).text; }
    PdfReference getRef() const { return std::get<pdfReference>(value_); }
    CPdfArray& getArray() const { return *std::get<pdfArray>(value_); }
    CPdfDictionary& getDict() const { return *std::get<pdfDictionary>(value_); }
    CPdfStream& getStream() const { return *std::get<pdfStream>(value_); }
    const std::shared_ptr<CPdfArray>& arrayPtr() const { return std::get<pdfArray>(value_); }
    const std::shared_ptr<CPdfDictionary>& dictPtr() const { return std::get<pdfDictionary>(value_); }
    const std::shared_ptr<CPdfStream>& streamPtr() const { return std::get<pdfStream>(value_); }

private:
    template <size_t Kind, typename... Arguments>
    explicit CPdfObject(std::in_place_index_t<Kind> kind, Arguments&&... arguments)
        : value_(kind, std::forward<Arguments>(arguments)...) {}
    // Compares by length first, so that the comparison with a literal is
    // made inline.
    static bool SameText(const std::string& stored, std::string_view text) {
        return stored.size() == text.size() && std::memcmp(stored.data(), text.data(), text.size()) == 0;
    }

    Value value_;
};

static_assert(std::variant_size_v<CPdfObject::Value> == pdfNone + 1);
static_assert(
    std::is_same_v<std::variant_alternative_t<pdfDictionary, CPdfObject::Value>, std::shared_ptr<CPdfDictionary>>);
static_assert(std::is_same_v<std::variant_alternative_t<pdfReference, CPdfObject::Value>, PdfReference>);
static_assert(std::is_same_v<std::variant_alternative_t<pdfNone, CPdfObject::Value>, PdfNoneValue>);
