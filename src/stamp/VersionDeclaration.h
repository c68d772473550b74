#pragma once

#include <optional>
#include <string>
#include <string_view>

// The PDF version a document declares, and what a stamp that needs a later
// one changes: a rewritten file's header, an update's catalog.

// The version the header's token ("PDF-1.3") and the catalog's /Version name
// ("1.5", or empty) declare together: the later of the two. Nothing when
// neither reads as major.minor.
std::optional<std::string> DeclaredVersion(std::string_view headerToken, std::string_view catalogVersion);

// Whether `declared` is `needed` or later; an empty `needed` is always met.
bool VersionMeets(const std::optional<std::string>& declared, std::string_view needed);

// The catalog object's bytes with /Version set to `version`: the value of
// its own key replaced, or the key added first. Nothing when the bytes hold
// no dictionary.
std::optional<std::string> CatalogWithVersion(std::string catalog, std::string_view version);
