#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class CPdfDocument;

// A stamped output opened again with the reader, to look at its objects.
class OutputReader {
public:
    explicit OutputReader(const std::string& bytes);
    ~OutputReader();

    // The object's bytes as the output's cross-reference table places them.
    std::optional<std::string> Object(int32_t number) const;
    int32_t size() const;
    CPdfDocument& document() const { return *document_; }

private:
    std::unique_ptr<CPdfDocument> document_;
};
