#pragma once

#include <map>
#include <string>
#include <vector>

// One line of the corpus MANIFEST.tsv: its fields by column name.
struct ManifestRow {
    std::map<std::string, std::string> fields;

    const std::string& operator[](const std::string& column) const;
    bool HasFeature(const std::string& feature) const;
};

// The rows of <corpus>/MANIFEST.tsv; empty when it cannot be read.
std::vector<ManifestRow> ReadManifest(const std::string& corpusFolder);
