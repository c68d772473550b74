#include "pdf/object/CPdfObject.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <utility>

#include "base/CPdfException.h"
#include "pdf/object/CPdfArray.h"
#include "pdf/object/CPdfDictionary.h"
#include "unit/pdf/object/MapResolver.h"

namespace {

// The kind numbers are part of the value's contract: every factory must land
// on its own number.
TEST(CPdfObjectTest, KindNumbersAreFixed) {
    CPdfObject array;
    array.setArray(nullptr);
    CPdfObject dictionary;
    dictionary.setDictionary(nullptr);
    const std::pair<CPdfObject, int> cases[] = {
        {CPdfObject::Boolean(true), 0},
        {CPdfObject::Integer(7), 1},
        {CPdfObject::Real(1.5), 2},
        {CPdfObject::Text("t"), 3},
        {CPdfObject::String(CPdfString("s")), 4},
        {CPdfObject::Name("N"), 5},
        {CPdfObject::Null(), 6},
        {array, 7},
        {dictionary, 8},
        {CPdfObject::FromStream(nullptr), 9},
        {CPdfObject::Reference(5, 0), 10},
        {CPdfObject::Keyword("obj"), 11},
        {CPdfObject::Error(), 12},
        {CPdfObject::EndOfFile(), 13},
        {CPdfObject(), 14},
    };
    for (const auto& [value, kind] : cases) EXPECT_EQ(static_cast<int>(value.kind()), kind);
}

TEST(CPdfObjectTest, ClearMakesNone) {
    CPdfObject value = CPdfObject::Name("Page");
    value.clear();
    EXPECT_TRUE(value.is(pdfNone));
    value.clear();
    EXPECT_TRUE(value.is(pdfNone));
}

// An integer keeps every bit its digits gave; as a PDF value it is the low 32
// bits, two's complement.
TEST(CPdfObjectTest, IntegerKeepsFullValueAndWrapsAt32Bits) {
    struct Case {
        int64_t full;
        int32_t wrapped;
    };
    const Case cases[] = {
        {0, 0},
        {-1, -1},
        {2147483647, 2147483647},
        {2147483648LL, std::numeric_limits<int32_t>::min()},
        {4294967296LL, 0},
        {4294967297LL, 1},
        {-2147483649LL, 2147483647},
        {std::numeric_limits<int64_t>::max(), -1},
    };
    for (const Case& c : cases) {
        const CPdfObject value = CPdfObject::Integer64(c.full);
        EXPECT_EQ(value.getInt64(), c.full);
        EXPECT_EQ(value.getInt(), c.wrapped) << c.full;
        EXPECT_EQ(value.getNumber(), static_cast<double>(c.wrapped)) << c.full;
    }
    EXPECT_EQ(CPdfObject::Integer(-5).getInt64(), -5);
}

TEST(CPdfObjectTest, NumberTakesIntegerOrReal) {
    EXPECT_TRUE(CPdfObject::Integer(3).isNumber());
    EXPECT_TRUE(CPdfObject::Real(0.25).isNumber());
    EXPECT_FALSE(CPdfObject::Name("3").isNumber());
    EXPECT_DOUBLE_EQ(CPdfObject::Real(0.25).getNumber(), 0.25);
    EXPECT_DOUBLE_EQ(CPdfObject::Integer(3).getNumber(), 3.0);
}

TEST(CPdfObjectTest, KeywordAndNameCompareWholeTextAndKind) {
    const CPdfObject keyword = CPdfObject::Keyword("obj");
    EXPECT_TRUE(keyword.isKeyword("obj"));
    EXPECT_FALSE(keyword.isKeyword("ob"));
    EXPECT_FALSE(keyword.isKeyword("objx"));
    EXPECT_FALSE(keyword.isKeyword(""));
    EXPECT_FALSE(keyword.isName("obj"));

    const CPdfObject name = CPdfObject::Name("obj");
    EXPECT_TRUE(name.isName("obj"));
    EXPECT_FALSE(name.isKeyword("obj"));
    EXPECT_FALSE(CPdfObject::Text("obj").isKeyword("obj"));
    EXPECT_FALSE(CPdfObject::String(CPdfString("obj")).isName("obj"));

    // Bytes after a zero byte count too.
    const CPdfObject withZero = CPdfObject::Keyword(std::string("a\0b", 3));
    EXPECT_FALSE(withZero.isKeyword("a"));
    EXPECT_TRUE(withZero.isKeyword(std::string_view("a\0b", 3)));
}

TEST(CPdfObjectTest, SettersReplaceWhatWasHeld) {
    CPdfObject value = CPdfObject::Integer(1);
    value.setName("Font");
    EXPECT_TRUE(value.isName("Font"));
    value.setKeyword("endobj");
    EXPECT_TRUE(value.isKeyword("endobj"));
    value.setString(CPdfString("48", false));
    ASSERT_TRUE(value.is(pdfString));
    EXPECT_FALSE(value.getString().isLiteral());
    EXPECT_EQ(value.getString().data(), "48");
}

TEST(CPdfObjectTest, CopiesOfTextsAndStringsAreIndependent) {
    CPdfObject original = CPdfObject::String(CPdfString("abc"));
    CPdfObject copy = original;
    original.setString(CPdfString("xyz"));
    EXPECT_EQ(copy.getString().data(), "abc");
    EXPECT_TRUE(copy.getString().isLiteral());

    CPdfObject name = CPdfObject::Name("A");
    const CPdfObject nameCopy = name;
    name.clear();
    EXPECT_TRUE(nameCopy.isName("A"));
}

// Containers are shared: what one copy adds, every copy sees; clearing one
// holder leaves the container to the others.
TEST(CPdfObjectTest, CopiesShareContainers) {
    CPdfObject array;
    array.setArray(nullptr);
    CPdfObject copy = array;
    copy.getArray().add(CPdfObject::Integer(1));
    EXPECT_EQ(array.getArray().getLength(), 1u);
    EXPECT_EQ(array.arrayPtr(), copy.arrayPtr());

    copy.clear();
    EXPECT_EQ(array.getArray().getLength(), 1u);
}

TEST(CPdfObjectTest, ClearingTheLastHolderDestroysTheContainerAndItsElements) {
    std::weak_ptr<CPdfArray> outer;
    std::weak_ptr<CPdfDictionary> inner;
    {
        CPdfObject dictionary;
        dictionary.setDictionary(nullptr);
        inner = dictionary.dictPtr();

        CPdfObject array;
        array.setArray(nullptr);
        array.getArray().add(dictionary);
        outer = array.arrayPtr();

        CPdfObject second = array;
        dictionary.clear();
        array.clear();
        EXPECT_FALSE(outer.expired());
        EXPECT_FALSE(inner.expired());
        second.clear();
    }
    EXPECT_TRUE(outer.expired());
    EXPECT_TRUE(inner.expired());
}

TEST(CPdfObjectTest, SetDictionarySharesAnExistingOne) {
    auto dictionary = std::make_shared<CPdfDictionary>();
    CPdfObject value;
    value.setDictionary(dictionary);
    value.getDict().add("K", CPdfObject::Integer(2));
    EXPECT_EQ(dictionary->getLength(), 1u);
    EXPECT_EQ(value.dictPtr(), dictionary);
}

TEST(CPdfObjectTest, FetchResolvesReferencesOnlyThroughAnXRef) {
    MapResolver resolver;
    resolver.Set(5, 0, CPdfObject::Name("Five"));
    const CPdfObject reference = CPdfObject::Reference(5, 0);

    const CPdfObject resolved = reference.fetch(&resolver);
    EXPECT_TRUE(resolved.isName("Five"));
    ASSERT_EQ(resolver.fetches.size(), 1u);
    EXPECT_EQ(resolver.fetches[0], std::make_pair(5, 0));

    const CPdfObject unresolved = reference.fetch(nullptr);
    ASSERT_TRUE(unresolved.is(pdfReference));
    EXPECT_EQ(unresolved.getRef(), (PdfReference{5, 0}));

    // Anything but a reference comes back as it is, without a fetch.
    EXPECT_EQ(CPdfObject::Integer(5).fetch(&resolver).getInt(), 5);
    EXPECT_EQ(resolver.fetches.size(), 1u);

    // Unknown objects and wrong generations are what the xref says: null here.
    EXPECT_TRUE(CPdfObject::Reference(5, 1).fetch(&resolver).is(pdfNull));
}

TEST(CPdfObjectTest, FetchPassesResolverFailuresOn) {
    class Failing : public CPdfResolver {
    public:
        CPdfObject Fetch(int32_t, int32_t) override { throw CPdfException("Corrupted PDF file"); }
    } failing;
    try {
        (void)CPdfObject::Reference(99, 0).fetch(&failing);
        FAIL() << "no exception";
    } catch (const CPdfException& e) {
        EXPECT_STREQ(e.GetMessage(), "Corrupted PDF file");
    }
}

TEST(CPdfArrayTest, GetResolvesAndGetNFKeepsReferences) {
    MapResolver resolver;
    resolver.Set(3, 0, CPdfObject::Integer(42));
    CPdfArray array(&resolver);
    array.add(CPdfObject::Reference(3, 0));
    array.add(CPdfObject::Name("X"));

    EXPECT_EQ(array.get(0).getInt(), 42);
    EXPECT_TRUE(array.getNF(0).is(pdfReference));
    EXPECT_TRUE(array.get(1).isName("X"));
    EXPECT_EQ(resolver.fetches.size(), 1u);

    CPdfArray unbound;
    unbound.add(CPdfObject::Reference(3, 0));
    EXPECT_TRUE(unbound.get(0).is(pdfReference));
}

TEST(CPdfArrayTest, ElementsAreCopiesInOrder) {
    CPdfArray array;
    CPdfObject element = CPdfObject::Name("first");
    array.add(element);
    element.setName("changed");
    array.add(CPdfObject::Integer(2));
    array.add(CPdfObject::Null());
    ASSERT_EQ(array.getLength(), 3u);
    EXPECT_TRUE(array.getNF(0).isName("first"));
    EXPECT_EQ(array.getNF(1).getInt(), 2);
    EXPECT_TRUE(array.getNF(2).is(pdfNull));
}

}  // namespace
