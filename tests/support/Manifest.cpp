#include "support/Manifest.h"

#include <sstream>

#include "support/TestFiles.h"

namespace {

std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> fields;
    std::string field;
    std::istringstream in(line);
    while (std::getline(in, field, '\t')) fields.push_back(field);
    return fields;
}

}  // namespace

const std::string& ManifestRow::operator[](const std::string& column) const {
    static const std::string empty;
    const auto found = fields.find(column);
    return found == fields.end() ? empty : found->second;
}

bool ManifestRow::HasFeature(const std::string& feature) const {
    std::istringstream in((*this)["features"]);
    for (std::string item; std::getline(in, item, ',');)
        if (item == feature) return true;
    return false;
}

std::vector<ManifestRow> ReadManifest(const std::string& corpusFolder) {
    std::istringstream in(ReadFile(corpusFolder + "/MANIFEST.tsv"));
    std::string line;
    if (!std::getline(in, line)) return {};
    const std::vector<std::string> columns = SplitTabs(line);
    std::vector<ManifestRow> rows;
    while (std::getline(in, line)) {
        if (line.empty()) continue;
        const std::vector<std::string> values = SplitTabs(line);
        ManifestRow row;
        for (size_t i = 0; i < columns.size() && i < values.size(); ++i) row.fields[columns[i]] = values[i];
        rows.push_back(std::move(row));
    }
    return rows;
}
