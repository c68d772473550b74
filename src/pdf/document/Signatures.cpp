#include "pdf/document/Signatures.h"

#include <unordered_set>
#include <utility>
#include <vector>

#include "pdf/object/CPdfArray.h"
#include "pdf/object/CPdfDictionary.h"
#include "pdf/reader/CPdfXRef.h"

namespace {

// Fields looked at before the walk gives up: a form larger than any real one.
constexpr size_t kMaxFields = 1u << 20;

// `stored` resolved once; a reference beyond the cross-reference is null.
CPdfObject Resolve(CPdfXRef& xref, const CPdfObject& stored) {
    if (!stored.is(pdfReference)) return stored;
    const int32_t number = stored.getRef().number;
    if (number < 0 || static_cast<size_t>(number) >= xref.entries().size()) return CPdfObject::Null();
    return xref.Fetch(number, stored.getRef().generation);
}

bool HasPermissionSignature(const CPdfDictionary& catalog) {
    const CPdfObject perms = catalog.lookup("Perms");
    return perms.is(pdfDictionary) &&
           (!perms.getDict().lookupNF("DocMDP").is(pdfNull) || !perms.getDict().lookupNF("UR3").is(pdfNull));
}

}  // namespace

bool IsSigned(CPdfXRef& xref) {
    const CPdfObject catalog = xref.Fetch(xref.root().number, xref.root().generation);
    if (!catalog.is(pdfDictionary)) return false;
    if (HasPermissionSignature(catalog.getDict())) return true;
    const CPdfObject form = Resolve(xref, catalog.getDict().lookupNF("AcroForm"));
    if (!form.is(pdfDictionary)) return false;
    // Fields to visit, each as stored and whether a parent is a signature field.
    std::vector<std::pair<CPdfObject, bool>> pending;
    const auto addKids = [&pending, &xref](const CPdfObject& stored, bool signature) {
        const CPdfObject kids = Resolve(xref, stored);
        if (!kids.is(pdfArray)) return;
        for (size_t i = kids.getArray().getLength(); i-- > 0;)
            pending.emplace_back(kids.getArray().getNF(i), signature);
    };
    addKids(form.getDict().lookupNF("Fields"), false);
    std::unordered_set<int32_t> visited;
    for (size_t looked = 0; !pending.empty() && looked < kMaxFields; ++looked) {
        const auto [stored, inherited] = std::move(pending.back());
        pending.pop_back();
        if (stored.is(pdfReference) && !visited.insert(stored.getRef().number).second) continue;
        const CPdfObject field = Resolve(xref, stored);
        if (!field.is(pdfDictionary)) continue;
        const CPdfDictionary& dict = field.getDict();
        const CPdfObject type = dict.lookup("FT");
        const bool signature = type.is(pdfName) ? type.getName() == "Sig" : inherited;
        if (signature && Resolve(xref, dict.lookupNF("V")).is(pdfDictionary)) return true;
        addKids(dict.lookupNF("Kids"), signature);
    }
    return false;
}
