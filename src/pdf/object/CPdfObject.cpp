#include "pdf/object/CPdfObject.h"

#include "pdf/object/CPdfArray.h"
#include "pdf/object/CPdfDictionary.h"
#include "pdf/object/CPdfResolver.h"

CPdfObject CPdfObject::FromArray(std::shared_ptr<CPdfArray> array) {
    return CPdfObject(std::in_place_index<pdfArray>, std::move(array));
}

CPdfObject CPdfObject::FromDictionary(std::shared_ptr<CPdfDictionary> dictionary) {
    return CPdfObject(std::in_place_index<pdfDictionary>, std::move(dictionary));
}

CPdfObject CPdfObject::FromStream(std::shared_ptr<CPdfStream> stream) {
    return CPdfObject(std::in_place_index<pdfStream>, std::move(stream));
}

void CPdfObject::setArray(CPdfResolver* xref) { value_.emplace<pdfArray>(std::make_shared<CPdfArray>(xref)); }

void CPdfObject::setDictionary(CPdfResolver* xref) {
    value_.emplace<pdfDictionary>(std::make_shared<CPdfDictionary>(xref));
}

void CPdfObject::setDictionary(std::shared_ptr<CPdfDictionary> dictionary) {
    value_.emplace<pdfDictionary>(std::move(dictionary));
}

void CPdfObject::setStream(std::shared_ptr<CPdfStream> stream) { value_.emplace<pdfStream>(std::move(stream)); }

CPdfObject CPdfObject::fetch(CPdfResolver* xref) const {
    if (kind() == pdfReference && xref != nullptr) {
        const PdfReference ref = getRef();
        return xref->Fetch(ref.number, ref.generation);
    }
    return *this;
}
