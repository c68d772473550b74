#include "pdf/document/CPdfPage.h"

#include <memory>
#include <string>

#include "base/CPdfException.h"
#include "pdf/object/CPdfDictionary.h"

namespace {

bool IsReferenceArrayOrNull(const CPdfObject& value) {
    return value.is(pdfReference) || value.is(pdfArray) || value.is(pdfNull);
}

}  // namespace

void CPdfPage::Load(int32_t number, CPdfResolver* resolver, const CPdfDictionary& page, const CPdfObject& inherited) {
    xref = resolver;
    pageNumber = number;
    contents = page.lookupNF("Contents");
    if (!IsReferenceArrayOrNull(contents)) contents = CPdfObject::Null();
    const CPdfObject* own = page.find("Resources");
    const CPdfObject& stored = own != nullptr && !own->is(pdfNull) ? *own : inherited;
    resources = stored.is(pdfNull) ? CPdfObject::FromDictionary(std::make_shared<CPdfDictionary>(resolver))
                                   : stored.fetch(resolver);
    if (!resources.is(pdfDictionary)) {
        resources.clear();
        throw CPdfException("Resources are not found");
    }
    annotations = page.lookupNF("Annots");
    if (!IsReferenceArrayOrNull(annotations)) {
        annotations.clear();
        throw CPdfException("Page annotations object (page " + std::to_string(number) + ") is wrong type");
    }
    const CPdfObject rotation = page.lookup("Rotate");
    if (rotation.is(pdfInteger)) {
        // Brought into 0..359 without a loop, so that any value takes one step.
        rotate = rotation.getInt() % 360;
        if (rotate < 0) rotate += 360;
    }
}
