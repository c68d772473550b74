#pragma once

class CPdfXRef;

// Whether the document carries a digital signature that a rewrite of the
// file would break: a signature field (/FT /Sig, on the field or inherited
// from a parent field) with a signature dictionary as its value, among the
// catalog's /AcroForm /Fields and their /Kids, or a /Perms entry (/DocMDP,
// /UR3).
bool IsSigned(CPdfXRef& xref);
