#include "stamp/VersionDeclaration.h"

#include <charconv>
#include <utility>

#include "pdf/object/PdfCharClass.h"
#include "pdf/reader/RawDictionary.h"
#include "pdf/reader/RawObject.h"

namespace {

// "1.7" as {1, 7}; nothing unless the text is digits, a dot and digits.
std::optional<std::pair<int, int>> ParseVersion(std::string_view text) {
    const size_t dot = text.find('.');
    if (dot == std::string_view::npos) return std::nullopt;
    std::pair<int, int> version;
    const auto read = [](std::string_view digits, int& value) {
        const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
        return !digits.empty() && error == std::errc() && end == digits.data() + digits.size() && value >= 0;
    };
    if (!read(text.substr(0, dot), version.first) || !read(text.substr(dot + 1), version.second)) return std::nullopt;
    return version;
}

}  // namespace

std::optional<std::string> DeclaredVersion(std::string_view headerToken, std::string_view catalogVersion) {
    constexpr std::string_view kPrefix = "PDF-";
    const std::string_view header =
        headerToken.substr(0, kPrefix.size()) == kPrefix ? headerToken.substr(kPrefix.size()) : std::string_view();
    const auto fromHeader = ParseVersion(header);
    const auto fromCatalog = ParseVersion(catalogVersion);
    if (!fromHeader && !fromCatalog) return std::nullopt;
    if (fromHeader && (!fromCatalog || *fromCatalog <= *fromHeader)) return std::string(header);
    return std::string(catalogVersion);
}

bool VersionMeets(const std::optional<std::string>& declared, std::string_view needed) {
    if (needed.empty()) return true;
    const auto have = declared ? ParseVersion(*declared) : std::nullopt;
    const auto want = ParseVersion(needed);
    return have && want && *want <= *have;
}

std::optional<std::string> CatalogWithVersion(std::string catalog, std::string_view version) {
    const std::optional<size_t> body = Opening(catalog, 0);
    if (!body) return std::nullopt;
    std::string value = "/";
    value += version;
    if (const std::optional<size_t> key = FindOwnKey(catalog, *body, "Version")) {
        // The value after the key: white space, then a name up to the next
        // white space or delimiter.
        size_t start = EndOfKey(*key, "Version");
        while (start < catalog.size() && IsPdfWhite(catalog[start])) ++start;
        // A value that is no name is left alone.
        if (start >= catalog.size() || catalog[start] != '/') return std::nullopt;
        size_t end = start + 1;
        while (end < catalog.size() && IsPdfRegular(catalog[end])) ++end;
        catalog.replace(start, end - start, value);
        return catalog;
    }
    catalog.insert(*body, "/Version " + value + ' ');
    return catalog;
}
