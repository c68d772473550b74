#include "pdf/document/DocMdp.h"

#include "pdf/object/CPdfArray.h"
#include "pdf/object/CPdfDictionary.h"
#include "pdf/reader/CPdfXRef.h"

std::optional<int32_t> CertifiedChanges(CPdfXRef& xref) {
    const CPdfObject catalog = xref.Fetch(xref.root().number, xref.root().generation);
    if (!catalog.is(pdfDictionary)) return std::nullopt;
    const CPdfObject perms = catalog.getDict().lookup("Perms");
    if (!perms.is(pdfDictionary)) return std::nullopt;
    const CPdfObject signature = perms.getDict().lookup("DocMDP");
    if (!signature.is(pdfDictionary)) return std::nullopt;
    const CPdfObject references = signature.getDict().lookup("Reference");
    if (references.is(pdfArray)) {
        const CPdfArray& array = references.getArray();
        for (size_t i = 0; i < array.getLength(); ++i) {
            const CPdfObject reference = array.get(i);
            if (!reference.is(pdfDictionary)) continue;
            const CPdfObject method = reference.getDict().lookup("TransformMethod");
            if (!method.is(pdfName) || method.getName() != "DocMDP") continue;
            const CPdfObject params = reference.getDict().lookup("TransformParams");
            const CPdfObject p = params.is(pdfDictionary) ? params.getDict().lookup("P") : CPdfObject::Null();
            return p.is(pdfInteger) && p.getInt() >= 1 && p.getInt() <= 3 ? p.getInt() : 2;
        }
    }
    // A certification without its transform: the least it may allow.
    return 2;
}
