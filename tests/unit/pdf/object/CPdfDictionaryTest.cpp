#include "pdf/object/CPdfDictionary.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/CPdfException.h"
#include "pdf/object/CPdfArray.h"
#include "unit/pdf/object/MapResolver.h"

namespace {

std::vector<std::string> Keys(const CPdfDictionary& dictionary) {
    std::vector<std::string> keys;
    for (size_t i = 0; i < dictionary.getLength(); ++i) keys.push_back(dictionary.getKey(i));
    return keys;
}

TEST(CPdfDictionaryTest, FirstValueOfADuplicateKeyWins) {
    CPdfDictionary dictionary;
    dictionary.add("A", CPdfObject::Integer(1));
    dictionary.add("A", CPdfObject::Integer(2));
    dictionary.add("A", CPdfObject::Name("Three"));
    EXPECT_EQ(dictionary.getLength(), 1u);
    EXPECT_EQ(dictionary.lookup("A").getInt(), 1);
}

TEST(CPdfDictionaryTest, MissingKeyGivesNull) {
    MapResolver resolver;
    CPdfDictionary dictionary(&resolver);
    dictionary.add("Present", CPdfObject::Integer(1));
    EXPECT_TRUE(dictionary.lookup("Absent").is(pdfNull));
    EXPECT_TRUE(dictionary.lookupNF("Absent").is(pdfNull));
    // Keys are compared whole.
    EXPECT_TRUE(dictionary.lookup("Presen").is(pdfNull));
    EXPECT_TRUE(dictionary.lookup("Present ").is(pdfNull));
    EXPECT_TRUE(dictionary.lookup("").is(pdfNull));
    EXPECT_TRUE(resolver.fetches.empty());
}

TEST(CPdfDictionaryTest, LookupResolvesAndLookupNFKeepsTheReference) {
    MapResolver resolver;
    CPdfObject five;
    five.setDictionary(&resolver);
    five.getDict().add("Type", CPdfObject::Name("Font"));
    resolver.Set(5, 0, five);

    CPdfDictionary dictionary(&resolver);
    dictionary.add("Font", CPdfObject::Reference(5, 0));

    const CPdfObject fetched = dictionary.lookup("Font");
    ASSERT_TRUE(fetched.is(pdfDictionary));
    EXPECT_TRUE(fetched.getDict().isType("Font"));
    ASSERT_EQ(resolver.fetches.size(), 1u);
    EXPECT_EQ(resolver.fetches[0], std::make_pair(5, 0));

    const CPdfObject stored = dictionary.lookupNF("Font");
    ASSERT_TRUE(stored.is(pdfReference));
    EXPECT_EQ(stored.getRef(), (PdfReference{5, 0}));
    EXPECT_EQ(resolver.fetches.size(), 1u);
}

TEST(CPdfDictionaryTest, LookupWithoutXRefGivesTheReference) {
    CPdfDictionary dictionary;
    dictionary.add("Length", CPdfObject::Reference(7, 0));
    const CPdfObject value = dictionary.lookup("Length");
    ASSERT_TRUE(value.is(pdfReference));
    EXPECT_EQ(value.getRef(), (PdfReference{7, 0}));
}

TEST(CPdfDictionaryTest, LookupOfAFreeObjectGivesWhatTheXRefGives) {
    MapResolver resolver;  // knows no objects: null for all
    CPdfDictionary dictionary(&resolver);
    dictionary.add("Info", CPdfObject::Reference(9, 0));
    EXPECT_TRUE(dictionary.lookup("Info").is(pdfNull));
}

TEST(CPdfDictionaryTest, ResolverFailurePassesThroughLookup) {
    class Failing : public CPdfResolver {
    public:
        CPdfObject Fetch(int32_t, int32_t) override { throw CPdfException("Corrupted PDF file"); }
    } failing;
    CPdfDictionary dictionary(&failing);
    dictionary.add("Root", CPdfObject::Reference(1000, 0));
    EXPECT_THROW((void)dictionary.lookup("Root"), CPdfException);
    EXPECT_TRUE(dictionary.lookupNF("Root").is(pdfReference));
}

TEST(CPdfDictionaryTest, SetXRefRebindsOnlyThisDictionary) {
    MapResolver resolver;
    resolver.Set(1, 0, CPdfObject::Integer(11));

    CPdfObject inner;
    inner.setDictionary(nullptr);
    inner.getDict().add("R", CPdfObject::Reference(1, 0));

    CPdfDictionary outer;
    outer.add("R", CPdfObject::Reference(1, 0));
    outer.add("Inner", inner);
    EXPECT_TRUE(outer.lookup("R").is(pdfReference));

    outer.setXRef(&resolver);
    EXPECT_EQ(outer.lookup("R").getInt(), 11);
    EXPECT_TRUE(outer.lookup("Inner").getDict().lookup("R").is(pdfReference));
}

struct TypeCase {
    const char* name;
    CPdfObject type;
    bool isPage;
};

// /Type must be stored as a name equal to the text; a reference is not
// followed and a string does not count.
TEST(CPdfDictionaryTest, IsTypeWantsADirectNameOfExactlyThatText) {
    MapResolver resolver;
    resolver.Set(4, 0, CPdfObject::Name("Page"));
    const TypeCase cases[] = {
        {"name", CPdfObject::Name("Page"), true},
        {"other name", CPdfObject::Name("Pages"), false},
        {"prefix", CPdfObject::Name("Pag"), false},
        {"lower case", CPdfObject::Name("page"), false},
        {"reference to the name", CPdfObject::Reference(4, 0), false},
        {"string", CPdfObject::String(CPdfString("Page")), false},
        {"keyword", CPdfObject::Keyword("Page"), false},
        {"text", CPdfObject::Text("Page"), false},
    };
    for (const TypeCase& c : cases) {
        CPdfDictionary dictionary(&resolver);
        dictionary.add("Type", c.type);
        EXPECT_EQ(dictionary.isType("Page"), c.isPage) << c.name;
    }
    EXPECT_TRUE(resolver.fetches.empty());

    CPdfDictionary untyped;
    untyped.add("Subtype", CPdfObject::Name("Page"));
    EXPECT_FALSE(untyped.isType("Page"));
}

// Keys run in the order of their bytes taken as unsigned values: upper case
// before lower case, a prefix before its extensions, bytes from 0x80 last.
TEST(CPdfDictionaryTest, KeysIterateInUnsignedByteOrder) {
    CPdfDictionary trailer;
    for (const char* key : {"Size", "Root", "Info", "ID"}) trailer.add(key, CPdfObject::Null());
    EXPECT_EQ(Keys(trailer), (std::vector<std::string>{"ID", "Info", "Root", "Size"}));

    CPdfDictionary mixed;
    for (const char* key : {"\x80", "b", "AB", "a", "\x7f", "A", "Z", "\xff", "B", "A\x80", "A\x01"})
        mixed.add(key, CPdfObject::Integer(1));
    EXPECT_EQ(Keys(mixed),
              (std::vector<std::string>{"A", "A\x01", "AB", "A\x80", "B", "Z", "a", "b", "\x7f", "\x80", "\xff"}));
}

TEST(CPdfDictionaryTest, EmptyKeyIsAKeyLikeAnyOther) {
    CPdfDictionary dictionary;
    dictionary.add("", CPdfObject::Integer(3));
    dictionary.add("A", CPdfObject::Integer(4));
    EXPECT_EQ(dictionary.lookup("").getInt(), 3);
    EXPECT_EQ(Keys(dictionary), (std::vector<std::string>{"", "A"}));
}

TEST(CPdfDictionaryTest, KeyAddedThroughOneCopyIsSeenThroughTheOther) {
    CPdfObject original;
    original.setDictionary(nullptr);
    const CPdfObject copy = original;
    copy.getDict().add("Added", CPdfObject::Boolean(true));
    EXPECT_TRUE(original.getDict().lookup("Added").getBool());

    // A value looked up from a dictionary shares its containers as well.
    CPdfObject kids;
    kids.setArray(nullptr);
    original.getDict().add("Kids", kids);
    original.getDict().lookup("Kids").getArray().add(CPdfObject::Reference(3, 0));
    EXPECT_EQ(kids.getArray().getLength(), 1u);
}

// What the parser hands over: keys in the order read, some given twice.
// Whatever the count (few are searched one by one, many by halves), the keys
// come out sorted, the first value of a key stays and every key is found.
TEST(CPdfDictionaryTest, AssignSortsAndKeepsTheFirstValue) {
    for (const int count : {1, 3, 12, 13, 40}) {
        CPdfDictionary::Entries read;
        for (int i = count - 1; i >= 0; --i) read.emplace_back("K" + std::to_string(i), CPdfObject::Integer(i));
        for (int i = 0; i < count; i += 2) read.emplace_back("K" + std::to_string(i), CPdfObject::Integer(-1));
        CPdfDictionary dictionary;
        dictionary.assign(read);
        std::vector<std::string> expected;
        for (int i = 0; i < count; ++i) expected.push_back("K" + std::to_string(i));
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(Keys(dictionary), expected) << count;
        for (int i = 0; i < count; ++i) EXPECT_EQ(dictionary.lookup("K" + std::to_string(i)).getInt(), i) << count;
        EXPECT_EQ(dictionary.find("K"), nullptr) << count;
        EXPECT_EQ(dictionary.find("K" + std::to_string(count)), nullptr) << count;
    }
}

}  // namespace
