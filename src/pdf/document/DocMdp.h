#pragma once

#include <cstdint>
#include <optional>

class CPdfXRef;

// The changes a certification signature allows: /P of the DocMDP transform
// that the catalog's /Perms /DocMDP signature names (1: none, 2: filling in
// forms and signing, 3: annotations as well; 2 when /P is absent). Nothing
// when the document is not certified.
std::optional<int32_t> CertifiedChanges(CPdfXRef& xref);
